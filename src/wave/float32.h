// SPDX-License-Identifier: MIT
// Decoding of 32-bit floating-point samples into amplitude units.
#ifndef QUORVIN_WAVE_FLOAT32_H
#define QUORVIN_WAVE_FLOAT32_H

// Takes the four bytes of a little-endian IEEE single in file order (only
// the low 8 bits of each int count) and returns 128 times its value, so that
// a float of 1.0 stands level with a full-scale integer sample.  The leading
// 1 is always assumed: zero and subnormal patterns come out near 2^-120, and
// infinities and NaNs as finite values near 2^135.
double Float32Convert(int b0, int b1, int b2, int b3);

#endif
