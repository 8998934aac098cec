// SPDX-License-Identifier: MIT
// Sample decoding: the codings a wave file's samples may carry, chosen from
// the header, and the decoding of one sample.  Integer codings decode to a
// magnitude in whole units (UnitSize amplitude units each, full scale being
// 128 amplitude units); the others to a double.
#ifndef QUORVIN_DECODE_H
#define QUORVIN_DECODE_H

#include <cstdint>
#include <cstring>

enum Coding {
	kRefused,     // a layout the scan cannot decode
	kUnsigned8,   // 8-bit unsigned, 128 is silence
	kMuLaw,       // 8-bit G.711 mu-law
	kALaw,        // 8-bit G.711 A-law
	kInt16,       // 16 to 23 bits, whatever the format code says
	kInt24,       // 24 to 31 bits, whatever the format code says
	kInt32,       // 32 to 39 bits of integer PCM
	kFloat32,     // 32 to 39 bits of any other code, through Float32Convert
	kIntWide,     // 40 to 71 bits of integer PCM, mono
	kFloat64,     // IEEE double, mono
};

enum { kMaxChannels = 8 };

// The coding of samples of bitsPerSample bits in channels channels with the
// header's format code; kRefused for every layout no row of the table in
// decode.cpp accepts, frames over 8 bytes among them.
Coding ChooseCoding(uint32_t bitsPerSample, uint32_t formatCode,
                    uint32_t channels);

// The amplitude of one unit, for the integer codings: a power of two, so
// that units times it is exactly units divided by the units in one
// amplitude unit.
static inline double
UnitSize(Coding coding)
{
	switch (coding) {
	case kUnsigned8:
		return 1.0;
	case kInt24:
		return 0x1p-16;
	case kInt32:
		return 0x1p-24;
	default:   // G.711 and 16-bit samples
		return 0x1p-8;
	}
}

// The magnitude of one sample of bytes bytes, in amplitude units, for the
// codings added as doubles in sample order: 24- and 32-bit integers in
// long lines, doubles and wide integers.
double Magnitude(const unsigned char *p, Coding coding, uint32_t bytes);

// Little-endian two's complement samples: the top byte is signed, the
// others count as their unsigned values.
static inline int32_t
Value16(const unsigned char *p)
{
	int32_t u = p[0] | p[1] << 8;
	return u - ((u & 0x8000) << 1);
}

static inline int32_t
Value24(const unsigned char *p)
{
	int32_t u = p[0] | p[1] << 8 | p[2] << 16;
	return u - ((u & 0x800000) << 1);
}

static inline uint32_t
Word32(const unsigned char *p)
{
	uint32_t w;
	memcpy(&w, p, 4);
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
	w = __builtin_bswap32(w);
#endif
	return w;
}

static inline uint32_t
Magnitude32(int32_t value)
{
	return value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
}

// An 8-bit sample's key: a number that grows with its magnitude, so that
// the largest key marks the peak.  For unsigned samples it is the
// magnitude itself; for G.711 the 7 bits of segment and step.
static inline uint32_t
Key8(uint32_t byte, Coding coding)
{
	if (coding == kUnsigned8)
		return byte >= 128 ? byte - 128 : 128 - byte;
	return (coding == kMuLaw ? ~byte : byte ^ 0x55) & 0x7F;
}

// The magnitude of an 8-bit key, in units: G.711 expands segment and step
// into the 16-bit value (at most 32124 for mu-law, 32256 for A-law).
static inline uint32_t
Units8(uint32_t key, Coding coding)
{
	uint32_t segment = key >> 4, step = key & 15;
	if (coding == kUnsigned8)
		return key;
	if (coding == kMuLaw)
		return (((step << 3) + 0x84) << segment) - 0x84;
	return segment == 0 ? (step << 4) + 8 : ((step << 4) + 0x108) << (segment - 1);
}

// The magnitude of one sample of an integer coding, in units.
static inline uint32_t
UnitsOf(const unsigned char *p, Coding coding)
{
	switch (coding) {
	case kInt16:
		return Magnitude32(Value16(p));
	case kInt24:
		return Magnitude32(Value24(p));
	case kInt32:
		return Magnitude32((int32_t)Word32(p));
	default:
		return Units8(Key8(p[0], coding), coding);
	}
}

#endif
