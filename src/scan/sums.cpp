// SPDX-License-Identifier: MIT
// Sums: integer codings go through the vector kernels (with their plain
// reference for what the kernels leave) in units, exact as the
// straightforward sum of doubles is; the others are decoded to doubles and
// added in sample order, or in lanes where the scan can add the line again
// in order if the dots need it.
#include "scan/sums.h"

#include <cstring>

#include "wave/decode.h"
#include "simd/kernels.h"

static bool AddsDoubles(const Layout *layout);
static void AddUnitFrames(const Layout *layout, const unsigned char *p,
                          uint32_t frames, LineSums *sums, Peaks *peaks);
static void AddFloatFrames(const Layout *layout, const unsigned char *p,
                           uint32_t frames, LineSums *sums, Peaks *peaks);
static void AddDoubleFrames(const Layout *layout, const unsigned char *p,
                            uint32_t frames, LineSums *sums, Peaks *peaks);

void
AddFrames(const Layout *layout, const unsigned char *p, uint32_t frames, LineSums *sums,
          Peaks *peaks)
{
	if (!AddsDoubles(layout))
		AddUnitFrames(layout, p, frames, sums, peaks);
	else if (FactsOf(layout->coding).kernel == kKernelFloat)
		AddFloatFrames(layout, p, frames, sums, peaks);
	else
		AddDoubleFrames(layout, p, frames, sums, peaks);
}

void
PeaksOf(const Layout *layout, const Peaks *peaks, double top[kMaxChannels])
{
	VectorPeaksOf(&peaks->vectors, layout->coding, layout->channels, top);
	for (uint32_t c = 0; c < layout->channels; c++)
		CheckPeak(top[c], peaks->top[c]);
}

// Lanes are added pairwise, in a few independent steps.
double
LineSum(const Layout *layout, const LineSums *sums)
{
	double sum = (double)sums->units * FactsOf(layout->coding).unit + sums->sum;
	if (!AddsInLanes(layout))
		return sum;
	double lane[kSumLanes];
	memcpy(lane, sums->lane, sizeof lane);
	for (uint32_t width = kSumLanes / 2; width > 0; width /= 2)
		for (uint32_t j = 0; j < width; j++)
			lane[j] += lane[j + width];
	return sum + lane[0];
}

bool
AddsInLanes(const Layout *layout)
{
	return layout->anyOrder && AddsDoubles(layout);
}

// Lines longer than their coding's exact line, and every line of a coding
// that has no units, are added as doubles; the others in units.
static bool
AddsDoubles(const Layout *layout)
{
	const CodingFacts &facts = FactsOf(layout->coding);
	uint64_t samples = (uint64_t)layout->resolution * layout->channels;
	return facts.unit == 0 || samples > facts.exactSamples;
}

static void
AddUnitFrames(const Layout *layout, const unsigned char *p, uint32_t frames, LineSums *sums,
              Peaks *peaks)
{
	uint32_t channels = layout->channels;
	size_t samples = (size_t)frames * channels;
	if (AddUnitsInVectors(p, samples, layout->coding, channels, &sums->units,
	                      &peaks->vectors) == samples)
		return;
	AddUnitsReference(p, samples, layout->coding, channels, &sums->units, peaks->top);
}

static void
AddFloatFrames(const Layout *layout, const unsigned char *p, uint32_t frames,
               LineSums *sums, Peaks *peaks)
{
	size_t samples = (size_t)frames * layout->channels;
	if (AddsInLanes(layout) &&
	    AddFloatsInVectors(p, samples, layout->coding, layout->channels, sums->lane,
	                       &peaks->vectors) == samples)
		return;
	AddFloatsReference(p, samples, layout->coding, layout->channels, &sums->sum, peaks->top);
}

// One by one, into the line's sum in sample order, or its lanes.  A NaN
// magnitude adds NaN to the sum but never becomes a peak.
static void
AddDoubleFrames(const Layout *layout, const unsigned char *p, uint32_t frames, LineSums *sums,
                Peaks *peaks)
{
	uint32_t bytes = layout->bytesPerSample, channels = layout->channels;
	bool lanes = AddsInLanes(layout);
	double sum = sums->sum, *top = peaks->top;

	for (size_t k = 0, c = 0; k < (size_t)frames * channels;
	     k++, p += bytes, c = c + 1 == channels ? 0 : c + 1) {
		double m = Magnitude(p, layout->coding, bytes);
		if (lanes)
			sums->lane[k % kSumLanes] += m;
		else
			sum += m;
		CheckPeak(top[c], m);
	}
	sums->sum = sum;
}
