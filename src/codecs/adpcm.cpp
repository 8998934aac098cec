// SPDX-License-Identifier: MIT
// ADPCM: IMA and MS ADPCM blocks, decoded as SoX and libsndfile decode
// them.  Both keep a 16-bit predictor clamped to its range.
#include "codecs/adpcm.h"

#include <cstring>

#include "codecs/adpcm_codes.h"
#include "codecs/samples.h"
#include "wave/byte_order.h"
#include "wave/storage.h"

enum { kImaLanes = 4 };

const int16_t kMsCoefficients[kMsStandardCoefficients][2] = {
	{ 256, 0 }, { 512, -256 }, { 0, 0 }, { 192, 64 }, { 240, 0 }, { 460, -208 }, { 392, -232 },
};

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
		int32_t index = ImaFirstIndex(header);
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

// A channel of a block: where its words and its samples are, its
// predictor and its step index times 16.
struct ImaLane {
	const unsigned char *words;
	unsigned char *out;
	int32_t predictor, row;
};

// One code of a lane, through the table, without the clamp; returns what
// is above 0xFFFF only where the predictor left 16 bits.
__attribute__((always_inline)) static inline uint32_t
ImaTableCode(uint32_t &word, uint32_t &row, int32_t &predictor, unsigned char *out)
{
	uint32_t entry = row + (word & 15);
	word >>= 4;
	predictor += kImaTable.diff[entry];
	row = kImaTable.next[entry];
	Put16(out, predictor);
	return (uint32_t)(predictor + 32768);
}

// The same, with the clamp.
static void
ImaClampedWord(uint32_t word, uint32_t *row, int32_t *predictor, unsigned char *out,
               size_t stride)
{
	for (int i = 0; i < kImaWordSamples; i++, word >>= 4, out += stride) {
		uint32_t entry = *row + (word & 15);
		*predictor = Clamp16(*predictor + kImaTable.diff[entry]);
		*row = kImaTable.next[entry];
		Put16(out, *predictor);
	}
}

// Decodes four lanes at once, whose chains of predictors the processor
// runs side by side: words words of each, every sample stride bytes after
// the one before.  The same as ImaCode, through the table.  A word is
// decoded first without clamping the predictors, which gives the same
// where none leaves 16 bits; where one does, again with the clamps.
__attribute__((noinline)) static void
DecodeImaLanes(ImaLane *lane, uint32_t words, size_t round, size_t stride)
{
	ImaLane a = lane[0], b = lane[1], c = lane[2], d = lane[3];
	uint32_t ra = (uint32_t)a.row, rb = (uint32_t)b.row, rc = (uint32_t)c.row, rd = (uint32_t)d.row;
	int32_t pa = a.predictor, pb = b.predictor, pc = c.predictor, pd = d.predictor;
	for (size_t w = 0, at = stride; w < words; w++) {
		size_t from = w * round;
		uint32_t wa = Le32(a.words + from), wb = Le32(b.words + from);
		uint32_t wc = Le32(c.words + from), wd = Le32(d.words + from);
		uint32_t outside = 0;
		const uint32_t before[8] = { ra, rb, rc, rd, (uint32_t)pa, (uint32_t)pb, (uint32_t)pc,
			                     (uint32_t)pd };
		for (int i = 0; i < kImaWordSamples; i++, at += stride) {
			uint32_t ab = ImaTableCode(wa, ra, pa, a.out + at) | ImaTableCode(wb, rb, pb, b.out + at);
			uint32_t cd = ImaTableCode(wc, rc, pc, c.out + at) | ImaTableCode(wd, rd, pd, d.out + at);
			outside |= ab | cd;
		}
		if (outside <= 0xFFFF)
			continue;
		size_t first = at - kImaWordSamples * stride;
		ra = before[0], rb = before[1], rc = before[2], rd = before[3];
		pa = (int32_t)before[4], pb = (int32_t)before[5], pc = (int32_t)before[6];
		pd = (int32_t)before[7];
		ImaClampedWord(Le32(a.words + from), &ra, &pa, a.out + first, stride);
		ImaClampedWord(Le32(b.words + from), &rb, &pb, b.out + first, stride);
		ImaClampedWord(Le32(c.words + from), &rc, &pc, c.out + first, stride);
		ImaClampedWord(Le32(d.words + from), &rd, &pd, d.out + first, stride);
	}
}

// One lane alone.
static void
DecodeImaLane(const ImaLane *lane, uint32_t words, size_t round, size_t stride)
{
	uint32_t row = (uint32_t)lane->row;
	int32_t predictor = lane->predictor;
	for (uint32_t w = 0; w < words; w++)
		ImaClampedWord(Le32(lane->words + w * round), &row, &predictor,
		               lane->out + (1 + (size_t)w * kImaWordSamples) * stride, stride);
}

void
DecodeImaBlocks(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                uint32_t channels, uint32_t frames, unsigned char *out)
{
	size_t stride = 2 * (size_t)channels, round = (size_t)kImaWordBytes * channels;
	uint32_t words = (frames - 1) / kImaWordSamples;
	if ((frames - 1) % kImaWordSamples != 0) {
		for (size_t b = 0; b < count; b++)
			DecodeImaBlock(blocks + b * blockBytes, channels, frames, out + b * frames * stride);
		return;
	}
	ImaLane lane[kImaLanes];
	size_t lanes = count * channels;
	for (size_t j = 0; j < lanes;) {
		int group = lanes - j < kImaLanes ? (int)(lanes - j) : (int)kImaLanes;
		for (int l = 0; l < group; l++, j++) {
			size_t b = j / channels, c = j % channels;
			const unsigned char *header = blocks + b * blockBytes + kImaHeaderBytes * c;
			lane[l].words = blocks + b * blockBytes + kImaHeaderBytes * channels + kImaWordBytes * c;
			lane[l].out = out + b * frames * stride + 2 * c;
			lane[l].predictor = (int16_t)Le16(header);
			lane[l].row = 16 * ImaFirstIndex(header);
			Put16(lane[l].out, lane[l].predictor);
		}
		if (group == kImaLanes)
			DecodeImaLanes(lane, words, round, stride);
		else
			for (int l = 0; l < group; l++)
				DecodeImaLane(lane + l, words, round, stride);
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

// Four lanes of blocks of an even number of channels at once, whose chains
// the processor runs side by side: each code a nibble of a byte, the next
// step bytes on, every sample stride bytes after the one before.
__attribute__((noinline)) static void
DecodeMsLanes(MsLane *lane, size_t samples, size_t step, size_t stride)
{
	MsLane a = lane[0], b = lane[1], c = lane[2], d = lane[3];
	for (size_t m = 0, at = 0, from = 0; m < samples; m++, at += stride, from += step) {
		MsCode((uint32_t)a.codes[from] >> a.shift & 15, a, a.out + at);
		MsCode((uint32_t)b.codes[from] >> b.shift & 15, b, b.out + at);
		MsCode((uint32_t)c.codes[from] >> c.shift & 15, c, c.out + at);
		MsCode((uint32_t)d.codes[from] >> d.shift & 15, d, d.out + at);
	}
}

// The same for mono blocks: two codes a byte, the high nibble first.
__attribute__((noinline)) static void
DecodeMsMonoLanes(MsLane *lane, size_t samples, size_t stride)
{
	MsLane a = lane[0], b = lane[1], c = lane[2], d = lane[3];
	for (size_t m = 0, at = 0; m < samples; m += 2, at += 2 * stride) {
		uint32_t ba = a.codes[m / 2], bb = b.codes[m / 2], bc = c.codes[m / 2], bd = d.codes[m / 2];
		MsCode(ba >> 4, a, a.out + at);
		MsCode(bb >> 4, b, b.out + at);
		MsCode(bc >> 4, c, c.out + at);
		MsCode(bd >> 4, d, d.out + at);
		MsCode(ba & 15, a, a.out + at + stride);
		MsCode(bb & 15, b, b.out + at + stride);
		MsCode(bc & 15, c, c.out + at + stride);
		MsCode(bd & 15, d, d.out + at + stride);
	}
}

void
DecodeMsBlocks(const unsigned char *blocks, size_t count, uint32_t blockBytes, uint32_t channels,
               uint32_t frames, const int16_t (*coefficients)[2], uint32_t pairs,
               unsigned char *out)
{
	size_t stride = 2 * (size_t)channels, lanes = count * channels, samples = frames - 2;
	bool whole = frames > kMsHeaderSamples && (channels == 1 ? samples % 2 == 0 : channels % 2 == 0);
	for (size_t j = 0; whole && j < lanes; j++)
		whole = blocks[j / channels * blockBytes + j % channels] < pairs;
	for (size_t j = 0; j < lanes;) {
		MsLane lane[4];
		size_t group = whole && lanes - j >= 4 ? 4 : 1;
		for (size_t l = 0; l < group; l++) {
			size_t at = j / channels * blockBytes, ch = j % channels;
			const unsigned char *block = blocks + at;
			unsigned char *o = out + j / channels * frames * stride + 2 * ch;
			if (group == 1) {
				// A block alone: the plain decoder, for the whole block.
				DecodeMsBlock(block, channels, frames, coefficients, pairs, o - 2 * ch);
				j += channels - ch;
				break;
			}
			lane[l] = StartMsLane(block, channels, (uint32_t)ch, coefficients, o, stride);
			j++;
		}
		if (group == 4 && channels == 1)
			DecodeMsMonoLanes(lane, samples, stride);
		else if (group == 4)
			DecodeMsLanes(lane, samples, channels / 2, stride);
	}
}
