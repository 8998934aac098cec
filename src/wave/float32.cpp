// SPDX-License-Identifier: MIT
// Decoding of 32-bit floating-point samples.
#include "wave/float32.h"

#include <cstdint>
#include <cstring>

#include "wave/byte_order.h"

// The value is 2^(e - 121) * (2 + fraction / 2^22) for the exponent field e
// and the 23-bit fraction, with the leading 1 assumed for every e.  That is
// 2^(e - 120) * (1 + fraction / 2^23): the double with the same sign and
// fraction and the exponent field rebased by 1023 - 120.  Every e from 0 to
// 255 lands on a normal double, so the result is exact for all 2^32 words.
double
Float32Convert(int b0, int b1, int b2, int b3)
{
	const unsigned char bytes[4] = { (unsigned char)b0, (unsigned char)b1, (unsigned char)b2,
		                         (unsigned char)b3 };
	uint32_t word = Le32(bytes);
	uint64_t sign = word >> 31;
	uint64_t exponent = (word >> 23 & 0xFF) + (1023 - 120);
	uint64_t fraction = word & 0x7FFFFF;
	uint64_t bits = sign << 63 | exponent << 52 | fraction << 29;
	double value;
	memcpy(&value, &bits, sizeof value);
	return value;
}
