// SPDX-License-Identifier: MIT
// ADPCM: the tables and the steps that the plain decoders and their AVX2
// copies share.
// In an unnamed namespace, as in samples.h: each file that includes it
// keeps a copy of its own, built for that file's instruction set.
#ifndef QUORVIN_CODECS_ADPCM_CODES_H
#define QUORVIN_CODECS_ADPCM_CODES_H

#include <cstdint>

#include "codecs/samples.h"
#include "wave/byte_order.h"
#include "wave/storage.h"

namespace {

enum { kImaLastStep = 88, kMsLeastDelta = 16 };

// The IMA step sizes, by step index.
constexpr int16_t kImaSteps[kImaLastStep + 1] = {
	7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66,
	73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408,
	449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066,
	2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630,
	9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794,
	32767,
};

// How the step index moves, by a code's magnitude bits.
constexpr int8_t kImaIndexSteps[8] = { -1, -1, -1, -1, 2, 4, 6, 8 };

// What ImaCode does, for every step index and code: the difference it
// makes, and the next step index, times 16, so that the next row is where
// the next code's entry lies.
struct ImaTable {
	int32_t diff[(kImaLastStep + 1) * 16];
	uint16_t next[(kImaLastStep + 1) * 16];
};

constexpr ImaTable
MakeImaTable(void)
{
	ImaTable t = {};
	for (int index = 0; index <= kImaLastStep; index++)
		for (int code = 0; code < 16; code++) {
			int32_t step = kImaSteps[index], diff = step >> 3;
			diff += (code & 4 ? step : 0) + (code & 2 ? step >> 1 : 0) + (code & 1 ? step >> 2 : 0);
			int32_t next = index + kImaIndexSteps[code & 7];
			next = next < 0 ? 0 : next > kImaLastStep ? kImaLastStep : next;
			t.diff[16 * index + code] = code & 8 ? -diff : diff;
			t.next[16 * index + code] = (uint16_t)(16 * next);
		}
	return t;
}

constexpr ImaTable kImaTable = MakeImaTable();

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

// The lane of channel ch of the MS ADPCM block at block, of channels
// channels, whose frames go to out, every stride bytes: its header's
// fields, and its two first samples written.  Its codes come two a byte,
// high nibble first, the channels in turn.
inline MsLane
StartMsLane(const unsigned char *block, uint32_t channels, uint32_t ch,
            const int16_t (*coefficients)[2], unsigned char *out, size_t stride)
{
	MsLane lane;
	lane.c1 = coefficients[block[ch]][0];
	lane.c2 = coefficients[block[ch]][1];
	lane.delta = (int16_t)Le16(block + channels + 2 * ch);
	lane.first = (int16_t)Le16(block + 3 * channels + 2 * ch);
	lane.second = (int16_t)Le16(block + 5 * channels + 2 * ch);
	lane.codes = block + kMsHeaderBytes * channels + ch / 2;
	lane.shift = ch % 2 == 0 ? 4 : 0;
	lane.out = out + kMsHeaderSamples * stride;
	Put16(out, lane.second);
	Put16(out + stride, lane.first);
	return lane;
}

// The step index an IMA ADPCM channel's header gives, past the table's
// last taken as the last.
inline int32_t
ImaFirstIndex(const unsigned char *header)
{
	return header[2] < kImaLastStep ? (int32_t)header[2] : (int32_t)kImaLastStep;
}

// One code of a lane: what DecodeMsBlock does, in 32-bit arithmetic that
// wraps as its does.
__attribute__((always_inline)) inline void
MsCode(uint32_t code, MsLane &lane, unsigned char *out)
{
	int32_t value = (int32_t)(code ^ 8) - 8;
	uint32_t product = (uint32_t)lane.first * (uint32_t)lane.c1 +
	                   (uint32_t)lane.second * (uint32_t)lane.c2;
	int32_t predicted = (int32_t)product >> 8;
	uint32_t change = (uint32_t)value * (uint32_t)lane.delta;
	int32_t sample = Clamp16((int32_t)((uint32_t)predicted + change));
	int32_t next = (int32_t)((uint32_t)kMsAdaptation[code] * (uint32_t)lane.delta) >> 8;
	lane.delta = next < kMsLeastDelta ? kMsLeastDelta : next;
	lane.second = lane.first;
	lane.first = sample;
	Put16(out, sample);
}

}  // namespace

#endif
