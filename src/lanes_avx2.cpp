// SPDX-License-Identifier: MIT
// Lanes: the same kernels compiled for AVX2 (the build gives this unit
// -mavx2 on x86-64); lanes.cpp calls them where the processor has it.
#include "lanes.h"

#include "kernels.h"

size_t
TallyLanesAvx2(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
               LanePeaks *high)
{
	return TallyIntegers(p, samples, coding, units, high);
}

size_t
TallyFloatLanesAvx2(const unsigned char *p, size_t samples, double lane[kSumLanes],
                    LanePeaks *high)
{
	return TallyF32(p, samples, lane, high);
}
