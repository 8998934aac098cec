// Lanes: the integer magnitude sums, written so that the compiler turns
// them into vector code.  Their sums are the exact integer sums, which
// equal the double sums in sample order while those stay below 2^53 units
// (the caller makes sure of that).
#include "lanes.h"

#include <cstring>

// The kernels are also built for AVX2; the loader picks the copy that suits
// the processor.  Builds for tools that cannot handle such copies (the
// fuzzer's instrumentation) leave them out.
#ifdef QUORVIN_NO_CLONES
#define VECTOR_KERNEL static
#else
#define VECTOR_KERNEL __attribute__((target_clones("avx2", "default"))) static
#endif
#define ALWAYS_INLINE __attribute__((always_inline)) static inline

typedef unsigned char Bytes16 __attribute__((vector_size(16)));
typedef int32_t Int4 __attribute__((vector_size(16)));
typedef uint32_t Uint4 __attribute__((vector_size(16)));

// A 32-bit lane adds at most this many 16-bit or 24-bit magnitudes (under
// 2^23 each), or 8-bit ones (under 2^15), before it is emptied into the
// 64-bit total, so it never passes 2^32.
enum { kGroupsPerChunk = 256, kByteGroupsPerChunk = 16384 };

// Four 16-bit or 24-bit samples are spread by a byte shuffle over the top
// bytes of four 32-bit lanes; an arithmetic shift brings them down with
// their sign.  The 16-byte load reaches past the four samples (by 8 or 4
// bytes).
static inline Int4
Spread(const unsigned char *p, uint32_t bytes)
{
	Bytes16 b;
	memcpy(&b, p, 16);
	if (bytes == 2)
		return (Int4)__builtin_shufflevector(b, b, 0, 0, 0, 1, 0, 0, 2, 3,
		                                     0, 0, 4, 5, 0, 0, 6, 7) >> 16;
	return (Int4)__builtin_shufflevector(b, b, 0, 0, 1, 2, 0, 3, 4, 5,
	                                     0, 6, 7, 8, 0, 9, 10, 11) >> 8;
}

// 16-bit and 24-bit samples in groups of eight, leaving at least the last
// one so that no load passes the end of the samples.
VECTOR_KERNEL size_t
TallyGroups(const unsigned char *p, size_t samples, uint32_t bytes,
            uint64_t *units, uint32_t top[kLanes])
{
	size_t groups = samples / 8;
	if (groups > 0 && (8 * groups - 4) * bytes + 16 > samples * bytes)
		groups--;
	Uint4 high[2] = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };
	uint64_t sum = 0;

	for (size_t g = 0; g < groups;) {
		size_t end = groups - g > kGroupsPerChunk ? g + kGroupsPerChunk : groups;
		Uint4 lane[2] = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };
		for (; g < end; g++, p += 8 * bytes)
			for (int h = 0; h < 2; h++) {
				Int4 v = Spread(p + 4 * bytes * h, bytes);
				Uint4 m = (Uint4)(v < 0 ? -v : v);
				lane[h] += m;
				high[h] = high[h] > m ? high[h] : m;
			}
		for (int k = 0; k < 4; k++)
			sum += (uint64_t)lane[0][k] + lane[1][k];
	}
	*units += sum;
	for (int k = 0; k < 4; k++) {
		top[k] = high[0][k];
		top[4 + k] = high[1][k];
	}
	return groups * 8;
}

// 8-bit samples in groups of eight; the lanes keep keys, which grow with
// the magnitude, and turn them into units at the end.
ALWAYS_INLINE size_t
TallyBytesOf(const unsigned char *p, size_t samples, Coding coding,
             uint64_t *units, uint32_t top[kLanes])
{
	size_t groups = samples / 8;
	uint32_t high[8] = { 0 };
	uint64_t sum = 0;

	for (size_t g = 0; g < groups;) {
		size_t end = groups - g > kByteGroupsPerChunk ? g + kByteGroupsPerChunk : groups;
		uint32_t lane[8] = { 0 };
		for (; g < end; g++, p += 8)
			for (int k = 0; k < 8; k++) {
				uint32_t key = Key8(p[k], coding);
				lane[k] += Units8(key, coding);
				high[k] = high[k] > key ? high[k] : key;
			}
		for (int k = 0; k < 8; k++)
			sum += lane[k];
	}
	*units += sum;
	for (int k = 0; k < 8; k++)
		top[k] = Units8(high[k], coding);
	return groups * 8;
}

VECTOR_KERNEL size_t
TallyBytes(const unsigned char *p, size_t samples, Coding coding,
           uint64_t *units, uint32_t top[kLanes])
{
	// One copy of the loop for each coding, with its decoding built in.
	if (coding == kUnsigned8)
		return TallyBytesOf(p, samples, kUnsigned8, units, top);
	if (coding == kMuLaw)
		return TallyBytesOf(p, samples, kMuLaw, units, top);
	return TallyBytesOf(p, samples, kALaw, units, top);
}

// 32-bit samples in groups of eight, added in 64-bit lanes: a block holds
// far fewer than the 2^33 magnitudes of up to 2^31 that would fill one.
VECTOR_KERNEL size_t
TallyWords(const unsigned char *p, size_t samples, uint64_t *units,
           uint32_t top[kLanes])
{
	size_t groups = samples / 8;
	uint64_t lane[8] = { 0 };
	uint32_t high[8] = { 0 };

	for (size_t g = 0; g < groups; g++, p += 32)
		for (int k = 0; k < 8; k++) {
			uint32_t m = Magnitude32((int32_t)Word32(p + 4 * k));
			lane[k] += m;
			high[k] = high[k] > m ? high[k] : m;
		}
	for (int k = 0; k < 8; k++) {
		*units += lane[k];
		top[k] = high[k];
	}
	return groups * 8;
}

size_t
TallyLanes(const unsigned char *p, size_t samples, Coding coding,
           uint64_t *units, uint32_t top[kLanes])
{

	switch (coding) {
	case kInt16:
		return TallyGroups(p, samples, 2, units, top);
	case kInt24:
		return TallyGroups(p, samples, 3, units, top);
	case kInt32:
		return TallyWords(p, samples, units, top);
	default:
		return TallyBytes(p, samples, coding, units, top);
	}
}
