// SPDX-License-Identifier: MIT
// Sample decoding: the coding a header asks for, and the decoding of one
// sample.  Integer codings decode to a magnitude in whole units, the others
// to a double in amplitude units.  These one-sample decoders are what the
// vector kernels must equal.  What is defined here lies in an unnamed
// namespace, as in codings.h: the kernels' copies for wider instruction
// sets include it.
#ifndef QUORVIN_WAVE_DECODE_H
#define QUORVIN_WAVE_DECODE_H

#include <cstdint>

#include "wave/codings.h"
#include "wave/byte_order.h"

// The coding of samples of bitsPerSample bits in channels channels with the
// header's format code, in the byte order big says; kRefused for every
// layout no row of the table in decode.cpp accepts: samples over
// kMaxSampleBytes bytes, no channel, or more than kMaxChannels.
Coding ChooseCoding(uint32_t bitsPerSample, uint32_t formatCode, uint32_t channels, bool big);

// The magnitude of one sample of bytes bytes, in amplitude units, for the
// codings added as doubles: integers in lines too long to add in units,
// doubles and wide integers.
double Magnitude(const unsigned char *p, Coding coding, uint32_t bytes);

namespace {

// Two's complement samples, little-endian, or big-endian where big says.
inline int32_t
Value16(const unsigned char *p, bool big)
{
	return (int32_t)Signed(big ? Be16(p) : Le16(p), 16);
}

inline int32_t
Value24(const unsigned char *p, bool big)
{
	return (int32_t)Signed(big ? Be24(p) : Le24(p), 24);
}

inline int32_t
Value32(const unsigned char *p, bool big)
{
	return (int32_t)Signed(big ? Be32(p) : Le32(p), 32);
}

// The word of a 32-bit float sample.
inline uint32_t
FloatWord(const unsigned char *p, Coding coding)
{
	return FactsOf(coding).bigEndian ? Be32(p) : Le32(p);
}

inline uint32_t
Magnitude32(int32_t value)
{
	return value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
}

// An 8-bit sample's key: a number that grows with its magnitude, so that
// the largest key marks the peak.  For unsigned samples it is the
// magnitude itself; for G.711 the 7 bits of segment and step.
inline uint32_t
Key8(uint32_t byte, Coding coding)
{
	if (coding == kUnsigned8)
		return byte >= 128 ? byte - 128 : 128 - byte;
	return (coding == kMuLaw ? ~byte : byte ^ 0x55) & 0x7F;
}

// G.711 expands a key of segment s and step t into 4 a 2^e - d units:
// a = 2 t + 33, e = s and d = 132 for mu-law; for A-law d = 0, e = max(s, 1),
// and a = 2 t + 1 in segment 0.  This is the one definition of G.711 here:
// the kernels' tables of a and 2^e are made from it.
struct G711Factors {
	uint32_t a, e, less;
};

__attribute__((always_inline)) constexpr G711Factors
G711FactorsOf(uint32_t key, Coding coding)
{
	uint32_t segment = key >> 4, step = key & 15;
	if (coding == kMuLaw)
		return { 2 * step + 33, segment, 132 };
	if (segment == 0)
		return { 2 * step + 1, 1, 0 };
	return { 2 * step + 33, segment, 0 };
}

// The magnitude of an 8-bit key, in units: at most 32124 for mu-law,
// 32256 for A-law.
inline uint32_t
Units8(uint32_t key, Coding coding)
{
	if (coding == kUnsigned8)
		return key;
	G711Factors f = G711FactorsOf(key, coding);
	return (4 * f.a << f.e) - f.less;
}

// The magnitude of one sample of an integer coding, in units; 0 for the
// others.
inline uint32_t
UnitsOf(const unsigned char *p, Coding coding)
{
	switch (coding) {
	case kUnsigned8:
	case kMuLaw:
	case kALaw:
		return Units8(Key8(p[0], coding), coding);
	case kInt16:
	case kInt16Big:
		return Magnitude32(Value16(p, coding == kInt16Big));
	case kInt24:
	case kInt24Big:
		return Magnitude32(Value24(p, coding == kInt24Big));
	case kInt32:
	case kInt32Big:
		return Magnitude32(Value32(p, coding == kInt32Big));
	case kRefused:
	case kFloat32:
	case kIntWide:
	case kFloat64:
	case kFloat32Big:
	case kIntWideBig:
	case kFloat64Big:
	case kCodings:
		break;
	}
	return 0;
}

}  // namespace

#endif
