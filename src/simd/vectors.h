// SPDX-License-Identifier: MIT
// Vectors: the vector types the kernels are written in, the few
// operations whose best instruction differs between instruction sets, and
// the narrow sums the kernels fold into 64 bits.
// Everything here is portable GCC/clang vector code, except the marked
// x86 pieces, each under the instruction set it needs.  A vector holds 32
// bytes where AVX2 is on, 16 elsewhere (SSE2 or SSSE3 with SSE4.1 on
// x86-64, NEON, VSX, or plain registers where the target's baseline has
// no vector instructions).
#ifndef QUORVIN_SIMD_VECTORS_H
#define QUORVIN_SIMD_VECTORS_H

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <immintrin.h>
#endif
#ifndef QUORVIN_COPY
#error "a copy of the kernels names its namespace QUORVIN_COPY"
#endif
#ifdef __AVX2__
#define QUORVIN_VECTOR_BYTES 32
#else
#define QUORVIN_VECTOR_BYTES 16
#endif
// A byte shuffle with indices from a vector: G.711 keys are looked up in
// tables of 16 bytes.
#if defined(__AVX2__) || defined(__SSSE3__)
#define QUORVIN_BYTE_LOOKUP 1
#endif

// Each instruction set's copy is its own: everything here lies in the
// namespace of the copy that includes it (QUORVIN_COPY), so nothing can be
// shared between copies.
namespace QUORVIN_COPY {

#define QUORVIN_INLINE __attribute__((always_inline)) static inline

typedef uint8_t U8v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef int8_t I8v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef uint16_t U16v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef int16_t I16v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef uint32_t U32v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef int32_t I32v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef uint64_t U64v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef float F32v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef double F64v __attribute__((vector_size(QUORVIN_VECTOR_BYTES)));
typedef uint8_t U8x16 __attribute__((vector_size(16)));

enum { kVectorBytes = QUORVIN_VECTOR_BYTES };

QUORVIN_INLINE U8v
LoadBytes(const unsigned char *p)
{
	U8v v;
	memcpy(&v, p, sizeof v);
	return v;
}

// The compiler's own memcpy, not the checked one of a hardened build, which
// is a call for every vector where the place is found at run time (a
// peak cycle's slot).  The kernels keep every store within VectorPeaks.
QUORVIN_INLINE void
StoreBytes(unsigned char *p, U8v v)
{
	__builtin_memcpy(p, &v, sizeof v);
}

// A byte shuffle of a 16-byte vector.  GCC before 12 has only its own
// shuffle builtin; clang only the other.
#if defined(__clang__) || __GNUC__ >= 12
#define QUORVIN_SHUFFLE(v, type, ...) __builtin_shufflevector(v, v, __VA_ARGS__)
#else
#define QUORVIN_SHUFFLE(v, type, ...) __builtin_shuffle(v, (type){ __VA_ARGS__ })
#endif

// Whether samples of the byte order big come the other way round from the
// host's.
QUORVIN_INLINE bool
Swapped(bool big)
{
	return big != (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
}

// The bytes of each 32-bit element the other way round: one byte shuffle
// where there is one, else the halves swapped, then the bytes of each.
QUORVIN_INLINE U32v
Swap32(U32v v)
{
#if defined(__AVX2__)
	const __m256i order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,
	                                       3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
	return (U32v)_mm256_shuffle_epi8((__m256i)v, order);
#elif defined(__SSSE3__)
	const __m128i order = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
	return (U32v)_mm_shuffle_epi8((__m128i)v, order);
#else
	U16v halves = QUORVIN_SHUFFLE((U16v)v, U16v, 1, 0, 3, 2, 5, 4, 7, 6);
	return (U32v)(halves << 8 | halves >> 8);
#endif
}

// Samples are little-endian, or big-endian where big says: a host of the
// other byte order swaps the bytes of each element after loading them.
// The bytes of each 16-bit element the other way round.
QUORVIN_INLINE U16v
Swap16(U16v v)
{
#if defined(__AVX2__)
	const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,
	                                       1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
	return (U16v)_mm256_shuffle_epi8((__m256i)v, order);
#elif defined(__SSSE3__)
	const __m128i order = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
	return (U16v)_mm_shuffle_epi8((__m128i)v, order);
#else
	return v << 8 | v >> 8;
#endif
}

QUORVIN_INLINE I16v
Load16(const unsigned char *p, bool big)
{
	U16v v = (U16v)LoadBytes(p);
	return (I16v)(Swapped(big) ? Swap16(v) : v);
}

QUORVIN_INLINE U32v
Load32(const unsigned char *p, bool big)
{
	U32v v = (U32v)LoadBytes(p);
	return Swapped(big) ? Swap32(v) : v;
}

// Magnitudes as unsigned elements, so that the most negative value has
// one too (-128 gives 128, -32768 gives 32768, -2^31 gives 2^31).
QUORVIN_INLINE U8v
Abs8(I8v v)
{
#if defined(__AVX2__)
	return (U8v)_mm256_abs_epi8((__m256i)v);
#elif defined(__SSSE3__)
	return (U8v)_mm_abs_epi8((__m128i)v);
#else
	U8v sign = (U8v)(v < 0);
	return ((U8v)v ^ sign) - sign;
#endif
}

QUORVIN_INLINE U16v
Abs16(I16v v)
{
#if defined(__AVX2__)
	return (U16v)_mm256_abs_epi16((__m256i)v);
#elif defined(__SSSE3__)
	return (U16v)_mm_abs_epi16((__m128i)v);
#else
	U16v sign = (U16v)(v >> 15);
	return ((U16v)v ^ sign) - sign;
#endif
}

QUORVIN_INLINE U32v
Abs32(I32v v)
{
#if defined(__AVX2__)
	return (U32v)_mm256_abs_epi32((__m256i)v);
#elif defined(__SSSE3__)
	return (U32v)_mm_abs_epi32((__m128i)v);
#else
	U32v sign = (U32v)(v >> 31);
	return ((U32v)v ^ sign) - sign;
#endif
}

QUORVIN_INLINE U8v Max8(U8v a, U8v b) { return a > b ? a : b; }
QUORVIN_INLINE U16v Max16(U16v a, U16v b) { return a > b ? a : b; }
QUORVIN_INLINE U32v Max32(U32v a, U32v b) { return a > b ? a : b; }

// All ones in the elements from first on, zero before: the mask of a
// last vector that overlaps elements already taken.
QUORVIN_INLINE U8v
From8(unsigned first)
{
	static const uint8_t index[32] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
	                                   16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
	                                   29, 30, 31 };
	U8v v;
	memcpy(&v, index, sizeof v);
	return (U8v)(v >= (uint8_t)first);
}

QUORVIN_INLINE U16v
From16(unsigned first)
{
	static const uint16_t index[16] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 };
	U16v v;
	memcpy(&v, index, sizeof v);
	return (U16v)(v >= (uint16_t)first);
}

QUORVIN_INLINE U32v
From32(unsigned first)
{
	static const uint32_t index[8] = { 0, 1, 2, 3, 4, 5, 6, 7 };
	U32v v;
	memcpy(&v, index, sizeof v);
	return (U32v)(v >= (uint32_t)first);
}

// Eight 24-bit samples, the 24 bytes at p, as 32-bit values in as many
// vectors as they fill: each sample's three bytes are put at the top of a
// 32-bit element, least significant first (big-endian samples the other
// way round), and an arithmetic shift brings them down with their sign.
// Nothing past the 24 bytes is read.
enum { kSpread24Vectors = 32 / QUORVIN_VECTOR_BYTES };

#if defined(__AVX2__)
// One byte shuffle within each 16-byte half: samples 0 to 3 from the 16
// bytes at p, 4 to 7 from the 16 at p + 8.
QUORVIN_INLINE void
Spread24(const unsigned char *p, bool big, I32v out[kSpread24Vectors])
{
	const __m256i little = _mm256_setr_epi8(0, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11,
	                                        0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15);
	const __m256i bigOrder = _mm256_setr_epi8(0, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9,
	                                          0, 6, 5, 4, 0, 9, 8, 7, 0, 12, 11, 10, 0, 15, 14, 13);
	__m256i both = _mm256_inserti128_si256(
	    _mm256_castsi128_si256(_mm_loadu_si128((const __m128i *)p)),
	    _mm_loadu_si128((const __m128i *)(p + 8)), 1);
	out[0] = (I32v)_mm256_srai_epi32(_mm256_shuffle_epi8(both, big ? bigOrder : little), 8);
}
#elif defined(__SSE2__) && !defined(__SSSE3__)
// SSE2 has no byte shuffle: each sample comes in a 32-bit load of its
// bytes and the byte before them (the first one's shifted up instead).
// Turning a big-endian sample round costs more than loading it, so the
// work is shared between the two units.  The vector unit turns samples 4
// to 7: exchanging each element's halves brings the top and bottom bytes
// into place, and the middle one is put back from the load.  General
// registers turn samples 0 to 3, two to a 64-bit byte swap (below).
QUORVIN_INLINE int32_t
Word32(const unsigned char *p)
{
	int32_t w;
	memcpy(&w, p, 4);
	return w;
}

QUORVIN_INLINE I32v
TurnedRound(I32v v)
{
	U32v halves = (U32v)QUORVIN_SHUFFLE((U16v)v, U16v, 1, 0, 3, 2, 5, 4, 7, 6);
	return (I32v)(halves ^ ((halves ^ (U32v)v) & 0x00FF0000u));
}

// The 8 bytes at p in the other order: each sample's bytes then stand
// least significant first, and the later sample below the earlier one.
QUORVIN_INLINE uint64_t
Turned64(const unsigned char *p)
{
	uint64_t w;
	memcpy(&w, p, 8);
	return __builtin_bswap64(w);
}

// Samples 0 to 3 at the top of their elements: from the bytes at p, byte
// k of the swapped word holds p[7 - k], so sample 0 stands in bytes 5 to
// 7 and sample 1 in bytes 2 to 4; from the bytes at p + 5, sample 2 in
// bytes 4 to 6 and sample 3 in bytes 1 to 3.  The shifts take each to
// the top of its 32 bits; the bytes they leave below it are shifted out.
QUORVIN_INLINE I32v
FirstFourTurned(const unsigned char *p)
{
	uint64_t first = Turned64(p), second = Turned64(p + 5);
	U64v pairs = { (first >> 8) << 32 | first >> 32, second << 32 | second >> 24 };
	return (I32v)pairs;
}

QUORVIN_INLINE void
Spread24(const unsigned char *p, bool big, I32v out[kSpread24Vectors])
{
	I32v upper = { Word32(p + 11), Word32(p + 14), Word32(p + 17), Word32(p + 20) };
	if (big) {
		out[0] = FirstFourTurned(p) >> 8;
		out[1] = TurnedRound(upper) >> 8;
		return;
	}
	I32v lower = { (int32_t)((uint32_t)Word32(p) << 8), Word32(p + 2), Word32(p + 5),
		       Word32(p + 8) };
	out[0] = lower >> 8;
	out[1] = upper >> 8;
}
#else
// A byte shuffle of each 16 bytes, as in the AVX2 copy.
QUORVIN_INLINE void
Spread24(const unsigned char *p, bool big, I32v out[kSpread24Vectors])
{
	U8x16 lower, upper;
	memcpy(&lower, p, 16);
	memcpy(&upper, p + 8, 16);
	// The element's top byte, where the host keeps it, takes the sample's
	// most significant one.
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	if (big) {
		lower = QUORVIN_SHUFFLE(lower, U8x16, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0);
		upper = QUORVIN_SHUFFLE(upper, U8x16, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15, 0);
	} else {
		lower = QUORVIN_SHUFFLE(lower, U8x16, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9, 0);
		upper = QUORVIN_SHUFFLE(upper, U8x16, 6, 5, 4, 0, 9, 8, 7, 0, 12, 11, 10, 0, 15, 14, 13, 0);
	}
#else
	if (big) {
		lower = QUORVIN_SHUFFLE(lower, U8x16, 0, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9);
		upper = QUORVIN_SHUFFLE(upper, U8x16, 0, 6, 5, 4, 0, 9, 8, 7, 0, 12, 11, 10, 0, 15, 14, 13);
	} else {
		lower = QUORVIN_SHUFFLE(lower, U8x16, 0, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11);
		upper = QUORVIN_SHUFFLE(upper, U8x16, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15);
	}
#endif
	out[0] = (I32v)lower >> 8;
	out[1] = (I32v)upper >> 8;
}
#endif

#ifdef QUORVIN_BYTE_LOOKUP
// Each byte of index looks up one of the 16 bytes of table (the low four
// bits of the index choose; every index here is below 128).
QUORVIN_INLINE U8v
Lookup16(const uint8_t table[16], U8v index)
{
	__m128i t = _mm_loadu_si128((const __m128i *)table);
#ifdef __AVX2__
	return (U8v)_mm256_shuffle_epi8(_mm256_broadcastsi128_si256(t), (__m256i)index);
#else
	return (U8v)_mm_shuffle_epi8(t, (__m128i)index);
#endif
}

// The products of the unsigned bytes of a and the signed bytes of b, added
// in pairs into 16 bits (saturating; the kernels keep each pair far
// below).
QUORVIN_INLINE I16v
ProductsByPairs(U8v a, I8v b)
{
#ifdef __AVX2__
	return (I16v)_mm256_maddubs_epi16((__m256i)a, (__m256i)b);
#else
	return (I16v)_mm_maddubs_epi16((__m128i)a, (__m128i)b);
#endif
}
#endif

// 16-bit elements, none above INT16_MAX, added in pairs into 32 bits.
QUORVIN_INLINE U32v
PairsWidened(I16v pairs)
{
#if defined(__AVX2__)
	return (U32v)_mm256_madd_epi16((__m256i)pairs, _mm256_set1_epi16(1));
#elif defined(__SSE2__)
	return (U32v)_mm_madd_epi16((__m128i)pairs, _mm_set1_epi16(1));
#else
	return ((U32v)pairs & 0xFFFF) + ((U32v)pairs >> 16);
#endif
}

#ifdef __SSE2__
// The sum of the absolute differences between the bytes and 128, eight
// bytes to each 64-bit element.
QUORVIN_INLINE U64v
DistancesFrom128(U8v bytes)
{
#ifdef __AVX2__
	return (U64v)_mm256_sad_epu8((__m256i)bytes, _mm256_set1_epi8((char)0x80));
#else
	return (U64v)_mm_sad_epu8((__m128i)bytes, _mm_set1_epi8((char)0x80));
#endif
}
#endif

// The narrow sums below are folded into 64-bit sums after this many
// vectors, before they can overflow; each kernel names its own.
QUORVIN_INLINE size_t
FoldEnd(size_t v, size_t vectors, size_t fold)
{
	return vectors - v > fold ? v + fold : vectors;
}

// 32-bit elements widened and added in pairs into 64-bit elements.
QUORVIN_INLINE U64v
Wide32(U32v x)
{
	return ((U64v)x & 0xFFFFFFFF) + ((U64v)x >> 32);
}

// The low 32 bits of each 64-bit element shifted up by shift (below 32):
// on x86 an unsigned multiply, which takes only those bits and runs
// beside the shifts, where the shifts are on fewer ports.
QUORVIN_INLINE U64v
LowWordUp(U32v x, unsigned shift)
{
#if defined(__AVX2__)
	return (U64v)_mm256_mul_epu32((__m256i)x, _mm256_set1_epi64x((int64_t)1 << shift));
#elif defined(__SSE2__)
	return (U64v)_mm_mul_epu32((__m128i)x, _mm_set1_epi64x((int64_t)1 << shift));
#else
	return ((U64v)x & 0xFFFFFFFF) << shift;
#endif
}

QUORVIN_INLINE U64v
Wide16(U16v x)
{
	return Wide32(((U32v)x & 0xFFFF) + ((U32v)x >> 16));
}

QUORVIN_INLINE uint64_t
Total64(U64v x)
{
	uint64_t sum = 0;
	for (unsigned j = 0; j < sizeof x / 8; j++)
		sum += x[j];
	return sum;
}

// Sums of 16-bit halves in 32-bit elements that may wrap: *all adds each
// element whole (its lower half plus 2^16 times its upper half), *upper its
// upper half alone.  all - 2^16 upper is then the sum of the lower halves,
// exact while that sum stays below 2^32, as the sum of the upper halves
// must too: at most kHalvesFold additions of halves below 2^16.
enum { kHalvesFold = 1 << 15 };
static_assert((uint64_t)kHalvesFold * 0xFFFF <= UINT32_MAX, "sums of 16-bit halves fit");

QUORVIN_INLINE void
AddHalves(U32v x, U32v *all, U32v *upper)
{
	*all += x;
	*upper += x >> 16;
}

// The sums of the lower halves and of the upper halves, the latter times
// 2^shift.
QUORVIN_INLINE U64v
HalvesTotal(U32v all, U32v upper, unsigned shift)
{
	return Wide32(all - (upper << 16)) + (Wide32(upper) << shift);
}

// The same with 8-bit halves of 16-bit elements, added with equal weight:
// exact while each sum of halves stays below 2^16.
QUORVIN_INLINE void
AddByteHalves(U16v x, U16v *all, U16v *upper)
{
	*all += x;
	*upper += x >> 8;
}

QUORVIN_INLINE U64v
ByteHalvesTotal(U16v all, U16v upper)
{
	return Wide16(all - (upper << 8)) + Wide16(upper);
}

}  // namespace QUORVIN_COPY

#endif
