// SPDX-License-Identifier: MIT
// ADPCM: what the plain decoders and the AVX2 copy of MS ADPCM's share.
// In an unnamed namespace, as in samples.h: each file that includes it
// keeps a copy of its own, built for that file's instruction set.
#ifndef QUORVIN_CODECS_ADPCM_CODES_H
#define QUORVIN_CODECS_ADPCM_CODES_H

#include <cstdint>

#include "codecs/samples.h"

namespace {

enum { kMsLeastDelta = 16 };

// How MS ADPCM's delta scales, in 256ths, by code.
constexpr int16_t kMsAdaptation[16] = { 230, 230, 230, 230, 307, 409, 512, 614,
	                                768, 614, 512, 409, 307, 230, 230, 230 };

inline int32_t
Clamp16(int32_t value)
{
	return value < INT16_MIN ? INT16_MIN : value > INT16_MAX ? INT16_MAX : value;
}

// A channel of an MS ADPCM block: where its codes and samples are, its two
// last samples, its delta and its coefficient pair.
struct MsLane {
	const unsigned char *codes;
	unsigned char *out;
	int32_t first, second, delta, c1, c2;
	uint32_t shift;           // of its codes in their bytes: 4, the high nibble, or 0
};

// One code of a lane: what DecodeMsBlock does, in 32-bit arithmetic that
// wraps as its does.
__attribute__((always_inline)) inline void
MsCode(uint32_t code, MsLane &lane, unsigned char *out)
{
	int32_t value = (int32_t)(code ^ 8) - 8;
	uint32_t product = (uint32_t)lane.first * (uint32_t)lane.c1 +
	                   (uint32_t)lane.second * (uint32_t)lane.c2;
	int32_t predicted = (int32_t)product >> 8;
	int32_t sample = Clamp16((int32_t)((uint32_t)predicted + (uint32_t)value * (uint32_t)lane.delta));
	int32_t next = (int32_t)((uint32_t)kMsAdaptation[code] * (uint32_t)lane.delta) >> 8;
	lane.delta = next < kMsLeastDelta ? kMsLeastDelta : next;
	lane.second = lane.first;
	lane.first = sample;
	Put16(out, sample);
}

}  // namespace

#endif
