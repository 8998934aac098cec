// SPDX-License-Identifier: MIT
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

// The magnitude, in amplitude units, that a peak element of coding stands
// for.  8-bit G.711 keys and float words are kept with their top bit set,
// so that 0 means that no sample reached the element.
static double
PeakMagnitude(uint32_t e, Coding coding)
{
	switch (coding) {
	case kFloat32:
		return e == 0 ? 0 : Float32Convert(e & 0xFF, e >> 8 & 0xFF, e >> 16 & 0xFF,
		                                   e >> 24 & 0x7F);
	case kMuLaw:
	case kALaw:
		return e == 0 ? 0 : Units8(e & 0x7F, coding) * UnitSize(coding);
	default:
		return e * UnitSize(coding);
	}
}

// Element j of the peaks, of size bytes, as the kernel stored it.
static uint32_t
PeakElement(const LanePeaks *high, unsigned j, unsigned size)
{
	uint16_t e16;
	uint32_t e32;
	if (size == 1)
		return high->bytes[j];
	if (size == 2) {
		memcpy(&e16, high->bytes + 2 * j, 2);
		return e16;
	}
	memcpy(&e32, high->bytes + 4 * j, 4);
	return e32;
}

// Element j holds channel j % channels, with either vector width; a
// portable kernel leaves the upper half 0.
void
LanePeaksOf(const LanePeaks *high, Coding coding, uint32_t channels,
            double top[kMaxChannels])
{
	unsigned size = coding == kInt16 ? 2 : coding == kInt24 || coding == kInt32 ||
	                coding == kFloat32 ? 4 : 1;
	for (uint32_t c = 0; c < channels; c++)
		top[c] = 0;
	for (unsigned j = 0; j < sizeof high->bytes / size; j++) {
		double m = PeakMagnitude(PeakElement(high, j, size), coding);
		top[j % channels] = m > top[j % channels] ? m : top[j % channels];
	}
}
