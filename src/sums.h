// Sums: the magnitudes of a line's samples added up, and the largest
// magnitude of each channel, for every coding.
#ifndef QUORVIN_SUMS_H
#define QUORVIN_SUMS_H

#include <cstdint>

#include "decode.h"

struct Layout {
	Coding coding;
	uint32_t bytesPerSample;
	uint32_t channels;
	uint32_t resolution;   // frames per line: long lines are added as doubles
};

// The magnitudes added so far in the current line.  Integer codings add
// whole units while that sum is exactly the double sum of their amplitude
// values; the others add doubles one by one in sample order.
struct Tally {
	uint64_t units;
	double sum;
};

// Adds the magnitudes of frames frames at p to t, and writes the largest
// magnitude of each channel among them, in amplitude units, to top.
void TallyFrames(const Layout *layout, const unsigned char *p,
                 uint32_t frames, Tally *t, double top[kMaxChannels]);

// The sum of t in amplitude units, as the sum of the magnitudes as doubles
// in sample order would give it.
double LineSum(const Layout *layout, const Tally *t);

#endif
