// SPDX-License-Identifier: MIT
// Kernels: the copy compiled for SSSE3 with SSE4.1, as every x86-64
// processor of the last fifteen years has them (the build gives this file
// -mssse3 -msse4.1); kernels.cpp calls them where the processor has no AVX2.
#include "simd/kernels.h"

#define QUORVIN_COPY sse41
#include "simd/kernel_bodies.h"

size_t
AddUnitsSse41(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
              uint64_t *units, VectorPeaks *peaks)
{
	return sse41::SumUnits(p, samples, coding, channels, units, peaks);
}

size_t
AddFloatsSse41(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
               double lane[kSumLanes], VectorPeaks *peaks)
{
	return sse41::SumFloats(p, samples, coding, channels, lane, peaks);
}
