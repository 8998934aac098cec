// Sums: integer codings go through the vector lanes (with a plain loop for
// what they leave), exact as the straightforward sum of doubles is; the
// others are decoded to doubles and added in sample order, or in four lanes
// where the scan can add the line again in order if the dots need it.
#include "sums.h"

#include "float32.h"
#include "lanes.h"

static bool AddsInOrder(const Layout *layout);
static void TallyUnits(const Layout *layout, const unsigned char *p,
                       uint32_t frames, Tally *t, double top[kMaxChannels]);
static void TallyFloats(const Layout *layout, const unsigned char *p,
                        uint32_t frames, Tally *t, double top[kMaxChannels]);
static void TallyInOrder(const Layout *layout, const unsigned char *p,
                         uint32_t frames, Tally *t, double top[kMaxChannels]);

void
TallyFrames(const Layout *layout, const unsigned char *p, uint32_t frames,
            Tally *t, double top[kMaxChannels])
{
	for (uint32_t c = 0; c < layout->channels; c++)
		top[c] = 0;
	if (!AddsInOrder(layout))
		TallyUnits(layout, p, frames, t, top);
	else if (layout->coding == kFloat32)
		TallyFloats(layout, p, frames, t, top);
	else
		TallyInOrder(layout, p, frames, t, top);
}

// Lanes that were not used hold 0, which leaves the sum as it is.
double
LineSum(const Layout *layout, const Tally *t)
{
	return (double)t->units / UnitsPerAmplitude(layout->coding) + t->sum +
	       ((t->lane[0] + t->lane[1]) + (t->lane[2] + t->lane[3]));
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
           Tally *t, double top[kMaxChannels])
{
	uint32_t channels = layout->channels, bytes = layout->bytesPerSample;
	uint32_t lane[kLanes], high[kMaxChannels] = { 0 };
	size_t samples = (size_t)frames * channels, done = 0;

	// Lane k holds channel k % channels when the channel count divides 8
	// (and is a power of two).
	if (8 % channels == 0) {
		done = TallyLanes(p, samples, layout->coding, &t->units, lane);
		for (uint32_t k = 0; k < kLanes; k++) {
			uint32_t c = k & (channels - 1);
			high[c] = high[c] > lane[k] ? high[c] : lane[k];
		}
	}
	// done is a multiple of the channel count, so it starts a frame.
	for (size_t k = done, c = 0; k < samples; k++, c = c + 1 == channels ? 0 : c + 1) {
		uint32_t m = UnitsOf(p + k * bytes, layout->coding);
		t->units += m;
		high[c] = high[c] > m ? high[c] : m;
	}
	for (uint32_t c = 0; c < channels; c++)
		top[c] = high[c] / UnitsPerAmplitude(layout->coding);
}

// The magnitude of a float sample, from its word with the sign bit cleared.
static inline double
FloatMagnitude(uint32_t word)
{
	return Float32Convert(word & 0xFF, word >> 8 & 0xFF, word >> 16 & 0xFF, word >> 24);
}

// A float sample's magnitude comes from its word with the sign bit cleared,
// and grows with that word, so the largest word marks the peak.  Sample k
// is of channel k % channels, and lane j holds the samples k with
// k % kSumLanes == j, which are of channel j % channels for one or two
// channels.
static void
TallyFloats(const Layout *layout, const unsigned char *p, uint32_t frames,
            Tally *t, double top[kMaxChannels])
{
	uint32_t channels = layout->channels, high[kSumLanes] = { 0, 0, 0, 0 };
	size_t samples = (size_t)frames * channels, k = 0;
	double sum = t->sum;

	if (AddsInLanes(layout))
		for (; k + kSumLanes <= samples; k += kSumLanes, p += 4 * kSumLanes)
			for (uint32_t j = 0; j < kSumLanes; j++) {
				uint32_t key = Word32(p + 4 * j) & 0x7FFFFFFF;
				high[j] = high[j] > key ? high[j] : key;
				t->lane[j] += FloatMagnitude(key);
			}
	// Lanes of the same channel are folded into its first.
	for (uint32_t j = channels; j < kSumLanes; j++)
		high[j & (channels - 1)] = high[j & (channels - 1)] > high[j] ? high[j & (channels - 1)] : high[j];
	for (; k < samples; k++, p += 4) {
		uint32_t key = Word32(p) & 0x7FFFFFFF, c = k & (channels - 1);
		high[c] = high[c] > key ? high[c] : key;
		sum += FloatMagnitude(key);
	}
	t->sum = sum;
	for (uint32_t c = 0; c < channels; c++)
		top[c] = FloatMagnitude(high[c]);
}

// A NaN magnitude adds NaN to the sum but never becomes a peak.
static void
TallyInOrder(const Layout *layout, const unsigned char *p, uint32_t frames,
             Tally *t, double top[kMaxChannels])
{
	uint32_t bytes = layout->bytesPerSample, channels = layout->channels;
	bool lanes = AddsInLanes(layout);
	double sum = t->sum;

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
