// SPDX-License-Identifier: MIT
// Lanes: vector kernels that add the magnitudes of many samples and keep
// the largest of each channel, the plain references they must equal, and
// the choice of the copy this processor runs.
#ifndef QUORVIN_LANES_H
#define QUORVIN_LANES_H

#include <cstddef>
#include <cstdint>

#include "codings.h"

// Float magnitudes are added in this many independent double sums.
enum { kSumLanes = 16 };

// The largest magnitude each vector element has seen, kept from call to
// call: the kernels raise it, LanePeaksOf reads it.  Elements that have
// seen no sample read as no peak.  Zero it before the first call.
struct LanePeaks {
	alignas(32) unsigned char bytes[32];
};

// Adds the magnitudes, in units, of the samples at p (of an integer coding
// with a kernel) to *units, and raises high.  Returns samples, or 0 when
// there are too few samples for the vectors; then it adds nothing.  The
// sums are exact.  The samples must be whole frames of a channel count
// that divides 8, the same on every call with one high.
size_t AddUnitsInLanes(const unsigned char *p, size_t samples, Coding coding,
                       uint64_t *units, LanePeaks *high);

// The same for 32-bit float samples: adds the magnitudes Float32Convert
// gives to the sums in lane.  One or two channels.
size_t AddFloatsInLanes(const unsigned char *p, size_t samples, double lane[kSumLanes],
                        LanePeaks *high);

// The largest magnitude of each of channels channels in high, in amplitude
// units; 0 for a channel no sample reached.
void LanePeaksOf(const LanePeaks *high, Coding coding, uint32_t channels,
                 double top[kMaxChannels]);

// The plain references: one sample at a time, they add what the kernels
// add (the units of an integer coding to *units; float magnitudes in sample
// order to *sum) and raise top[c] to the largest magnitude of channel c, in
// amplitude units.  Any channel count.
void AddUnitsReference(const unsigned char *p, size_t samples, Coding coding,
                       uint32_t channels, uint64_t *units, double top[kMaxChannels]);
void AddFloatsReference(const unsigned char *p, size_t samples, uint32_t channels,
                        double *sum, double top[kMaxChannels]);

// The copies of the kernels, by instruction set: the target's own, and on
// x86-64 the copies for SSSE3 with SSE4.1 and for AVX2, where the build
// has them.  The ones above call the best the processor can run.
size_t AddUnitsBaseline(const unsigned char *p, size_t samples, Coding coding,
                        uint64_t *units, LanePeaks *high);
size_t AddFloatsBaseline(const unsigned char *p, size_t samples, double lane[kSumLanes],
                         LanePeaks *high);
#ifdef QUORVIN_SSE41_COPY
size_t AddUnitsSse41(const unsigned char *p, size_t samples, Coding coding,
                     uint64_t *units, LanePeaks *high);
size_t AddFloatsSse41(const unsigned char *p, size_t samples, double lane[kSumLanes],
                      LanePeaks *high);
#endif
#ifdef QUORVIN_AVX2_COPY
size_t AddUnitsAvx2(const unsigned char *p, size_t samples, Coding coding,
                    uint64_t *units, LanePeaks *high);
size_t AddFloatsAvx2(const unsigned char *p, size_t samples, double lane[kSumLanes],
                     LanePeaks *high);
#endif

#endif
