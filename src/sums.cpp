// SPDX-License-Identifier: MIT
// Sums: integer codings go through the vector lanes (with a plain loop for
// what they leave), exact as the straightforward sum of doubles is; the
// others are decoded to doubles and added in sample order, or in four lanes
// where the scan can add the line again in order if the dots need it.
#include "sums.h"

#include <cstring>

#include "float32.h"
#include "lanes.h"

static bool AddsInOrder(const Layout *layout);
static void TallyUnits(const Layout *layout, const unsigned char *p,
                       uint32_t frames, Tally *t, Peaks *peaks);
static void TallyFloats(const Layout *layout, const unsigned char *p,
                        uint32_t frames, Tally *t, Peaks *peaks);
static void TallyInOrder(const Layout *layout, const unsigned char *p,
                         uint32_t frames, Tally *t, Peaks *peaks);

void
TallyFrames(const Layout *layout, const unsigned char *p, uint32_t frames,
            Tally *t, Peaks *peaks)
{
	if (!AddsInOrder(layout))
		TallyUnits(layout, p, frames, t, peaks);
	else if (layout->coding == kFloat32)
		TallyFloats(layout, p, frames, t, peaks);
	else
		TallyInOrder(layout, p, frames, t, peaks);
}

void
PeaksOf(const Layout *layout, const Peaks *peaks, double top[kMaxChannels])
{
	LanePeaksOf(&peaks->lanes, layout->coding, layout->channels, top);
	for (uint32_t c = 0; c < layout->channels; c++)
		top[c] = peaks->top[c] > top[c] ? peaks->top[c] : top[c];
}

// Lanes are added pairwise, in a few independent steps.
double
LineSum(const Layout *layout, const Tally *t)
{
	double sum = (double)t->units * UnitSize(layout->coding) + t->sum;
	if (!AddsInLanes(layout))
		return sum;
	double lane[kSumLanes];
	memcpy(lane, t->lane, sizeof lane);
	for (uint32_t width = kSumLanes / 2; width > 0; width /= 2)
		for (uint32_t j = 0; j < width; j++)
			lane[j] += lane[j + width];
	return sum + lane[0];
}

bool
AddsInLanes(const Layout *layout)
{
	return layout->anyOrder && AddsInOrder(layout);
}

// An integer sum equals the double sum while it stays below 2^53 units: a
// line of up to 2^30 24-bit samples (under 2^23 units each) or 2^22 32-bit
// samples (up to 2^31 units).  8-bit, G.711 and 16-bit lines (at most
// 2^32 frames of 8 samples of at most 2^15 units) never pass it.
static bool
AddsInOrder(const Layout *layout)
{
	uint64_t samples = (uint64_t)layout->resolution * layout->channels;
	switch (layout->coding) {
	case kInt24:
		return samples > (1u << 30);
	case kInt32:
		return samples > (1u << 22);
	case kFloat32:
	case kFloat64:
	case kIntWide:
		return true;
	default:
		return false;
	}
}

static void
TallyUnits(const Layout *layout, const unsigned char *p, uint32_t frames,
           Tally *t, Peaks *peaks)
{
	uint32_t channels = layout->channels, bytes = layout->bytesPerSample;
	uint32_t high[kMaxChannels] = { 0 };
	size_t samples = (size_t)frames * channels;

	// The vectors keep channels apart when the channel count divides 8.
	if (8 % channels == 0 &&
	    TallyLanes(p, samples, layout->coding, &t->units, &peaks->lanes) == samples)
		return;
	for (size_t k = 0, c = 0; k < samples; k++, c = c + 1 == channels ? 0 : c + 1) {
		uint32_t m = UnitsOf(p + k * bytes, layout->coding);
		t->units += m;
		high[c] = high[c] > m ? high[c] : m;
	}
	for (uint32_t c = 0; c < channels; c++) {
		double m = high[c] * UnitSize(layout->coding);
		peaks->top[c] = m > peaks->top[c] ? m : peaks->top[c];
	}
}

// The magnitude of a float sample, from its word with the sign bit cleared.
static inline double
FloatMagnitude(uint32_t word)
{
	return Float32Convert(word & 0xFF, word >> 8 & 0xFF, word >> 16 & 0xFF, word >> 24);
}

// A float sample's magnitude comes from its word with the sign bit cleared,
// and grows with that word, so the largest word marks the peak.
static void
TallyFloats(const Layout *layout, const unsigned char *p, uint32_t frames,
            Tally *t, Peaks *peaks)
{
	uint32_t channels = layout->channels, high[kMaxChannels] = { 0 };
	size_t samples = (size_t)frames * channels;
	double sum = t->sum;

	if (AddsInLanes(layout) && TallyFloatLanes(p, samples, t->lane, &peaks->lanes) == samples)
		return;
	for (size_t k = 0; k < samples; k++) {
		uint32_t key = Word32(p + 4 * k) & 0x7FFFFFFF, c = k & (channels - 1);
		high[c] = high[c] > key ? high[c] : key;
		sum += FloatMagnitude(key);
	}
	t->sum = sum;
	for (uint32_t c = 0; c < channels; c++) {
		double m = FloatMagnitude(high[c]);
		peaks->top[c] = m > peaks->top[c] ? m : peaks->top[c];
	}
}

// A NaN magnitude adds NaN to the sum but never becomes a peak.
static void
TallyInOrder(const Layout *layout, const unsigned char *p, uint32_t frames,
             Tally *t, Peaks *peaks)
{
	uint32_t bytes = layout->bytesPerSample, channels = layout->channels;
	bool lanes = AddsInLanes(layout);
	double sum = t->sum, *top = peaks->top;

	for (size_t k = 0, c = 0; k < (size_t)frames * channels;
	     k++, p += bytes, c = c + 1 == channels ? 0 : c + 1) {
		double m = Magnitude(p, layout->coding, bytes);
		if (lanes)
			t->lane[k % kSumLanes] += m;
		else
			sum += m;
		top[c] = m > top[c] ? m : top[c];
	}
	t->sum = sum;
}
