// SPDX-License-Identifier: MIT
// Kernels: the copy compiled for AVX2 (the build gives this file -mavx2
// on x86-64); kernels.cpp calls them where the processor has it.
#include "simd/kernels.h"

#define QUORVIN_COPY avx2
#include "simd/kernel_bodies.h"

size_t
AddUnitsAvx2(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
             uint64_t *units, VectorPeaks *peaks)
{
	return avx2::SumUnits(p, samples, coding, channels, units, peaks);
}

size_t
AddFloatsAvx2(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
              double lane[kSumLanes], VectorPeaks *peaks)
{
	return avx2::SumFloats(p, samples, coding, channels, lane, peaks);
}
