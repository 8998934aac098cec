// SPDX-License-Identifier: MIT
// Lanes: vector kernels that add the magnitudes of many samples and keep
// the largest of each channel.
#ifndef QUORVIN_LANES_H
#define QUORVIN_LANES_H

#include <cstddef>
#include <cstdint>

#include "decode.h"

// Float magnitudes are added in this many independent double sums.
enum { kSumLanes = 16 };

// The largest magnitude each vector element has seen, kept from call to
// call: the kernels raise it, LanePeaksOf reads it.  Elements that have
// seen no sample read as no peak.  Zero it before the first call.
struct LanePeaks {
	alignas(32) unsigned char bytes[32];
};

// Adds the magnitudes, in units, of the samples at p (8-bit, G.711, 16-,
// 24- or 32-bit integers of coding) to *units, and raises high.  Returns
// samples, or 0 when there are too few samples for the vectors; then it
// adds nothing.  The sums are exact.  The samples must be whole frames of
// a channel count that divides 8, the same on every call with one high.
size_t TallyLanes(const unsigned char *p, size_t samples, Coding coding,
                  uint64_t *units, LanePeaks *high);

// The same for 32-bit float samples: adds the magnitudes Float32Convert
// gives to the sums in lane.  One or two channels.
size_t TallyFloatLanes(const unsigned char *p, size_t samples, double lane[kSumLanes],
                       LanePeaks *high);

// The largest magnitude of each of channels channels in high, in amplitude
// units; 0 for a channel no sample reached.
void LanePeaksOf(const LanePeaks *high, Coding coding, uint32_t channels,
                 double top[kMaxChannels]);

#endif
