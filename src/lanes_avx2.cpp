// Lanes: the same kernels compiled for AVX2 (the build gives this unit
// -mavx2 on x86-64); lanes.cpp calls them where the processor has it.
#include "lanes.h"

#include "kernels.h"

size_t
TallyLanesAvx2(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
               uint64_t *units, uint32_t top[kMaxChannels])
{
	return TallyIntegers(p, samples, coding, channels, units, top);
}

size_t
TallyFloatLanesAvx2(const unsigned char *p, size_t samples, uint32_t channels,
                    double lane[kSumLanes], uint32_t top[kMaxChannels])
{
	return TallyF32(p, samples, channels, lane, top);
}
