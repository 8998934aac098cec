// SPDX-License-Identifier: MIT
// Kernels: the copy compiled for the target's own vector instructions, the
// choice of a copy for wider ones on x86-64, the plain references every
// copy must equal, and the peaks the kernels keep.
#include "simd/kernels.h"

#include <cstring>

#include "wave/float32.h"

#define QUORVIN_COPY baseline
#include "simd/kernel_bodies.h"

size_t
AddUnitsBaseline(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
                 uint64_t *units, VectorPeaks *peaks)
{
	return baseline::SumUnits(p, samples, coding, channels, units, peaks);
}

size_t
AddFloatsBaseline(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
                  double lane[kSumLanes], VectorPeaks *peaks)
{
	return baseline::SumFloats(p, samples, coding, channels, lane, peaks);
}

enum Copy { kBaseline, kSse41, kAvx2 };

// The copy for the best instruction set the processor has: AVX2, else
// SSSE3 with SSE4.1, else the target's own.
static Copy
ChosenCopy(void)
{
#ifdef QUORVIN_AVX2_COPY
	if (__builtin_cpu_supports("avx2"))
		return kAvx2;
#endif
#ifdef QUORVIN_SSE41_COPY
	if (__builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1"))
		return kSse41;
#endif
	return kBaseline;
}

size_t
AddUnitsInVectors(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
                  uint64_t *units, VectorPeaks *peaks)
{
	switch (ChosenCopy()) {
#ifdef QUORVIN_AVX2_COPY
	case kAvx2:
		return AddUnitsAvx2(p, samples, coding, channels, units, peaks);
#endif
#ifdef QUORVIN_SSE41_COPY
	case kSse41:
		return AddUnitsSse41(p, samples, coding, channels, units, peaks);
#endif
	default:
		return AddUnitsBaseline(p, samples, coding, channels, units, peaks);
	}
}

size_t
AddFloatsInVectors(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
                   double lane[kSumLanes], VectorPeaks *peaks)
{
	switch (ChosenCopy()) {
#ifdef QUORVIN_AVX2_COPY
	case kAvx2:
		return AddFloatsAvx2(p, samples, coding, channels, lane, peaks);
#endif
#ifdef QUORVIN_SSE41_COPY
	case kSse41:
		return AddFloatsSse41(p, samples, coding, channels, lane, peaks);
#endif
	default:
		return AddFloatsBaseline(p, samples, coding, channels, lane, peaks);
	}
}

// Channel by channel: integer units add up exactly in any order.  The
// largest magnitude of each channel is kept in units, converted once.
void
AddUnitsReference(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
                  uint64_t *units, double top[kMaxChannels])
{
	const CodingFacts &facts = FactsOf(coding);
	uint64_t total = 0;
	for (uint32_t c = 0; c < channels; c++) {
		uint32_t largest = 0;
		for (size_t k = c; k < samples; k += channels) {
			uint32_t m = UnitsOf(p + k * facts.bytes, coding);
			total += m;
			largest = largest > m ? largest : m;
		}
		CheckPeak(top[c], largest * facts.unit);
	}
	*units += total;
}

// The magnitude of a float sample, from its word with the sign bit cleared.
static inline double
FloatMagnitude(uint32_t word)
{
	return Float32Convert(word & 0xFF, word >> 8 & 0xFF, word >> 16 & 0xFF, word >> 24);
}

// A float sample's magnitude grows with its word without the sign bit, so
// the largest such word marks the peak.
void
AddFloatsReference(const unsigned char *p, size_t samples, Coding coding, uint32_t channels,
                   double *sum, double top[kMaxChannels])
{
	uint32_t largest[kMaxChannels];
	double total = *sum;
	for (uint32_t c = 0; c < channels; c++)
		largest[c] = 0;
	for (size_t k = 0, c = 0; k < samples; k++, c = c + 1 == channels ? 0 : c + 1) {
		uint32_t key = FloatWord(p + 4 * k, coding) & 0x7FFFFFFF;
		largest[c] = largest[c] > key ? largest[c] : key;
		total += FloatMagnitude(key);
	}
	*sum = total;
	for (uint32_t c = 0; c < channels; c++)
		CheckPeak(top[c], FloatMagnitude(largest[c]));
}

// The magnitude, in amplitude units, that a peak element of coding stands
// for.
static double
PeakMagnitude(uint32_t e, Coding coding)
{
	switch (FactsOf(coding).peak) {
	case kPeakUnits:
		return e * FactsOf(coding).unit;
	case kPeakMarkedKey:
		return e == 0 ? 0 : Units8(e & 0x7F, coding) * FactsOf(coding).unit;
	case kPeakMarkedWord:
		return e == 0 ? 0 : FloatMagnitude(e & 0x7FFFFFFF);
	case kPeakNone:
		break;
	}
	return 0;
}

// Element e of the peaks, of size bytes, as the kernel stored it.
static uint32_t
PeakElement(const VectorPeaks *peaks, size_t e, unsigned size)
{
	uint16_t e16;
	uint32_t e32;
	if (size == 1)
		return peaks->bytes[e];
	if (size == 2) {
		memcpy(&e16, peaks->bytes + 2 * e, 2);
		return e16;
	}
	memcpy(&e32, peaks->bytes + 4 * e, 4);
	return e32;
}

// Element e holds channel e % channels, with either vector width; the
// elements past a cycle's slots stay 0, which is no peak.
void
VectorPeaksOf(const VectorPeaks *peaks, Coding coding, uint32_t channels,
              double top[kMaxChannels])
{
	unsigned size = FactsOf(coding).peakBytes;
	for (uint32_t c = 0; c < channels; c++)
		top[c] = 0;
	for (size_t e = 0, c = 0; size != 0 && e < sizeof peaks->bytes / size;
	     e++, c = c + 1 == channels ? 0 : c + 1) {
		CheckPeak(top[c], PeakMagnitude(PeakElement(peaks, e, size), coding));
	}
}
