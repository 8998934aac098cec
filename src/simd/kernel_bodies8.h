// SPDX-License-Identifier: MIT
// Kernel bodies for 8-bit samples, unsigned and G.711, included by
// kernel_bodies.h (which says how the kernels work).  Each must equal AddUnitsReference:
// Key8 and Units8 of decode.h, one sample at a time.
#ifndef QUORVIN_SIMD_KERNEL_BODIES8_H
#define QUORVIN_SIMD_KERNEL_BODIES8_H

#include "simd/accumulators.h"
#include "wave/decode.h"
#include "simd/peak_cycle.h"
#include "simd/vectors.h"

namespace QUORVIN_COPY {

// 8-bit keys, as Key8 makes them: the unsigned magnitude |byte - 128|, or
// the 7 bits of a G.711 segment and step.  Keys grow with the magnitude.
QUORVIN_INLINE U8v
Keys8(U8v bytes, Coding coding)
{
	if (coding == kUnsigned8)
		return Abs8((I8v)(bytes ^ 0x80));
	if (coding == kMuLaw)
		return ~bytes & 0x7F;
	return (bytes ^ 0x55) & 0x7F;
}

// A G.711 key decodes to 4 a 2^e - d units (G711FactorsOf): the caller
// takes 4 times the sum of the products a 2^e, less d for each sample.  A
// product is at most 63 * 128 = 8064.  The sums of a fold of 8-bit keys:
// unsigned keys are their own units, added in 8-bit halves of 16-bit
// elements (each half adds at most 128 a vector).
enum { kMostProduct = 63 * 128, kKeyFold = 256 };
static_assert(kKeyFold * 128 <= UINT16_MAX, "sums of 8-bit halves fit");

#ifdef QUORVIN_BYTE_LOOKUP
// With a byte shuffle, a comes from a table by the step, corrected by the
// segment for A-law's segment 0, and 2^e from a table by the segment; one
// instruction multiplies and adds pairs.  The products are added in pairs
// of neighbouring samples into 16 bits, the pairs of two vectors together,
// then widened into 32-bit elements, four to an element a vector.  Masked
// samples add nothing.
static_assert(2 * 2 * kMostProduct <= INT16_MAX, "the pairs of two vectors fit 16 bits");
static_assert((uint64_t)kKeyFold * 4 * kMostProduct <= UINT32_MAX, "product sums fit");

struct G711Table {
	uint8_t bytes[16];
};

// a in segments 1 to 7, by the step.
constexpr G711Table
StepTable(void)
{
	G711Table t = {};
	for (uint32_t step = 0; step < 16; step++)
		t.bytes[step] = (uint8_t)G711FactorsOf(1 << 4 | step, kALaw).a;
	return t;
}

// 2^e, by the segment.
constexpr G711Table
PowerTable(Coding coding)
{
	G711Table t = {};
	for (uint32_t segment = 0; segment < 8; segment++)
		t.bytes[segment] = (uint8_t)(1 << G711FactorsOf(segment << 4, coding).e);
	return t;
}

// How much smaller a is in a segment than in the others, by the segment.
constexpr G711Table
SegmentCorrection(Coding coding)
{
	G711Table t = {};
	for (uint32_t segment = 0; segment < 8; segment++)
		t.bytes[segment] = (uint8_t)(G711FactorsOf(1 << 4, coding).a -
		                             G711FactorsOf(segment << 4, coding).a);
	return t;
}

QUORVIN_INLINE I16v
G711Pairs(U8v keys, U8v keep, Coding coding)
{
	static constexpr G711Table step = StepTable();
	static constexpr G711Table power[2] = { PowerTable(kMuLaw), PowerTable(kALaw) };
	static constexpr G711Table correction = SegmentCorrection(kALaw);
	static_assert(SegmentCorrection(kMuLaw).bytes[0] == 0, "mu-law has no correction");
	U8v segment = keys >> 4;
	U8v a = Lookup16(step.bytes, keys);
	if (coding == kALaw)
		a -= Lookup16(correction.bytes, segment);
	U8v e = Lookup16(power[coding == kALaw].bytes, segment) & keep;
	return ProductsByPairs(e, (I8v)a);
}

struct KeySums {
	U16v all, upper;
	U32v products;
};

QUORVIN_INLINE void
AddKeys(U8v keys, U8v keep, Coding coding, KeySums *s)
{
	if (coding == kUnsigned8)
		AddByteHalves((U16v)(keys & keep), &s->all, &s->upper);
	else
		s->products += PairsWidened(G711Pairs(keys, keep, coding));
}

// The keys of two whole vectors; G.711 pairs are widened once for both.
QUORVIN_INLINE void
AddTwoKeys(U8v first, U8v second, Coding coding, KeySums *s)
{
	const U8v every = ~(U8v){};
	if (coding == kUnsigned8) {
		AddByteHalves((U16v)first, &s->all, &s->upper);
		AddByteHalves((U16v)second, &s->all, &s->upper);
	} else {
		I16v pairs = G711Pairs(first, every, coding) + G711Pairs(second, every, coding);
		s->products += PairsWidened(pairs);
	}
}

QUORVIN_INLINE U64v
KeysTotal(const KeySums *s, Coding coding)
{
	(void)coding;
	return ByteHalvesTotal(s->all, s->upper) + (Wide32(s->products) << 2);
}

// Masked samples add nothing.
QUORVIN_INLINE uint64_t
MaskedUnits(Coding coding, size_t masked)
{
	(void)coding;
	(void)masked;
	return 0;
}
#else
// Without a byte shuffle, G.711 keys go through floats.  The word
// (key << 19) + kG711Word is the float (2 t + 33) 2^s, for the key's
// segment s and step t: exponent s + 5, and (2 t + 1) / 32 below the
// leading 1.  That is the a 2^e of mu-law, and of A-law but in segment 0,
// where a 2^e = 4 t + 2 is 31 - 2 t less: that difference is added apart,
// in 8-bit halves, and taken away.  Each byte of a 32-bit element makes
// its own word, in its own sum; floats add integers exactly while their
// sums stay below 2^24.  A masked key is 0 and adds the a 2^e of key 0,
// which the caller takes away.  Five operations a key where shifts by the
// segment took fifteen.
static constexpr uint32_t kG711Word = 132u << 23 | 1u << 18;
static_assert(kKeyFold * kMostProduct < 1 << 24, "the sums of a fold's words are exact");
static_assert(kKeyFold * 31 <= UINT16_MAX / 2, "the A-law differences fit 8-bit halves");

// Two vectors a step keep their words apart: a float sum is a chain of
// additions that must wait for each other.
struct KeySums {
	U16v all, upper;
	F32v words[8];
};

QUORVIN_INLINE void
AddWords(U8v keys, U8v keep, Coding coding, KeySums *s, int half)
{
	U32v k = (U32v)(keys & keep);
	F32v *words = s->words + 4 * half;
	if (coding == kUnsigned8) {
		AddByteHalves((U16v)k, &s->all, &s->upper);
		return;
	}
	words[0] += (F32v)(((k & 0xFF) << 19) + kG711Word);
	words[1] += (F32v)(((k & 0xFF00) << 11) + kG711Word);
	words[2] += (F32v)(((k & 0xFF0000) << 3) + kG711Word);
	words[3] += (F32v)((k >> 24 << 19) + kG711Word);
	// Keys below 16 are segment 0's: their step is the key itself.
	if (coding == kALaw) {
		U8v first = (U8v)((I8v)k < 16), step = (U8v)k;
		AddByteHalves((U16v)((31 - step - step) & first), &s->all, &s->upper);
	}
}

QUORVIN_INLINE void
AddKeys(U8v keys, U8v keep, Coding coding, KeySums *s)
{
	AddWords(keys, keep, coding, s, 0);
}

QUORVIN_INLINE void
AddTwoKeys(U8v first, U8v second, Coding coding, KeySums *s)
{
	const U8v every = ~(U8v){};
	AddWords(first, every, coding, s, 0);
	AddWords(second, every, coding, s, 1);
}

QUORVIN_INLINE U64v
KeysTotal(const KeySums *s, Coding coding)
{
	U64v halves = ByteHalvesTotal(s->all, s->upper), words = {};
	if (coding == kUnsigned8)
		return halves;
	for (int j = 0; j < 8; j++)
		words += Wide32(__builtin_convertvector(s->words[j], U32v));
	return (words - halves) << 2;
}

QUORVIN_INLINE uint64_t
MaskedUnits(Coding coding, size_t masked)
{
	G711Factors key0 = G711FactorsOf(0, coding);
	return coding == kUnsigned8 ? 0 : 4 * (uint64_t)(key0.a << key0.e) * masked;
}
#endif

// G.711 and other 8-bit keys; must equal AddUnitsReference (Key8, Units8).
// G.711 keys have 7 bits: their top bit marks, in the peaks, an element
// that has seen a sample, since a key of 0 is not silence in A-law.
QUORVIN_INLINE void
Sum8(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
     PeakCycle *cycle, bool cycling)
{
	const size_t n = kVectorBytes;
	const U8v every = ~(U8v){};
	const uint8_t mark = coding == kUnsigned8 ? 0 : 0x80;
	U64v sum = {};
	size_t vectors = samples / n, slot = 0;
	for (size_t v = 0; v < vectors;) {
		size_t end = FoldEnd(v, vectors, kKeyFold);
		KeySums s = {};
		for (; v + 2 <= end; v += 2, p += 2 * n) {
			U8v first = Keys8(LoadBytes(p), coding), second = Keys8(LoadBytes(p + n), coding);
			if (cycling) {
				Raise(cycle, slot, 0, first | mark, 1, true);
				slot = NextSlot(cycle, slot, true);
				Raise(cycle, slot, 0, second | mark, 1, true);
				slot = NextSlot(cycle, slot, true);
			} else {
				Raise(cycle, slot, 0, Max8(first, second) | mark, 1, false);
			}
			AddTwoKeys(first, second, coding, &s);
		}
		if (v < end) {
			U8v keys = Keys8(LoadBytes(p), coding);
			Raise(cycle, slot, 0, keys | mark, 1, cycling);
			slot = NextSlot(cycle, slot, cycling);
			AddKeys(keys, every, coding, &s);
			v++;
			p += n;
		}
		sum += KeysTotal(&s, coding);
	}
	size_t left = samples % n;
	if (left != 0) {
		U8v keep = From8((unsigned)(n - left));
		U8v keys = Keys8(LoadBytes(p - (n - left)), coding) & keep;
		KeySums s = {};
		Raise(cycle, LastSlot(cycle), 0, (keys | mark) & keep, 1, cycling);
		AddKeys(keys, keep, coding, &s);
		sum += KeysTotal(&s, coding);
	}
	*units += Total64(sum) - (uint64_t)G711FactorsOf(0, coding).less * samples -
	          MaskedUnits(coding, left != 0 ? n - left : 0);
}

#ifdef __SSE2__
// Unsigned 8-bit samples on x86; must equal AddUnitsReference (Key8).  A
// sum of absolute differences against 128 adds eight magnitudes at a time
// into 64-bit elements.  In a cycle of one slot the peak comes from the
// largest and the smallest byte of each element, which stand 128 + k and
// 128 - k around the peak key k between calls; longer cycles keep keys.
QUORVIN_INLINE void
SumUnsigned8(const unsigned char *p, size_t samples, uint64_t *units, PeakCycle *cycle,
             bool cycling)
{
	const size_t n = kVectorBytes;
	U8v key = cycle->held[0];
	U8v largest = (key > 127 ? 127 : key) + 128, smallest = 128 - key;
	U64v sum = {};
	size_t vectors = samples / n, slot = 0;
	for (size_t v = 0; v < vectors; v++, p += n) {
		U8v bytes = LoadBytes(p);
		if (cycling) {
			Raise(cycle, slot, 0, Keys8(bytes, kUnsigned8), 1, true);
			slot = NextSlot(cycle, slot, true);
		} else {
			largest = Max8(largest, bytes);
			smallest = smallest < bytes ? smallest : bytes;
		}
		sum += DistancesFrom128(bytes);
	}
	size_t left = samples % n;
	if (left != 0) {
		// Samples taken already count as 128, which adds nothing.
		U8v bytes = LoadBytes(p - (n - left)) | ~From8((unsigned)(n - left));
		bytes &= From8((unsigned)(n - left)) | 0x80;
				if (cycling) {
			Raise(cycle, LastSlot(cycle), 0, Keys8(bytes, kUnsigned8), 1, true);
		} else {
			largest = Max8(largest, bytes);
			smallest = smallest < bytes ? smallest : bytes;
		}
		sum += DistancesFrom128(bytes);
	}
	*units += Total64(sum);
	if (!cycling)
		cycle->held[0] = Max8(largest - 128, 128 - smallest);
}
#else
QUORVIN_INLINE void
SumUnsigned8(const unsigned char *p, size_t samples, uint64_t *units, PeakCycle *cycle,
             bool cycling)
{
	Sum8(p, samples, kUnsigned8, units, cycle, cycling);
}
#endif

}  // namespace QUORVIN_COPY

#endif
