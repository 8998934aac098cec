// SPDX-License-Identifier: MIT
// Accumulators: what the vector kernels add into and keep from call to
// call, apart from a plain sum of units: the lanes of double sums of a
// float line, and the largest magnitude each vector element has seen.
#ifndef QUORVIN_SIMD_ACCUMULATORS_H
#define QUORVIN_SIMD_ACCUMULATORS_H

#include "wave/codings.h"

// Float magnitudes are added in this many independent double sums, the
// lanes.
enum { kSumLanes = 16 };

// A kernel keeps the largest magnitudes in slots of at most
// kPeakSlotBytes, one for each step of a cycle of whole frames; a cycle
// has at most kMaxChannels steps (peak_cycle.h).
enum { kPeakSlotBytes = 32, kPeakSlots = kMaxChannels };

// The largest magnitude each element of a cycle has seen, kept from call
// to call: the kernels raise it, VectorPeaksOf reads it.  Element e holds
// channel e % channels, whatever the vectors' width.  Elements that have
// seen no sample read as no peak.  Zero it before the first call.
struct VectorPeaks {
	alignas(32) unsigned char bytes[kPeakSlots * kPeakSlotBytes];
};

namespace {

// Raises peak to the magnitude m where that is larger: a NaN never becomes
// a peak.
inline void
CheckPeak(double &peak, double m)
{
	if (m > peak)
		peak = m;
}

}  // namespace

#endif
