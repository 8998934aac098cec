// Lanes: the kernels compiled for the target's own vector unit, the choice
// of their AVX2 copy on x86-64 where the processor has it, and the peaks
// the kernels keep.
#include "lanes.h"

#include <cstring>

#include "float32.h"
#include "kernels.h"

#ifdef QUORVIN_AVX2_COPY
#define HAVE_AVX2() __builtin_cpu_supports("avx2")
#endif

size_t
TallyLanes(const unsigned char *p, size_t samples, Coding coding, uint64_t *units,
           LanePeaks *high)
{
#ifdef QUORVIN_AVX2_COPY
	if (HAVE_AVX2())
		return TallyLanesAvx2(p, samples, coding, units, high);
#endif
	return TallyIntegers(p, samples, coding, units, high);
}

size_t
TallyFloatLanes(const unsigned char *p, size_t samples, double lane[kSumLanes],
                LanePeaks *high)
{
#ifdef QUORVIN_AVX2_COPY
	if (HAVE_AVX2())
		return TallyFloatLanesAvx2(p, samples, lane, high);
#endif
	return TallyF32(p, samples, lane, high);
}

// Element j of the peaks holds channel j % channels, with either vector
// width; a portable kernel leaves the upper half 0.  8-bit keys and float
// words are kept with their top bit set, so that 0 means no sample.
void
LanePeaksOf(const LanePeaks *high, Coding coding, uint32_t channels,
            double top[kMaxChannels])
{
	unsigned size = coding == kInt16 ? 2 : coding == kInt24 || coding == kInt32 ||
	                coding == kFloat32 ? 4 : 1;
	for (uint32_t c = 0; c < channels; c++)
		top[c] = 0;
	for (unsigned j = 0; j < sizeof high->bytes / size; j++) {
		uint16_t e16 = 0;
		uint32_t e = high->bytes[j];
		double m = 0;
		if (size == 2)
			e = (memcpy(&e16, high->bytes + 2 * j, 2), e16);
		else if (size == 4)
			memcpy(&e, high->bytes + 4 * j, 4);
		if (coding == kFloat32 && e != 0)
			m = Float32Convert(e & 0xFF, e >> 8 & 0xFF, e >> 16 & 0xFF, e >> 24 & 0x7F);
		else if ((coding == kMuLaw || coding == kALaw) && e != 0)
			m = Units8(e & 0x7F, coding) * UnitSize(coding);
		else if (coding != kFloat32 && coding != kMuLaw && coding != kALaw)
			m = e * UnitSize(coding);
		top[j % channels] = m > top[j % channels] ? m : top[j % channels];
	}
}
