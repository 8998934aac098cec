// SPDX-License-Identifier: MIT
// GSM 06.10 decoding as the standard (ETSI EN 300 961) specifies it, in
// its own 16-bit integer arithmetic, so that every decoder gives the same
// samples: the RPE grid and its inverse quantization, the long-term
// predictor, the log-area ratios interpolated over four segments of a
// frame, the short-term synthesis lattice, de-emphasis, and the upscaling
// that leaves 13 significant bits.
#include "codecs/gsm610.h"

#include <cstring>

#include "codecs/samples.h"
#include "wave/storage.h"

enum { kLars = 8, kSubframes = 4, kSubframeSamples = 40, kPulses = 13, kLongestLag = 120 };

// A frame's parameters, as the bits of a block give them.
struct GsmFrame {
	int16_t lar[kLars];
	int16_t lag[kSubframes], gain[kSubframes], grid[kSubframes], scale[kSubframes];
	int16_t pulse[kSubframes][kPulses];
};

// The standard's saturating 16-bit operations.
static inline int16_t
Saturated(int32_t value)
{
	return (int16_t)(value < INT16_MIN ? INT16_MIN : value > INT16_MAX ? INT16_MAX : value);
}

static inline int16_t
Add(int16_t a, int16_t b)
{
	return Saturated((int32_t)a + b);
}

static inline int16_t
Sub(int16_t a, int16_t b)
{
	return Saturated((int32_t)a - b);
}

// a b / 2^15, rounded.  The standard makes -1 times -1 the largest value;
// here a is never -1: it is a coefficient, a factor of the tables or a
// reflection coefficient, whose magnitude the decoding keeps within 32767.
static inline int16_t
MultR(int16_t a, int16_t b)
{
	return (int16_t)(((int32_t)a * b + 16384) >> 15);
}

// The bits of a block not taken yet: count of them held, then the bytes
// from next on.
struct Bits {
	const unsigned char *next;
	uint32_t held;
	int count;
};

static int16_t Take(Bits *bits, int count);
static void Unpack(Bits *bits, GsmFrame *frame);
static void DecodeFrame(GsmState *state, const GsmFrame *frame, unsigned char *out);
static void Excitation(const GsmFrame *frame, int j, int16_t pulses[kSubframeSamples]);
static void LongTerm(GsmState *state, int16_t lag, int16_t gain,
                     const int16_t pulses[kSubframeSamples], int16_t *out);
static void ShortTerm(GsmState *state, const GsmFrame *frame, const int16_t samples[160],
                      unsigned char *out);
static void Lattice(const int16_t reflection[kLars], int16_t v[kLars], int16_t *emphasis,
                    const int16_t *samples, int count, unsigned char *out);

void
StartGsm(GsmState *state)
{
	memset(state, 0, sizeof *state);
	state->lag = 40;
}

// A block is one stream of bits, least significant first: the first
// frame's 260 bits, then the second's.
void
DecodeGsmBlock(GsmState *state, const unsigned char *block, uint32_t frames, unsigned char *out)
{
	GsmFrame frame;
	Bits bits = { block, 0, 0 };
	for (uint32_t half = 0; half * kGsmHalfFrames < frames; half++) {
		Unpack(&bits, &frame);
		DecodeFrame(state, &frame, out + half * 2 * kGsmHalfFrames);
	}
}

// The next count bits, least significant first; bytes are read only as
// their bits are wanted, so none past the frame's last.
static int16_t
Take(Bits *bits, int count)
{
	for (; bits->count < count; bits->count += 8)
		bits->held |= (uint32_t)*bits->next++ << bits->count;
	int16_t value = (int16_t)(bits->held & ((1u << count) - 1));
	bits->held >>= count;
	bits->count -= count;
	return value;
}

// The log-area ratios, then for each subframe its lag, gain, grid,
// block maximum and the 13 pulses.
static void
Unpack(Bits *bits, GsmFrame *frame)
{
	static const int larBits[kLars] = { 6, 6, 5, 5, 4, 4, 3, 3 };
	for (int i = 0; i < kLars; i++)
		frame->lar[i] = Take(bits, larBits[i]);
	for (int j = 0; j < kSubframes; j++) {
		frame->lag[j] = Take(bits, 7);
		frame->gain[j] = Take(bits, 2);
		frame->grid[j] = Take(bits, 2);
		frame->scale[j] = Take(bits, 6);
		for (int i = 0; i < kPulses; i++)
			frame->pulse[j][i] = Take(bits, 3);
	}
}

static void
DecodeFrame(GsmState *state, const GsmFrame *frame, unsigned char *out)
{
	int16_t samples[160], pulses[kSubframeSamples];
	for (int j = 0; j < kSubframes; j++) {
		Excitation(frame, j, pulses);
		LongTerm(state, frame->lag[j], frame->gain[j], pulses, samples + j * kSubframeSamples);
	}
	ShortTerm(state, frame, samples, out);
}

// The RPE pulses of subframe j: the block maximum's exponent and mantissa
// scale the 3-bit pulses, which stand every third sample from the grid
// position on.
static void
Excitation(const GsmFrame *frame, int j, int16_t pulses[kSubframeSamples])
{
	static const int16_t factors[8] = { 18431, 20479, 22527, 24575,
		                            26623, 28671, 30719, 32767 };
	int16_t scale = frame->scale[j], exponent = 0, mantissa;
	if (scale > 15)
		exponent = (int16_t)((scale >> 3) - 1);
	mantissa = (int16_t)(scale - (exponent << 3));
	if (mantissa == 0) {
		exponent = -4;
		mantissa = 7;
	} else {
		for (; mantissa <= 7; exponent--)
			mantissa = (int16_t)(mantissa << 1 | 1);
		mantissa -= 8;
	}
	int16_t shift = Sub(6, exponent);
	// 2^(shift - 1), which is 0 for a shift of 0, rounds the shift.
	int16_t rounding = shift > 0 ? (int16_t)(1 << (shift - 1)) : 0;
	memset(pulses, 0, kSubframeSamples * sizeof *pulses);
	for (int i = 0; i < kPulses; i++) {
		int16_t value = (int16_t)((frame->pulse[j][i] * 2 - 7) * 4096);
		value = Add(MultR(factors[mantissa], value), rounding);
		pulses[frame->grid[j] + 3 * i] = (int16_t)(value >> shift);
	}
}

// The long-term predictor adds the past, lag samples back, at a gain,
// to the pulses.  A lag out of range keeps the one before.
static void
LongTerm(GsmState *state, int16_t lag, int16_t gain, const int16_t pulses[kSubframeSamples],
         int16_t *out)
{
	static const int16_t gains[4] = { 3277, 11469, 21299, 32767 };
	int16_t line[kLongestLag + kSubframeSamples];
	if (lag < 40 || lag > kLongestLag)
		lag = state->lag;
	state->lag = lag;
	memcpy(line, state->past, sizeof state->past);
	for (int k = 0; k < kSubframeSamples; k++)
		line[kLongestLag + k] = Add(pulses[k], MultR(gains[gain], line[kLongestLag + k - lag]));
	memcpy(out, line + kLongestLag, kSubframeSamples * sizeof *out);
	memcpy(state->past, line + kSubframeSamples, sizeof state->past);
}

// A lattice value kept 32768 above what it stands for, and back.
static inline uint32_t
Kept(int32_t value)
{
	return (uint32_t)value + 32768u;
}

static inline int32_t
Unkept(uint32_t kept)
{
	return (int32_t)kept - 32768;
}

// One stage of the short-term synthesis lattice, without the checks, on
// values kept 32768 above what they stand for, so that a value within 16
// bits is one within 0..0xFFFF: takes away from value the stage's past
// value scaled by its reflection coefficient r, and gives the next
// stage's past value.  bias is 32768 r - 16384: a product of a kept value
// less bias is the product of the value it stands for, rounded.  Where a
// value has left 16 bits, its product wraps, and outside says so.
__attribute__((always_inline)) static inline uint32_t
Stage(int32_t r, uint32_t bias, uint32_t past, uint32_t *value, uint32_t *outside)
{
	*value -= (uint32_t)((int32_t)((uint32_t)r * past - bias) >> 15);
	uint32_t next = past + (uint32_t)((int32_t)((uint32_t)r * *value - bias) >> 15);
	*outside |= *value | next;
	return next;
}

// The same for a whole sample, with every sum kept to 16 bits.
__attribute__((noinline)) static int32_t
CheckedStages(const int32_t r[kLars], int32_t past[kLars], int32_t value)
{
	for (int i = kLars - 1; i >= 0; i--) {
		value = Sub((int16_t)value, MultR((int16_t)r[i], (int16_t)past[i]));
		if (i < kLars - 1)
			past[i + 1] = Add((int16_t)past[i], MultR((int16_t)r[i], (int16_t)value));
	}
	past[0] = value;
	return value;
}

// The lattice over count samples, with its state in v: each stage takes
// away the stage's past value scaled by its reflection coefficient, and
// passes on its own.  A sample goes through the stages without the checks
// first, which gives the same where no sum leaves 16 bits, and again with
// them where one does.  The last stage's own past value is never used.
// Then de-emphasis, and twice the value with its low 3 bits cleared, into
// out: done here, its chain of samples runs beside the lattice's.
static void
Lattice(const int16_t reflection[kLars], int16_t v[kLars], int16_t *emphasis,
        const int16_t *samples, int count, unsigned char *out)
{
	int16_t e = *emphasis;
	int32_t r[kLars];
	uint32_t bias[kLars];
	for (int i = 0; i < kLars; i++) {
		r[i] = reflection[i];
		bias[i] = (uint32_t)(32768 * r[i] - 16384);
	}
	uint32_t p0 = Kept(v[0]), p1 = Kept(v[1]), p2 = Kept(v[2]), p3 = Kept(v[3]);
	uint32_t p4 = Kept(v[4]), p5 = Kept(v[5]), p6 = Kept(v[6]), p7 = Kept(v[7]);
	for (int k = 0; k < count; k++) {
		uint32_t value = Kept(samples[k]);
		value -= (uint32_t)((int32_t)((uint32_t)r[7] * p7 - bias[7]) >> 15);
		uint32_t outside = value;
		uint32_t n7 = Stage(r[6], bias[6], p6, &value, &outside);
		uint32_t n6 = Stage(r[5], bias[5], p5, &value, &outside);
		uint32_t n5 = Stage(r[4], bias[4], p4, &value, &outside);
		uint32_t n4 = Stage(r[3], bias[3], p3, &value, &outside);
		uint32_t n3 = Stage(r[2], bias[2], p2, &value, &outside);
		uint32_t n2 = Stage(r[1], bias[1], p1, &value, &outside);
		uint32_t n1 = Stage(r[0], bias[0], p0, &value, &outside);
		if (outside > 0xFFFF) {
			int32_t past[kLars] = { Unkept(p0), Unkept(p1), Unkept(p2), Unkept(p3),
				                Unkept(p4), Unkept(p5), Unkept(p6), Unkept(p7) };
			value = Kept(CheckedStages(r, past, samples[k]));
			n1 = Kept(past[1]), n2 = Kept(past[2]), n3 = Kept(past[3]), n4 = Kept(past[4]);
			n5 = Kept(past[5]), n6 = Kept(past[6]), n7 = Kept(past[7]);
		}
		p7 = n7, p6 = n6, p5 = n5, p4 = n4, p3 = n3, p2 = n2, p1 = n1, p0 = value;
		e = Add((int16_t)Unkept(value), MultR(e, 28180));
		Put16(out + 2 * k, (int16_t)(Add(e, e) & ~7));
	}
	v[0] = (int16_t)Unkept(p0), v[1] = (int16_t)Unkept(p1), v[2] = (int16_t)Unkept(p2);
	v[3] = (int16_t)Unkept(p3), v[4] = (int16_t)Unkept(p4), v[5] = (int16_t)Unkept(p5);
	v[6] = (int16_t)Unkept(p6), v[7] = (int16_t)Unkept(p7);
	*emphasis = e;
}

// The log-area ratios decoded, interpolated with the last frame's over
// four segments, and turned into reflection coefficients, which drive
// the lattice over each segment's samples.
static void
ShortTerm(GsmState *state, const GsmFrame *frame, const int16_t samples[160], unsigned char *out)
{
	static const int16_t mic[kLars] = { -32, -32, -16, -16, -8, -8, -4, -4 };
	static const int16_t b[kLars] = { 0, 0, 2048, -2560, 94, -1792, -341, -1144 };
	static const int16_t inverseA[kLars] = { 13107, 13107, 13107, 13107,
		                                 19223, 17476, 31454, 29708 };
	static const int segmentEnd[4] = { 13, 27, 40, 160 };
	int16_t *before = state->lars[state->now ^ 1], *now = state->lars[state->now];
	int16_t lattice[kLars];
	memcpy(lattice, state->lattice, sizeof lattice);
	for (int i = 0; i < kLars; i++) {
		int16_t value = Sub((int16_t)(Add(frame->lar[i], mic[i]) * 1024), (int16_t)(b[i] * 2));
		value = MultR(inverseA[i], value);
		now[i] = Add(value, value);
	}
	for (int segment = 0, k = 0; segment < 4; segment++) {
		int16_t reflection[kLars];
		for (int i = 0; i < kLars; i++) {
			int16_t lar = now[i];
			if (segment == 0)
				lar = Add(Add(before[i] >> 2, now[i] >> 2), before[i] >> 1);
			else if (segment == 1)
				lar = Add(before[i] >> 1, now[i] >> 1);
			else if (segment == 2)
				lar = Add(Add(before[i] >> 2, now[i] >> 2), now[i] >> 1);
			int16_t size = lar == INT16_MIN ? INT16_MAX : lar < 0 ? (int16_t)-lar : lar;
			if (size < 11059)
				size = (int16_t)(size << 1);
			else if (size < 20070)
				size = (int16_t)(size + 11059);
			else
				size = Add(size >> 2, 26112);
			reflection[i] = lar < 0 ? (int16_t)-size : size;
		}
		Lattice(reflection, lattice, &state->emphasis, samples + k, segmentEnd[segment] - k,
		        out + 2 * k);
		k = segmentEnd[segment];
	}
	memcpy(state->lattice, lattice, sizeof lattice);
	state->now ^= 1;
}
