// SPDX-License-Identifier: MIT
// Kernel bodies: the vector kernels, written once in vectors and
// compiled once for each instruction set (kernels.cpp for the target's own,
// kernels_sse41.cpp and kernels_avx2.cpp on x86-64).  Each kernel takes whole
// vectors of samples, then one last vector that ends with the last sample
// and masks out the samples it shares with the one before; it takes
// nothing when the samples do not fill one vector.  No load reaches
// outside the samples.
//
// Vector element j always holds a sample whose index is j modulo the
// elements per vector, so with a channel count that divides that number
// it holds one channel throughout, channel j % channels: the largest
// magnitude of each element is kept, in VectorPeaks, for VectorPeaksOf.
//
// Every kernel must give the sums and peaks of its plain reference in
// kernels.cpp: AddUnitsReference for the integer codings, AddFloatsReference
// for floats.  The kernel test holds each copy to them.
#ifndef QUORVIN_KERNEL_BODIES_H
#define QUORVIN_KERNEL_BODIES_H

#include "accumulators.h"
#include "decode.h"
#include "kernel_bodies8.h"
#include "vectors.h"

// The peaks are loaded and stored as one vector of the widest kind.
static_assert(sizeof(VectorPeaks::bytes) >= kVectorBytes, "the peaks hold one vector");

// Each instruction set's copy is its own: nothing here is shared between
// the units that include it.
namespace {

// 16-bit magnitudes; must equal AddUnitsReference (Value16, Magnitude32).
// Added in 16-bit halves of 32-bit elements, folded every kHalvesChunk
// vectors.
QUORVIN_INLINE size_t
Sum16(const unsigned char *p, size_t samples, uint64_t *units, VectorPeaks *peaks)
{
	const size_t n = kVectorBytes / 2;
	if (samples < n)
		return 0;
	U16v largest = (U16v)LoadBytes(peaks->bytes);
	U64v sum = {};
	size_t vectors = samples / n;
	for (size_t v = 0; v < vectors;) {
		size_t end = ChunkEnd(v, vectors, kHalvesChunk);
		U32v all = {}, upper = {};
		for (; v < end; v++, p += kVectorBytes) {
			U16v m = Abs16(LoadLE16(p));
			largest = Max16(largest, m);
			AddHalves((U32v)m, &all, &upper);
		}
		sum += HalvesTotal(all, upper, 0);
	}
	size_t left = samples % n;
	if (left != 0) {
		U16v m = Abs16(LoadLE16(p - 2 * (n - left))) & From16((unsigned)(n - left));
		largest = Max16(largest, m);
		sum += Wide16(m);
	}
	*units += Total64(sum);
	StoreBytes(peaks->bytes, (U8v)largest);
	return samples;
}

// 24-bit magnitudes; must equal AddUnitsReference (Value24, Magnitude32).
// In groups of eight samples: a 32-bit element adds at most
// kSpread24Vectors magnitudes of at most 2^23 a group.
enum { kGroupChunk = 128 };
static_assert((uint64_t)kGroupChunk * kSpread24Vectors << 23 <= UINT32_MAX,
              "sums of 24-bit magnitudes fit");

QUORVIN_INLINE size_t
Sum24(const unsigned char *p, size_t samples, uint64_t *units, VectorPeaks *peaks)
{
	if (samples < 8)
		return 0;
	U32v largest = (U32v)LoadBytes(peaks->bytes);
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
				largest = Max32(largest, m);
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
			int first = 8 - left - h * (int)(sizeof largest / 4);
			U32v m = Abs32(v[h]) & From32(first > 0 ? (unsigned)first : 0);
			largest = Max32(largest, m);
			sum += Wide32(m);
		}
	}
	*units += Total64(sum);
	StoreBytes(peaks->bytes, (U8v)largest);
	return samples;
}

// 32-bit magnitudes; must equal AddUnitsReference (Value32, Magnitude32).
// Added in 16-bit halves, the largest ones worth 2^16.
QUORVIN_INLINE size_t
Sum32(const unsigned char *p, size_t samples, uint64_t *units, VectorPeaks *peaks)
{
	const size_t n = kVectorBytes / 4;
	if (samples < n)
		return 0;
	U32v largest = (U32v)LoadBytes(peaks->bytes);
	U64v sum = {};
	size_t vectors = samples / n;
	for (size_t v = 0; v < vectors;) {
		size_t end = ChunkEnd(v, vectors, kHalvesChunk);
		U32v all = {}, upper = {};
		for (; v < end; v++, p += kVectorBytes) {
			U32v m = Abs32((I32v)LoadLE32(p));
			largest = Max32(largest, m);
			AddHalves(m, &all, &upper);
		}
		sum += HalvesTotal(all, upper, 16);
	}
	size_t left = samples % n;
	if (left != 0) {
		U32v m = Abs32((I32v)LoadLE32(p - 4 * (n - left))) & From32((unsigned)(n - left));
		largest = Max32(largest, m);
		sum += Wide32(m);
	}
	*units += Total64(sum);
	StoreBytes(peaks->bytes, (U8v)largest);
	return samples;
}

// Float magnitudes; must equal AddFloatsReference (Float32Convert) but for
// the order of addition.  Float words with the sign bit set, w | 2^31,
// grow with the magnitude and spread to doubles with an exponent field of
// e + 256 for the float's e: 2^(e - 767) (1 + fraction / 2^23), a normal
// double for every e, zero and infinity included.  Float32Convert gives
// 2^(e - 120) (1 + fraction / 2^23): 2^647 times as much, an exact scaling
// done at the end.  Each 64-bit element takes one of its two words.  The
// low word is masked, not shifted up first: x86 has shifts on fewer
// ports than logic, and the float sums of 16-byte vectors were bound by
// them (a fifth faster so).
QUORVIN_INLINE F64v
LowWords(U32v w)
{
	return (F64v)(((U64v)w & 0xFFFFFFFF) << 29);
}

QUORVIN_INLINE F64v
HighWords(U32v w)
{
	return (F64v)(((U64v)w >> 3) & ~(U64v){} << 29);
}

QUORVIN_INLINE size_t
SumFloats(const unsigned char *p, size_t samples, double lane[kSumLanes], VectorPeaks *peaks)
{
	const size_t n = kVectorBytes / 4;
	if (samples < n)
		return 0;
	const U32v sign = (U32v){} + 0x80000000u;
	U32v largest = (U32v)LoadBytes(peaks->bytes);
	F64v sum[4] = {};
	size_t vectors = samples / n, v = 0;
	for (; v + 2 <= vectors; v += 2, p += 2 * kVectorBytes) {
		U32v w0 = LoadLE32(p) | sign, w1 = LoadLE32(p + kVectorBytes) | sign;
		largest = Max32(largest, Max32(w0, w1));
		sum[0] += LowWords(w0);
		sum[1] += HighWords(w0);
		sum[2] += LowWords(w1);
		sum[3] += HighWords(w1);
	}
	// One whole vector may be left, then part of one.
	size_t left = samples - v * n;
	if (left >= n) {
		U32v w = LoadLE32(p) | sign;
		largest = Max32(largest, w);
		sum[0] += LowWords(w);
		sum[1] += HighWords(w);
		p += kVectorBytes;
		left -= n;
	}
	if (left != 0) {
		U32v w = (LoadLE32(p - 4 * (n - left)) | sign) & From32((unsigned)(n - left));
		largest = Max32(largest, w);
		sum[2] += LowWords(w);
		sum[3] += HighWords(w);
	}
	static_assert(4 * sizeof sum[0] / 8 <= kSumLanes, "every double sum has its lane");
	for (unsigned j = 0; j < 4 * sizeof sum[0] / 8; j++)
		lane[j] += sum[j / (sizeof sum[0] / 8)][j % (sizeof sum[0] / 8)] * 0x1p647;
	StoreBytes(peaks->bytes, (U8v)largest);
	return samples;
}

// The kernel of each integer coding, as the table of coding facts names it.
QUORVIN_INLINE size_t
SumUnits(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
         VectorPeaks *peaks)
{
	switch (FactsOf(coding).kernel) {
	case kKernelU8:
		return SumUnsigned8(p, samples, units, peaks);
	case kKernelMuLaw:
		return Sum8(p, samples, kMuLaw, units, peaks);
	case kKernelALaw:
		return Sum8(p, samples, kALaw, units, peaks);
	case kKernel16:
		return Sum16(p, samples, units, peaks);
	case kKernel24:
		return Sum24(p, samples, units, peaks);
	case kKernel32:
		return Sum32(p, samples, units, peaks);
	case kKernelFloat:
	case kNoKernel:
		break;
	}
	return 0;
}

}  // namespace

#endif
