// SPDX-License-Identifier: MIT
// Kernel bodies: the vector kernels, written once in vectors and
// compiled once for each instruction set (kernels.cpp for the target's own,
// kernels_sse41.cpp and kernels_avx2.cpp on x86-64).  Each kernel takes whole
// steps of samples, then one last step that ends with the last sample
// and masks out the samples it shares with the one before; it takes
// nothing when the samples do not fill one step.  No load reaches
// outside the samples.  The largest magnitude of each channel is kept
// in a peak cycle (peak_cycle.h), for VectorPeaksOf.
//
// Every kernel must give the sums and peaks of its plain reference in
// kernels.cpp: AddUnitsReference for the integer codings, AddFloatsReference
// for floats.  The kernel test holds each copy to them.
#ifndef QUORVIN_SIMD_KERNEL_BODIES_H
#define QUORVIN_SIMD_KERNEL_BODIES_H

#include "simd/accumulators.h"
#include "wave/decode.h"
#include "simd/kernel_bodies8.h"
#include "simd/peak_cycle.h"
#include "simd/vectors.h"

// Each instruction set's copy is its own: everything here lies in the
// namespace of the copy that includes it (QUORVIN_COPY), so nothing can be
// shared between copies.
namespace QUORVIN_COPY {

// 16-bit magnitudes; must equal AddUnitsReference (Value16, Magnitude32).
// Added in 16-bit halves of 32-bit elements, folded every kHalvesFold
// vectors.
QUORVIN_INLINE void
Sum16(const unsigned char *p, size_t samples, bool big, uint64_t *units, PeakCycle *cycle,
      bool cycling)
{
	const size_t n = kVectorBytes / 2;
	U64v sum = {};
	size_t vectors = samples / n, slot = 0;
	for (size_t v = 0; v < vectors;) {
		size_t end = FoldEnd(v, vectors, kHalvesFold);
		U32v all = {}, upper = {};
		for (; v < end; v++, p += kVectorBytes) {
			U16v m = Abs16(Load16(p, big));
			Raise(cycle, slot, 0, (U8v)m, 2, cycling);
			slot = NextSlot(cycle, slot, cycling);
			AddHalves((U32v)m, &all, &upper);
		}
		sum += HalvesTotal(all, upper, 0);
	}
	size_t left = samples % n;
	if (left != 0) {
		U16v m = Abs16(Load16(p - 2 * (n - left), big)) & From16((unsigned)(n - left));
		Raise(cycle, LastSlot(cycle), 0, (U8v)m, 2, cycling);
		sum += Wide16(m);
	}
	*units += Total64(sum);
}

// 24-bit magnitudes; must equal AddUnitsReference (Value24, Magnitude32).
// In steps of eight samples: a 32-bit element adds at most
// kSpread24Vectors magnitudes of at most 2^23 a step.
enum { kGroupFold = 128 };
static_assert((uint64_t)kGroupFold * kSpread24Vectors << 23 <= UINT32_MAX,
              "sums of 24-bit magnitudes fit");
static_assert(kSpread24Vectors * kVectorBytes == kPeakSlotBytes, "a step's peaks fill a slot");

QUORVIN_INLINE void
Sum24(const unsigned char *p, size_t samples, bool big, uint64_t *units, PeakCycle *cycle,
      bool cycling)
{
	U64v sum = {};
	size_t groups = samples / 8, slot = 0;
	for (size_t g = 0; g < groups;) {
		size_t end = FoldEnd(g, groups, kGroupFold);
		U32v all = {};
		for (; g < end; g++, p += 24) {
			I32v v[kSpread24Vectors];
			Spread24(p, big, v);
			for (unsigned h = 0; h < kSpread24Vectors; h++) {
				U32v m = Abs32(v[h]);
				Raise(cycle, slot, h, (U8v)m, 4, cycling);
				all += m;
			}
			slot = NextSlot(cycle, slot, cycling);
		}
		sum += Wide32(all);
	}
	int left = (int)(samples % 8);
	if (left != 0) {
		I32v v[kSpread24Vectors];
		Spread24(p - 3 * (8 - left), big, v);
		for (unsigned h = 0; h < kSpread24Vectors; h++) {
			int first = 8 - left - (int)(h * kVectorBytes / 4);
			U32v m = Abs32(v[h]) & From32(first > 0 ? (unsigned)first : 0);
			Raise(cycle, LastSlot(cycle), h, (U8v)m, 4, cycling);
			sum += Wide32(m);
		}
	}
	*units += Total64(sum);
}

// 32-bit magnitudes; must equal AddUnitsReference (Value32, Magnitude32).
// Added in 16-bit halves, the largest ones worth 2^16.
QUORVIN_INLINE void
Sum32(const unsigned char *p, size_t samples, bool big, uint64_t *units, PeakCycle *cycle,
      bool cycling)
{
	const size_t n = kVectorBytes / 4;
	U64v sum = {};
	size_t vectors = samples / n, slot = 0;
	for (size_t v = 0; v < vectors;) {
		size_t end = FoldEnd(v, vectors, kHalvesFold);
		U32v all = {}, upper = {};
		for (; v < end; v++, p += kVectorBytes) {
			U32v m = Abs32((I32v)Load32(p, big));
			Raise(cycle, slot, 0, (U8v)m, 4, cycling);
			slot = NextSlot(cycle, slot, cycling);
			AddHalves(m, &all, &upper);
		}
		sum += HalvesTotal(all, upper, 16);
	}
	size_t left = samples % n;
	if (left != 0) {
		U32v m = Abs32((I32v)Load32(p - 4 * (n - left), big)) & From32((unsigned)(n - left));
		Raise(cycle, LastSlot(cycle), 0, (U8v)m, 4, cycling);
		sum += Wide32(m);
	}
	*units += Total64(sum);
}

// Float magnitudes; must equal AddFloatsReference (Float32Convert) but for
// the order of addition.  Float words with the sign bit set, w | 2^31,
// grow with the magnitude and spread to doubles with an exponent field of
// e + 256 for the float's e: 2^(e - 767) (1 + fraction / 2^23), a normal
// double for every e, zero and infinity included.  Float32Convert gives
// 2^(e - 120) (1 + fraction / 2^23): 2^647 times as much, an exact scaling
// done at the end.  Each 64-bit element takes one of its two words.  x86
// has shifts on fewer ports than logic and multiplies, and the float sums
// were bound by them: the high word is shifted once and masked, not
// shifted twice (a fifth faster so), and the low word goes up by
// LowWordUp's multiply (a tenth faster).
QUORVIN_INLINE F64v
LowWords(U32v w)
{
	return (F64v)LowWordUp(w, 29);
}

QUORVIN_INLINE F64v
HighWords(U32v w)
{
	return (F64v)(((U64v)w >> 3) & ~(U64v){} << 29);
}

// The words, marked by the sign bit, are their own peak elements.
QUORVIN_INLINE void
SumFloatSteps(const unsigned char *p, size_t samples, bool big, double lane[kSumLanes],
              PeakCycle *cycle, bool cycling)
{
	const size_t n = kVectorBytes / 4;
	const U32v sign = (U32v){} + 0x80000000u;
	F64v sum[4] = {};
	size_t vectors = samples / n, v = 0, slot = 0;
	for (; v + 2 <= vectors; v += 2, p += 2 * kVectorBytes) {
		U32v w0 = Load32(p, big) | sign, w1 = Load32(p + kVectorBytes, big) | sign;
		Raise(cycle, slot, 0, (U8v)w0, 4, cycling);
		slot = NextSlot(cycle, slot, cycling);
		Raise(cycle, slot, 0, (U8v)w1, 4, cycling);
		slot = NextSlot(cycle, slot, cycling);
		sum[0] += LowWords(w0);
		sum[1] += HighWords(w0);
		sum[2] += LowWords(w1);
		sum[3] += HighWords(w1);
	}
	// One whole vector may be left, then part of one.
	size_t left = samples - v * n;
	if (left >= n) {
		U32v w = Load32(p, big) | sign;
		Raise(cycle, slot, 0, (U8v)w, 4, cycling);
		slot = NextSlot(cycle, slot, cycling);
		sum[0] += LowWords(w);
		sum[1] += HighWords(w);
		p += kVectorBytes;
		left -= n;
	}
	if (left != 0) {
		U32v w = (Load32(p - 4 * (n - left), big) | sign) & From32((unsigned)(n - left));
		Raise(cycle, LastSlot(cycle), 0, (U8v)w, 4, cycling);
		sum[2] += LowWords(w);
		sum[3] += HighWords(w);
	}
	static_assert(4 * sizeof sum[0] / 8 <= kSumLanes, "every double sum has its lane");
	for (unsigned j = 0; j < 4 * sizeof sum[0] / 8; j++)
		lane[j] += sum[j / (sizeof sum[0] / 8)][j % (sizeof sum[0] / 8)] * 0x1p647;
}

// Each byte order and either kind of cycle has its own compiled loop.
QUORVIN_INLINE size_t
SumFloats(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
          double lane[kSumLanes], VectorPeaks *peaks)
{
	PeakCycle cycle;
	bool big = FactsOf(coding).bigEndian;
	if (!StartCycle(peaks, channels, samples, kVectorBytes / 4, 4, &cycle))
		return 0;
	if (Cycling(&cycle) && big)
		SumFloatSteps(p, samples, true, lane, &cycle, true);
	else if (Cycling(&cycle))
		SumFloatSteps(p, samples, false, lane, &cycle, true);
	else if (big)
		SumFloatSteps(p, samples, true, lane, &cycle, false);
	else
		SumFloatSteps(p, samples, false, lane, &cycle, false);
	EndCycle(&cycle);
	return samples;
}

// The kernel of each integer coding, as the table of coding facts names it.
QUORVIN_INLINE void
SumUnitSteps(const unsigned char *p, size_t samples, Kernel kernel, bool big, uint64_t *units,
             PeakCycle *cycle, bool cycling)
{
	switch (kernel) {
	case kKernelU8:
		SumUnsigned8(p, samples, units, cycle, cycling);
		break;
	case kKernelMuLaw:
		Sum8(p, samples, kMuLaw, units, cycle, cycling);
		break;
	case kKernelALaw:
		Sum8(p, samples, kALaw, units, cycle, cycling);
		break;
	case kKernel16:
		Sum16(p, samples, big, units, cycle, cycling);
		break;
	case kKernel24:
		Sum24(p, samples, big, units, cycle, cycling);
		break;
	case kKernel32:
		Sum32(p, samples, big, units, cycle, cycling);
		break;
	case kKernelFloat:
	case kNoKernel:
		break;
	}
}

// A step is a vector, or for 24-bit samples a group of eight.
QUORVIN_INLINE size_t
SumUnits(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
         uint64_t *units, VectorPeaks *peaks)
{
	const CodingFacts &facts = FactsOf(coding);
	PeakCycle cycle;
	if (facts.kernel == kNoKernel || facts.kernel == kKernelFloat)
		return 0;
	size_t step = facts.kernel == kKernel24 ? 8 : kVectorBytes / facts.peakBytes;
	if (!StartCycle(peaks, channels, samples, step, facts.peakBytes, &cycle))
		return 0;
	if (Cycling(&cycle) && facts.bigEndian)
		SumUnitSteps(p, samples, facts.kernel, true, units, &cycle, true);
	else if (Cycling(&cycle))
		SumUnitSteps(p, samples, facts.kernel, false, units, &cycle, true);
	else if (facts.bigEndian)
		SumUnitSteps(p, samples, facts.kernel, true, units, &cycle, false);
	else
		SumUnitSteps(p, samples, facts.kernel, false, units, &cycle, false);
	EndCycle(&cycle);
	return samples;
}

}  // namespace QUORVIN_COPY

#endif
