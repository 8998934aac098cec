// SPDX-License-Identifier: MIT
// Kernels for 8-bit samples, unsigned and G.711, included by kernels.h
// (which says how the kernels work).
#ifndef QUORVIN_KERNELS8_H
#define QUORVIN_KERNELS8_H

#include "decode.h"
#include "lanes.h"
#include "vectors.h"

namespace {

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
	U8v high = coding == kUnsigned8 ? LoadBytes(peaks->bytes) : LoadBytes(peaks->bytes) & 0x7F;
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
	StoreBytes(peaks->bytes, coding == kUnsigned8 ? high : high | 0x80);
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
	U8v key = LoadBytes(peaks->bytes);
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
	StoreBytes(peaks->bytes, Max8(high - 128, 128 - low));
	return samples;
}
#endif

}  // namespace

#endif
