// SPDX-License-Identifier: MIT
// Byte order: the one place where the bytes of a header field or a sample
// are put together, least significant first (or, for the fields of a RIFX
// file, most significant first), whatever the byte order of the
// processor.  In an unnamed namespace, as in codings.h:
// the kernels' copies for wider instruction sets include it through
// decode.h.
#ifndef QUORVIN_WAVE_BYTE_ORDER_H
#define QUORVIN_WAVE_BYTE_ORDER_H

#include <cstdint>
#include <cstring>

namespace {

inline uint32_t
Le16(const unsigned char *p)
{
	return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

inline uint32_t
Le24(const unsigned char *p)
{
	return Le16(p) | (uint32_t)p[2] << 16;
}

inline uint32_t
Le32(const unsigned char *p)
{
	uint32_t w;
	memcpy(&w, p, 4);
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
	w = __builtin_bswap32(w);
#endif
	return w;
}

inline uint32_t
Be16(const unsigned char *p)
{
	return (uint32_t)p[0] << 8 | (uint32_t)p[1];
}

inline uint32_t
Be32(const unsigned char *p)
{
	return Be16(p) << 16 | Be16(p + 2);
}

inline uint32_t
Be24(const unsigned char *p)
{
	return Be16(p) << 8 | (uint32_t)p[2];
}

inline uint64_t
Le64(const unsigned char *p)
{
	return (uint64_t)Le32(p) | (uint64_t)Le32(p + 4) << 32;
}

// The bytes bytes at p, 1 to 8, as the low bytes of the result.
inline uint64_t
LeBytes(const unsigned char *p, uint32_t bytes)
{
	uint64_t v = 0;
	for (uint32_t i = bytes; i-- > 0;)
		v = v << 8 | p[i];
	return v;
}

inline uint64_t
BeBytes(const unsigned char *p, uint32_t bytes)
{
	uint64_t v = 0;
	for (uint32_t i = 0; i < bytes; i++)
		v = v << 8 | p[i];
	return v;
}

// A field of bits bits, up to 32, read as two's complement.
inline int64_t
Signed(uint32_t field, uint32_t bits)
{
	int64_t sign = (int64_t)1 << (bits - 1);
	return (int64_t)field - ((int64_t)field & sign) * 2;
}

}  // namespace

#endif
