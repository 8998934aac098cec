// Lanes: the kernels compiled for the target's own vector unit and, on
// x86-64, the choice of the AVX2 copy where the processor has it.
#include "lanes.h"

#include "kernels.h"

#ifdef QUORVIN_AVX2_COPY
#define HAVE_AVX2() __builtin_cpu_supports("avx2")
#endif

size_t
TallyLanes(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
           uint64_t *units, uint32_t top[kMaxChannels])
{
#ifdef QUORVIN_AVX2_COPY
	if (HAVE_AVX2())
		return TallyLanesAvx2(p, samples, coding, channels, units, top);
#endif
	return TallyIntegers(p, samples, coding, channels, units, top);
}

size_t
TallyFloatLanes(const unsigned char *p, size_t samples, uint32_t channels,
                double lane[kSumLanes], uint32_t top[kMaxChannels])
{
#ifdef QUORVIN_AVX2_COPY
	if (HAVE_AVX2())
		return TallyFloatLanesAvx2(p, samples, channels, lane, top);
#endif
	return TallyF32(p, samples, channels, lane, top);
}
