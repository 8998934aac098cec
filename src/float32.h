// Decoding of 32-bit floating-point samples into amplitude units.
#ifndef QUORVIN_FLOAT32_H
#define QUORVIN_FLOAT32_H

#include <cstdint>
#include <cstring>

// Takes the four bytes of a little-endian IEEE single in file order (only
// the low 8 bits of each int count) and returns 128 times its value, so that
// a float of 1.0 stands level with a full-scale integer sample.  The leading
// 1 is always assumed: zero and subnormal patterns come out near 2^-120, and
// infinities and NaNs as finite values near 2^135.
double Float32Convert(int b0, int b1, int b2, int b3);

// The same for the sample's word, b0 + b1 * 2^8 + b2 * 2^16 + b3 * 2^24.
// The value is 2^(e - 121) * (2 + fraction / 2^22) for the exponent field e
// and the 23-bit fraction, with the leading 1 assumed for every e.  That is
// 2^(e - 120) * (1 + fraction / 2^23): the double with the same sign and
// fraction and the exponent field rebased by 1023 - 120.  Every e from 0 to
// 255 lands on a normal double, so the result is exact for all 2^32 words.
static inline double
Float32Word(uint32_t word)
{
	uint64_t sign = word >> 31;
	uint64_t exponent = (word >> 23 & 0xFF) + (1023 - 120);
	uint64_t fraction = word & 0x7FFFFF;
	uint64_t bits = sign << 63 | exponent << 52 | fraction << 29;
	double value;
	memcpy(&value, &bits, sizeof value);
	return value;
}

#endif
