// SPDX-License-Identifier: MIT
// Decoded samples: 16-bit, little-endian, as the sums take them.
#ifndef QUORVIN_CODECS_SAMPLES_H
#define QUORVIN_CODECS_SAMPLES_H

#include <cstdint>
#include <cstring>

namespace {

// The compiler's own memcpy, not the checked one of a hardened build,
// which would be a call for every sample.
inline void
Put16(unsigned char *p, int32_t value)
{
	uint16_t v = (uint16_t)value;
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
	v = __builtin_bswap16(v);
#endif
	__builtin_memcpy(p, &v, 2);
}

}  // namespace

#endif
