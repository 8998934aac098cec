// SPDX-License-Identifier: MIT
// Sums: the magnitudes of a line's samples added up, and the largest
// magnitude of each channel, for every coding.
#ifndef QUORVIN_SCAN_SUMS_H
#define QUORVIN_SCAN_SUMS_H

#include <cstdint>

#include "simd/accumulators.h"
#include "wave/codings.h"

struct Layout {
	Coding coding;
	uint32_t bytesPerSample;
	uint32_t channels;
	uint32_t resolution;   // frames per line: long lines are added as doubles
	bool anyOrder;         // doubles may be added in any order (see below)
};

// The magnitudes added so far in the current line.  Integer codings add
// whole units while that sum is exactly the double sum of their amplitude
// values; the others add doubles one by one in sample order, or, where the
// layout allows any order, mostly in independent lanes, which is faster.
// Such a sum is only close to the one in sample order: the scan checks
// that it gives the same dots, and adds the line again in order if not.
struct LineSums {
	uint64_t units;
	double sum;
	double lane[kSumLanes];
};

// The largest magnitude of each channel so far: in amplitude units in
// top, and in the vector kernels' elements.  Zero it to start.
struct Peaks {
	double top[kMaxChannels];
	VectorPeaks vectors;
};

// Whether lines of layout are added as doubles in lanes, in any order.
bool AddsInLanes(const Layout *layout);

// Adds the magnitudes of frames frames at p to sums, and raises peaks to
// the largest of each channel among them.
void AddFrames(const Layout *layout, const unsigned char *p, uint32_t frames,
               LineSums *sums, Peaks *peaks);

// The largest magnitude of each channel in peaks, in amplitude units.
void PeaksOf(const Layout *layout, const Peaks *peaks, double top[kMaxChannels]);

// The sum of sums in amplitude units: as the sum of the magnitudes as
// doubles in sample order gives it, unless the line was added in lanes.
double LineSum(const Layout *layout, const LineSums *sums);

#endif
