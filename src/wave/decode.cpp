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
// in 1 to kMaxChannels channels; the wider ones big-endian where big says.
Coding
ChooseCoding(uint32_t bitsPerSample, uint32_t formatCode, uint32_t channels, bool big)
{
	uint32_t bytes = bitsPerSample / 8;
	if (channels < 1 || channels > kMaxChannels)
		return kRefused;
	if (bitsPerSample == 8)
		return formatCode == kPcm ? kUnsigned8 : formatCode == kMuLawCode
		    ? kMuLaw : formatCode == kALawCode ? kALaw : kRefused;
	if (bytes == 2)
		return big ? kInt16Big : kInt16;
	if (bytes == 3)
		return big ? kInt24Big : kInt24;
	if (bytes == 4 && formatCode == kPcm)
		return big ? kInt32Big : kInt32;
	if (bytes == 4)
		return big ? kFloat32Big : kFloat32;
	if (bytes == 8 && formatCode == kIeeeFloat)
		return big ? kFloat64Big : kFloat64;
	if (bytes >= 5 && bytes <= kMaxSampleBytes && formatCode == kPcm)
		return big ? kIntWideBig : kIntWide;
	return kRefused;
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
	case kInt16Big:
	case kInt24Big:
	case kInt32Big:
		return UnitsOf(p, coding) * FactsOf(coding).unit;
	case kFloat64:
	case kFloat64Big: {
		uint64_t bits = coding == kFloat64Big ? BeBytes(p, 8) : LeBytes(p, 8);
		double value;
		memcpy(&value, &bits, sizeof value);
		return fabs(value) * 128.0;
	}
	case kIntWide:
	case kIntWideBig: {
		// The top byte's sign spreads over the 64 bits by the shift down.
		uint64_t bits = coding == kIntWideBig ? BeBytes(p, bytes) : LeBytes(p, bytes);
		bits <<= 8 * (8 - bytes);
		double value = (double)((int64_t)bits >> (8 * (8 - bytes)));
		return fabs(value) / ldexp(1.0, 8 * ((int)bytes - 1));
	}
	case kRefused:
	case kFloat32:
	case kFloat32Big:
	case kCodings:
		break;   // added as float words, never one by one
	}
	return 0.0;
}
