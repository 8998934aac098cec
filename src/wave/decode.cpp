// SPDX-License-Identifier: MIT
// Sample decoding: which coding a header asks for, and the decoding of one
// sample to a double for the sums kept in sample order.
#include "wave/decode.h"

#include <cmath>

enum { kPcm = 1, kIeeeFloat = 3, kALawCode = 6, kMuLawCode = 7 };

// bits per sample | format code | coding
//   8             | 1, 7, 6     | unsigned, mu-law, A-law
//  16-23          | any         | 16-bit integer
//  24-31          | any         | 24-bit integer
//  32-39          | 1; other    | 32-bit integer; Float32Convert
//  40-71          | 1           | 40- to 64-bit integer
//  64-71          | 3           | IEEE double
// in 1 to kMaxChannels channels.
Coding
ChooseCoding(uint32_t bitsPerSample, uint32_t formatCode, uint32_t channels)
{
	uint32_t bytes = bitsPerSample / 8;
	Coding coding = kRefused;
	if (channels < 1 || channels > kMaxChannels)
		return kRefused;
	if (bitsPerSample == 8)
		coding = formatCode == kPcm ? kUnsigned8 : formatCode == kMuLawCode
		    ? kMuLaw : formatCode == kALawCode ? kALaw : kRefused;
	else if (bytes == 2)
		coding = kInt16;
	else if (bytes == 3)
		coding = kInt24;
	else if (bytes == 4)
		coding = formatCode == kPcm ? kInt32 : kFloat32;
	else if (bytes == 8 && formatCode == kIeeeFloat)
		coding = kFloat64;
	else if (bytes >= 5 && bytes <= kMaxSampleBytes && formatCode == kPcm)
		coding = kIntWide;
	return coding;
}

double
Magnitude(const unsigned char *p, Coding coding, uint32_t bytes)
{
	switch (coding) {
	case kUnsigned8:
	case kMuLaw:
	case kALaw:
	case kInt16:
	case kInt24:
	case kInt32:
		return UnitsOf(p, coding) * FactsOf(coding).unit;
	case kFloat64: {
		uint64_t bits = LeBytes(p, 8);
		double value;
		memcpy(&value, &bits, sizeof value);
		return fabs(value) * 128.0;
	}
	case kIntWide: {
		// The top byte's sign spreads over the 64 bits by the shift down.
		uint64_t bits = LeBytes(p, bytes) << (8 * (8 - bytes));
		double value = (double)((int64_t)bits >> (8 * (8 - bytes)));
		return fabs(value) / ldexp(1.0, 8 * ((int)bytes - 1));
	}
	case kRefused:
	case kFloat32:
	case kCodings:
		break;   // added as float words, never one by one
	}
	return 0.0;
}
