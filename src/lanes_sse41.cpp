// SPDX-License-Identifier: MIT
// Lanes: the kernels compiled for SSSE3 with SSE4.1, as every x86-64
// processor of the last fifteen years has them (the build gives this unit
// -mssse3 -msse4.1); lanes.cpp calls them where the processor has no AVX2.
#include "kernels.h"

size_t
AddUnitsSse41(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
              LanePeaks *high)
{
	return SumUnits(p, samples, coding, units, high);
}

size_t
AddFloatsSse41(const unsigned char *p, size_t samples, double lane[kSumLanes], LanePeaks *high)
{
	return SumFloats(p, samples, lane, high);
}
