// SPDX-License-Identifier: MIT
// Sample decoding: which coding a header asks for, and the decoding of one
// sample to a double for the sums kept in sample order.
#include "decode.h"

#include <cmath>

enum { kPcm = 1, kIeeeFloat = 3, kALawCode = 6, kMuLawCode = 7 };

// bits and channels | format code | coding
//   8, 1 to 8      | 1, 7, 6     | unsigned, mu-law, A-law
//  16-23, 1 to 4   | any         | 16-bit integer
//  24-31, 1 or 2   | any         | 24-bit integer
//  32-39, 1 or 2   | 1; other    | 32-bit integer; Float32Convert
//  40-71, 1        | 1           | 40- to 64-bit integer
//  64-71, 1        | 3           | IEEE double
Coding
ChooseCoding(uint32_t bitsPerSample, uint32_t formatCode, uint32_t channels)
{
	uint32_t bytes = bitsPerSample / 8;
	if (channels == 0)
		return kRefused;
	if (bitsPerSample == 8 && channels <= 8)
		return formatCode == kPcm ? kUnsigned8 : formatCode == kMuLawCode
		    ? kMuLaw : formatCode == kALawCode ? kALaw : kRefused;
	if (bytes == 2 && channels <= 4)
		return kInt16;
	if (bytes == 3 && channels <= 2)
		return kInt24;
	if (bytes == 4 && channels <= 2)
		return formatCode == kPcm ? kInt32 : kFloat32;
	if (bytes >= 5 && bytes <= 8 && channels == 1 && formatCode == kPcm)
		return kIntWide;
	if (bytes == 8 && channels == 1 && formatCode == kIeeeFloat)
		return kFloat64;
	return kRefused;
}

double
Magnitude(const unsigned char *p, Coding coding, uint32_t bytes)
{
	switch (coding) {
	case kInt24:
	case kInt32:
		return UnitsOf(p, coding) * UnitSize(coding);
	case kFloat64: {
		uint64_t bits = 0;
		for (uint32_t i = 0; i < 8; i++)
			bits |= (uint64_t)p[i] << (8 * i);
		double value;
		memcpy(&value, &bits, sizeof value);
		return fabs(value) * 128.0;
	}
	case kIntWide: {
		// The top byte's sign spreads over the 64 bits by the shift down.
		uint64_t bits = 0;
		for (uint32_t i = 0; i < bytes; i++)
			bits |= (uint64_t)p[i] << (8 * (i + 8 - bytes));
		double value = (double)((int64_t)bits >> (8 * (8 - bytes)));
		return fabs(value) / ldexp(1.0, 8 * ((int)bytes - 1));
	}
	default:
		return 0.0;
	}
}
