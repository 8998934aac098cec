// SPDX-License-Identifier: MIT
// Lanes: the kernels compiled for AVX2 (the build gives this unit -mavx2
// on x86-64); lanes.cpp calls them where the processor has it.
#include "kernels.h"

size_t
AddUnitsAvx2(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
             LanePeaks *high)
{
	return SumUnits(p, samples, coding, units, high);
}

size_t
AddFloatsAvx2(const unsigned char *p, size_t samples, double lane[kSumLanes], LanePeaks *high)
{
	return SumFloats(p, samples, lane, high);
}
