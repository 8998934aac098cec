// Kernels: the bodies of the lane kernels, written once in vectors and
// compiled once for each instruction set (lanes.cpp for the target's
// own, lanes_avx2.cpp for AVX2 on x86-64).  Each kernel takes whole
// vectors of samples, then one last vector that ends with the last sample
// and masks out the samples it shares with the one before; it takes
// nothing when the samples do not fill one vector.  No load reaches
// outside the samples.
//
// Vector element j always holds a sample whose index is j modulo the
// elements per vector, so with a channel count that divides that number
// it holds one channel throughout, channel j % channels: the largest
// magnitude of each element is kept, in LanePeaks, for LanePeaksOf.
#ifndef QUORVIN_KERNELS_H
#define QUORVIN_KERNELS_H

#include "decode.h"
#include "lanes.h"
#include "vectors.h"

// Each instruction set's copy is its own: nothing here is shared between
// the units that include it.
namespace {

// The narrow sums below are folded into 64-bit sums after this many
// vectors, before they can overflow; each kernel names its own.
ALWAYS_INLINE size_t
ChunkEnd(size_t v, size_t vectors, size_t chunk)
{
	return vectors - v > chunk ? v + chunk : vectors;
}

// 32-bit elements widened and added in pairs into 64-bit elements.
ALWAYS_INLINE U64v
Wide32(U32v x)
{
	return ((U64v)x & 0xFFFFFFFF) + ((U64v)x >> 32);
}

ALWAYS_INLINE U64v
Wide16(U16v x)
{
	return Wide32(((U32v)x & 0xFFFF) + ((U32v)x >> 16));
}

ALWAYS_INLINE uint64_t
Total64(U64v x)
{
	uint64_t sum = 0;
	for (unsigned j = 0; j < sizeof x / 8; j++)
		sum += x[j];
	return sum;
}

// Sums of 16-bit halves in 32-bit elements that may wrap: *all adds each
// element whole (its low half plus 2^16 times its high half), *high its
// high half alone.  all - 2^16 high is then the sum of the low halves,
// exact while that sum stays below 2^32.
ALWAYS_INLINE void
AddHalves(U32v x, U32v *all, U32v *high)
{
	*all += x;
	*high += x >> 16;
}

// The sums of the low halves and of the high halves, the latter times
// 2^shift.
ALWAYS_INLINE U64v
HalvesTotal(U32v all, U32v high, unsigned shift)
{
	return Wide32(all - (high << 16)) + (Wide32(high) << shift);
}

// The same with 8-bit halves of 16-bit elements, added with equal weight.
ALWAYS_INLINE void
AddByteHalves(U16v x, U16v *all, U16v *high)
{
	*all += x;
	*high += x >> 8;
}

ALWAYS_INLINE U64v
ByteHalvesTotal(U16v all, U16v high)
{
	return Wide16(all - (high << 8)) + Wide16(high);
}

// The largest magnitudes so far, as a vector.
ALWAYS_INLINE U8v
PeaksIn(const LanePeaks *high)
{
	U8v v;
	memcpy(&v, high->bytes, sizeof v);
	return v;
}

ALWAYS_INLINE void
KeepPeaks(LanePeaks *high, U8v v)
{
	memcpy(high->bytes, &v, sizeof v);
}

// 8-bit keys (decode.h): the unsigned magnitude |byte - 128|, or the 7
// bits of a G.711 segment and step.  Keys grow with the magnitude.
ALWAYS_INLINE U8v
Keys8(U8v bytes, Coding coding)
{
	if (coding == kUnsigned8)
		return Abs8((I8v)(bytes ^ 0x80));
	if (coding == kMuLaw)
		return ~bytes & 0x7F;
	return (bytes ^ 0x55) & 0x7F;
}

// A G.711 key of segment s and step t decodes to 4 a 2^e - d units, with
// a = 2 t + 33 and e = s, d = 132 for mu-law; for A-law e = max(s, 1),
// d = 0, and a = 2 t + 1 in segment 0.  The products a 2^e are added up
// (four samples to an element), and the caller takes 4 times their sum
// less d for each sample.  Masked samples add nothing.
#ifdef __AVX2__
// Both factors come from byte tables indexed by the step and the segment;
// one instruction multiplies them and adds pairs, another adds the pairs.
ALWAYS_INLINE U32v
G711Products(U8v keys, U8v keep, Coding coding)
{
	const __m256i odd = _mm256_setr_epi8(33, 35, 37, 39, 41, 43, 45, 47, 49, 51, 53, 55, 57,
	                                     59, 61, 63, 33, 35, 37, 39, 41, 43, 45, 47, 49, 51,
	                                     53, 55, 57, 59, 61, 63);
	const __m256i powers = coding == kMuLaw
	    ? _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0,
	                       1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0)
	    : _mm256_setr_epi8(2, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0,
	                       2, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
	const __m256i first = _mm256_setr_epi8(32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	                                       32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
	__m256i key = (__m256i)keys;
	__m256i segment = _mm256_and_si256(_mm256_srli_epi16(key, 4), _mm256_set1_epi8(15));
	__m256i a = _mm256_shuffle_epi8(odd, key);
	if (coding == kALaw)
		a = _mm256_sub_epi8(a, _mm256_shuffle_epi8(first, segment));
	__m256i power = _mm256_and_si256(_mm256_shuffle_epi8(powers, segment), (__m256i)keep);
	__m256i pairs = _mm256_maddubs_epi16(power, a);
	return (U32v)_mm256_madd_epi16(pairs, _mm256_set1_epi16(1));
}
#else
// Keys spread over 16-bit elements, two products to an element.
ALWAYS_INLINE U16v
G711Product(U16v key, Coding coding)
{
	U16v segment = key >> 4, a = ((key & 15) << 1) + 33;
	if (coding == kMuLaw)
		return a << segment;
	U16v first = (U16v)(segment == 0);
	return (a - (first & 32)) << (segment + (first & 1));
}

ALWAYS_INLINE U32v
G711Products(U8v keys, U8v keep, Coding coding)
{
	U16v even = G711Product((U16v)keys & 0xFF, coding) & (U16v)(((U16v)keep & 0xFF) != 0);
	U16v odd = G711Product((U16v)keys >> 8, coding) & (U16v)((U16v)keep >> 8 != 0);
	U32v pairs = (U32v)(even + odd);
	return (pairs & 0xFFFF) + (pairs >> 16);
}
#endif

// The sums of a chunk of 8-bit keys: unsigned keys are their own units,
// added in 8-bit halves (at most 128 each, so 256 vectors fit the 16-bit
// sums); G.711 keys add their products (at most 32256 an element).
enum { kKeyChunk = 256 };

struct KeySums {
	U16v all, high;
	U32v products;
};

ALWAYS_INLINE void
AddKeys(U8v keys, U8v keep, Coding coding, KeySums *s)
{
	if (coding == kUnsigned8)
		AddByteHalves((U16v)(keys & keep), &s->all, &s->high);
	else
		s->products += G711Products(keys, keep, coding);
}

ALWAYS_INLINE U64v
KeysTotal(const KeySums *s)
{
	return ByteHalvesTotal(s->all, s->high) + (Wide32(s->products) << 2);
}

ALWAYS_INLINE size_t
Tally8(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
       LanePeaks *peaks)
{
	const size_t n = kVectorBytes;
	if (samples < n)
		return 0;
	const U8v every = ~(U8v){};
	U8v high = coding == kUnsigned8 ? PeaksIn(peaks) : PeaksIn(peaks) & 0x7F;
	U64v sum = {};
	size_t vectors = samples / n;
	for (size_t v = 0; v < vectors;) {
		size_t end = ChunkEnd(v, vectors, kKeyChunk);
		KeySums s = {};
		for (; v < end; v++, p += n) {
			U8v keys = Keys8(LoadBytes(p), coding);
			high = Max8(high, keys);
			AddKeys(keys, every, coding, &s);
		}
		sum += KeysTotal(&s);
	}
	size_t left = samples % n;
	if (left != 0) {
		U8v keep = From8((unsigned)(n - left));
		U8v keys = Keys8(LoadBytes(p - (n - left)), coding) & keep;
		KeySums s = {};
		high = Max8(high, keys);
		AddKeys(keys, keep, coding, &s);
		sum += KeysTotal(&s);
	}
	*units += Total64(sum) - (coding == kMuLaw ? 132 * (uint64_t)samples : 0);
	// G.711 keys have 7 bits: the top bit marks, between calls, an element
	// that has seen a sample, since a key of 0 is not silence in A-law.
	KeepPeaks(peaks, coding == kUnsigned8 ? high : high | 0x80);
	return samples;
}

#ifdef __AVX2__
// Unsigned 8-bit samples on AVX2: a sum of absolute differences against
// 128 adds eight magnitudes at a time into 64-bit elements, and the peak
// comes from the largest and the smallest byte of each element, which
// stand 128 + k and 128 - k around the peak key k between calls.
ALWAYS_INLINE size_t
TallyUnsigned8(const unsigned char *p, size_t samples, uint64_t *units, LanePeaks *peaks)
{
	const size_t n = kVectorBytes;
	if (samples < n)
		return 0;
	const __m256i middle = _mm256_set1_epi8((char)0x80);
	U8v key = PeaksIn(peaks);
	U8v high = (key > 127 ? 127 : key) + 128, low = 128 - key;
	U64v sum = {};
	size_t vectors = samples / n;
	for (size_t v = 0; v < vectors; v++, p += n) {
		U8v bytes = LoadBytes(p);
		high = Max8(high, bytes);
		low = low < bytes ? low : bytes;
		sum += (U64v)_mm256_sad_epu8((__m256i)bytes, middle);
	}
	size_t left = samples % n;
	if (left != 0) {
		// Samples taken already count as 128, which adds nothing.
		U8v bytes = LoadBytes(p - (n - left)) | ~From8((unsigned)(n - left));
		bytes &= From8((unsigned)(n - left)) | 0x80;
		high = Max8(high, bytes);
		low = low < bytes ? low : bytes;
		sum += (U64v)_mm256_sad_epu8((__m256i)bytes, middle);
	}
	*units += Total64(sum);
	KeepPeaks(peaks, Max8(high - 128, 128 - low));
	return samples;
}
#endif

// 16-bit and 32-bit magnitudes are added in 16-bit halves: a low half is
// under 2^16, so 2^15 vectors keep their sum below 2^32.
enum { kHalvesChunk = 1 << 15 };

ALWAYS_INLINE size_t
Tally16(const unsigned char *p, size_t samples, uint64_t *units, LanePeaks *peaks)
{
	const size_t n = kVectorBytes / 2;
	if (samples < n)
		return 0;
	U16v high = (U16v)PeaksIn(peaks);
	U64v sum = {};
	size_t vectors = samples / n;
	for (size_t v = 0; v < vectors;) {
		size_t end = ChunkEnd(v, vectors, kHalvesChunk);
		U32v all = {}, upper = {};
		for (; v < end; v++, p += kVectorBytes) {
			U16v m = Abs16(LoadLE16(p));
			high = Max16(high, m);
			AddHalves((U32v)m, &all, &upper);
		}
		sum += HalvesTotal(all, upper, 0);
	}
	size_t left = samples % n;
	if (left != 0) {
		U16v m = Abs16(LoadLE16(p - 2 * (n - left))) & From16((unsigned)(n - left));
		high = Max16(high, m);
		sum += Wide16(m);
	}
	*units += Total64(sum);
	KeepPeaks(peaks, (U8v)high);
	return samples;
}

// Groups of eight samples; a 32-bit element adds at most two magnitudes
// of at most 2^23 a group, so 128 groups fit.
enum { kGroupChunk = 128 };

ALWAYS_INLINE size_t
Tally24(const unsigned char *p, size_t samples, uint64_t *units, LanePeaks *peaks)
{
	if (samples < 8)
		return 0;
	U32v high = (U32v)PeaksIn(peaks);
	U64v sum = {};
	size_t groups = samples / 8;
	for (size_t g = 0; g < groups;) {
		size_t end = ChunkEnd(g, groups, kGroupChunk);
		U32v all = {};
		for (; g < end; g++, p += 24) {
			I32v v[kSpread24Vectors];
			Spread24(p, v);
			for (int h = 0; h < kSpread24Vectors; h++) {
				U32v m = Abs32(v[h]);
				high = Max32(high, m);
				all += m;
			}
		}
		sum += Wide32(all);
	}
	int left = (int)(samples % 8);
	if (left != 0) {
		I32v v[kSpread24Vectors];
		Spread24(p - 3 * (8 - left), v);
		for (int h = 0; h < kSpread24Vectors; h++) {
			int first = 8 - left - h * (int)(sizeof high / 4);
			U32v m = Abs32(v[h]) & From32(first > 0 ? (unsigned)first : 0);
			high = Max32(high, m);
			sum += Wide32(m);
		}
	}
	*units += Total64(sum);
	KeepPeaks(peaks, (U8v)high);
	return samples;
}

ALWAYS_INLINE size_t
Tally32(const unsigned char *p, size_t samples, uint64_t *units, LanePeaks *peaks)
{
	const size_t n = kVectorBytes / 4;
	if (samples < n)
		return 0;
	U32v high = (U32v)PeaksIn(peaks);
	U64v sum = {};
	size_t vectors = samples / n;
	for (size_t v = 0; v < vectors;) {
		size_t end = ChunkEnd(v, vectors, kHalvesChunk);
		U32v all = {}, upper = {};
		for (; v < end; v++, p += kVectorBytes) {
			U32v m = Abs32((I32v)LoadLE32(p));
			high = Max32(high, m);
			AddHalves(m, &all, &upper);
		}
		sum += HalvesTotal(all, upper, 16);
	}
	size_t left = samples % n;
	if (left != 0) {
		U32v m = Abs32((I32v)LoadLE32(p - 4 * (n - left))) & From32((unsigned)(n - left));
		high = Max32(high, m);
		sum += Wide32(m);
	}
	*units += Total64(sum);
	KeepPeaks(peaks, (U8v)high);
	return samples;
}

// Float words with the sign bit set, w | 2^31, grow with the magnitude and
// spread to doubles with an exponent field of e + 256 for the float's e:
// 2^(e - 767) (1 + fraction / 2^23), a normal double for every e, zero and
// infinity included.  Float32Convert gives 2^(e - 120) (1 + fraction / 2^23)
// for the magnitude: 2^647 times as much, an exact scaling done at the end.
// Each 64-bit element takes one of its two words.
ALWAYS_INLINE F64v
LowWords(U32v w)
{
	return (F64v)(((U64v)w << 32) >> 3);
}

ALWAYS_INLINE F64v
HighWords(U32v w)
{
	return (F64v)(((U64v)w >> 3) & ~(U64v){} << 29);
}

ALWAYS_INLINE size_t
TallyF32(const unsigned char *p, size_t samples, double lane[kSumLanes], LanePeaks *peaks)
{
	const size_t n = kVectorBytes / 4;
	if (samples < n)
		return 0;
	const U32v sign = (U32v){} + 0x80000000u;
	U32v high = (U32v)PeaksIn(peaks);
	F64v sum[4] = {};
	size_t vectors = samples / n, v = 0;
	for (; v + 2 <= vectors; v += 2, p += 2 * kVectorBytes) {
		U32v w0 = LoadLE32(p) | sign, w1 = LoadLE32(p + kVectorBytes) | sign;
		high = Max32(high, Max32(w0, w1));
		sum[0] += LowWords(w0);
		sum[1] += HighWords(w0);
		sum[2] += LowWords(w1);
		sum[3] += HighWords(w1);
	}
	// One whole vector may be left, then part of one.
	size_t left = samples - v * n;
	if (left >= n) {
		U32v w = LoadLE32(p) | sign;
		high = Max32(high, w);
		sum[0] += LowWords(w);
		sum[1] += HighWords(w);
		p += kVectorBytes;
		left -= n;
	}
	if (left != 0) {
		U32v w = (LoadLE32(p - 4 * (n - left)) | sign) & From32((unsigned)(n - left));
		high = Max32(high, w);
		sum[2] += LowWords(w);
		sum[3] += HighWords(w);
	}
	for (unsigned j = 0; j < 4 * sizeof sum[0] / 8; j++)
		lane[j] += sum[j / (sizeof sum[0] / 8)][j % (sizeof sum[0] / 8)] * 0x1p647;
	KeepPeaks(peaks, (U8v)high);
	return samples;
}

// Every kernel for the integer codings, by coding.
ALWAYS_INLINE size_t
TallyIntegers(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
              LanePeaks *peaks)
{
	switch (coding) {
	case kInt16:
		return Tally16(p, samples, units, peaks);
	case kInt24:
		return Tally24(p, samples, units, peaks);
	case kInt32:
		return Tally32(p, samples, units, peaks);
	case kUnsigned8:
#ifdef __AVX2__
		return TallyUnsigned8(p, samples, units, peaks);
#else
		return Tally8(p, samples, kUnsigned8, units, peaks);
#endif
	case kMuLaw:
		return Tally8(p, samples, kMuLaw, units, peaks);
	default:
		return Tally8(p, samples, kALaw, units, peaks);
	}
}

}  // namespace

// The copies built for AVX2, in lanes_avx2.cpp.
size_t TallyLanesAvx2(const unsigned char *p, size_t samples, Coding coding,
                      uint64_t *units, LanePeaks *high);
size_t TallyFloatLanesAvx2(const unsigned char *p, size_t samples, double lane[kSumLanes],
                           LanePeaks *high);

#endif
