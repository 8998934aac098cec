// SPDX-License-Identifier: MIT
// Accumulators: what the vector kernels add into and keep from call to
// call, apart from a plain sum of units: the lanes of double sums of a
// float line, and the largest magnitude each vector element has seen.
#ifndef QUORVIN_ACCUMULATORS_H
#define QUORVIN_ACCUMULATORS_H

// Float magnitudes are added in this many independent double sums, the
// lanes.
enum { kSumLanes = 16 };

// The largest magnitude each vector element has seen, kept from call to
// call: the kernels raise it, VectorPeaksOf reads it.  Elements that have
// seen no sample read as no peak.  Zero it before the first call.  It
// holds one vector of the widest kind.
struct VectorPeaks {
	alignas(32) unsigned char bytes[32];
};

#endif
