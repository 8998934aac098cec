// SPDX-License-Identifier: MIT
// ADPCM: IMA and MS ADPCM blocks, decoded as SoX and libsndfile decode
// them.  Both keep a 16-bit predictor clamped to its range.
#include "codecs/adpcm.h"

#include <cstring>

#include "codecs/samples.h"
#include "wave/byte_order.h"
#include "wave/storage.h"

enum { kImaLastStep = 88, kMsLeastDelta = 16 };

// The IMA step sizes, by step index.
static const int16_t kImaSteps[kImaLastStep + 1] = {
	7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66,
	73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408,
	449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066,
	2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630,
	9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794,
	32767,
};

// How the step index moves, by a code's magnitude bits.
static const int8_t kImaIndexSteps[8] = { -1, -1, -1, -1, 2, 4, 6, 8 };

// How MS ADPCM's delta scales, in 256ths, by code.
static const int16_t kMsAdaptation[16] = { 230, 230, 230, 230, 307, 409, 512, 614,
	                                   768, 614, 512, 409, 307, 230, 230, 230 };

const int16_t kMsCoefficients[kMsStandardCoefficients][2] = {
	{ 256, 0 }, { 512, -256 }, { 0, 0 }, { 192, 64 }, { 240, 0 }, { 460, -208 }, { 392, -232 },
};

static int32_t
Clamp16(int32_t value)
{
	return value < INT16_MIN ? INT16_MIN : value > INT16_MAX ? INT16_MAX : value;
}

// One code: the step's eighth, and its half, quarter and whole for the
// magnitude bits, are added to the predictor, or taken away for the sign.
static inline void
ImaCode(uint32_t code, int32_t *predictor, int32_t *index)
{
	int32_t step = kImaSteps[*index], diff = step >> 3;
	if (code & 4)
		diff += step;
	if (code & 2)
		diff += step >> 1;
	if (code & 1)
		diff += step >> 2;
	*predictor = Clamp16(code & 8 ? *predictor - diff : *predictor + diff);
	int32_t next = *index + kImaIndexSteps[code & 7];
	*index = next < 0 ? 0 : next > kImaLastStep ? kImaLastStep : next;
}

// A channel's codes come in words of 4 bytes, 8 codes each, low nibble
// first; the channels' words take turns.
void
DecodeImaBlock(const unsigned char *block, uint32_t channels, uint32_t frames, unsigned char *out)
{
	size_t stride = 2 * (size_t)channels, round = (size_t)kImaWordBytes * channels;
	for (uint32_t c = 0; c < channels; c++) {
		const unsigned char *header = block + kImaHeaderBytes * c;
		const unsigned char *words = block + kImaHeaderBytes * channels + kImaWordBytes * c;
		int32_t predictor = (int16_t)Le16(header);
		int32_t index = header[2] < kImaLastStep ? (int32_t)header[2] : (int32_t)kImaLastStep;
		unsigned char *o = out + 2 * c;
		Put16(o, predictor);
		for (uint32_t n = 1; n < frames; n++) {
			uint32_t k = n - 1;
			uint32_t byte = words[k / kImaWordSamples * round + k % kImaWordSamples / 2];
			ImaCode(k & 1 ? byte >> 4 : byte & 15, &predictor, &index);
			Put16(o + n * stride, predictor);
		}
	}
}

// The predictor, the delta and the products are 32-bit numbers that wrap
// as SoX's do; a delta grows past 16 bits only in a broken block.
static inline int32_t
Wrapped(int64_t value)
{
	return (int32_t)(uint32_t)(uint64_t)value;
}

void
DecodeMsBlock(const unsigned char *block, uint32_t channels, uint32_t frames,
              const int16_t (*coefficients)[2], uint32_t count, unsigned char *out)
{
	int32_t delta[kMaxChannels], first[kMaxChannels], second[kMaxChannels];
	int32_t c1[kMaxChannels], c2[kMaxChannels];
	size_t stride = 2 * (size_t)channels;
	for (uint32_t c = 0; c < channels; c++) {
		if (block[c] >= count) {
			memset(out, 0, frames * stride);
			return;
		}
	}
	for (uint32_t c = 0; c < channels; c++) {
		c1[c] = coefficients[block[c]][0];
		c2[c] = coefficients[block[c]][1];
		delta[c] = (int16_t)Le16(block + channels + 2 * c);
		first[c] = (int16_t)Le16(block + 3 * channels + 2 * c);
		second[c] = (int16_t)Le16(block + 5 * channels + 2 * c);
		Put16(out + 2 * c, second[c]);
		if (frames > 1)
			Put16(out + stride + 2 * c, first[c]);
	}
	// Codes come two a byte, high nibble first, the channels in turn.
	const unsigned char *codes = block + (size_t)kMsHeaderBytes * channels;
	size_t total = frames > kMsHeaderSamples ? (size_t)(frames - kMsHeaderSamples) * channels : 0;
	unsigned char *o = out + kMsHeaderSamples * stride;
	for (size_t j = 0, c = 0; j < total; j++, c = c + 1 == channels ? 0 : c + 1) {
		uint32_t code = j & 1 ? codes[j / 2] & 15 : codes[j / 2] >> 4;
		int32_t value = (int32_t)code - (int32_t)(code & 8) * 2;
		int32_t predicted = Wrapped((int64_t)first[c] * c1[c] + (int64_t)second[c] * c2[c]) >> 8;
		int32_t sample = Clamp16(Wrapped((int64_t)predicted + (int64_t)value * delta[c]));
		int32_t next = Wrapped((int64_t)kMsAdaptation[code] * delta[c]) >> 8;
		delta[c] = next < kMsLeastDelta ? kMsLeastDelta : next;
		second[c] = first[c];
		first[c] = sample;
		Put16(o + 2 * j, sample);
	}
}
