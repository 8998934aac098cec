// SPDX-License-Identifier: MIT
// Kernels: vector code that adds the magnitudes of many samples and keeps
// the largest of each channel, the plain references it must equal, and
// the choice of the copy this processor runs.
#ifndef QUORVIN_SIMD_KERNELS_H
#define QUORVIN_SIMD_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "simd/accumulators.h"
#include "wave/codings.h"

// Adds the magnitudes, in units, of the samples at p (of an integer coding
// with a kernel) to *units, and raises peaks.  The samples are whole
// frames of channels channels (1 to kMaxChannels), the same on every call
// with one peaks.  Returns samples, or 0 when there are too few samples
// for a step of the vectors, or the layout is one the kernels do not
// take; then it adds nothing.  The sums are exact.
size_t AddUnitsInVectors(const unsigned char *p, size_t samples, Coding coding,
                         uint32_t channels, uint64_t *units, VectorPeaks *peaks);

// The same for 32-bit float samples, of either byte order: adds the
// magnitudes Float32Convert gives to the lanes.
size_t AddFloatsInVectors(const unsigned char *p, size_t samples, Coding coding,
                          uint32_t channels, double lane[kSumLanes], VectorPeaks *peaks);

// The largest magnitude of each of channels channels in peaks, in
// amplitude units; 0 for a channel no sample reached.
void VectorPeaksOf(const VectorPeaks *peaks, Coding coding, uint32_t channels,
                   double top[kMaxChannels]);

// The plain references: one sample at a time, they add what the kernels
// add (the units of an integer coding to *units; float magnitudes in sample
// order to *sum) and raise top[c] to the largest magnitude of channel c, in
// amplitude units.  Any channel count up to kMaxChannels.
void AddUnitsReference(const unsigned char *p, size_t samples, Coding coding,
                       uint32_t channels, uint64_t *units, double top[kMaxChannels]);
void AddFloatsReference(const unsigned char *p, size_t samples, Coding coding,
                        uint32_t channels, double *sum, double top[kMaxChannels]);

// The copies of the kernels, by instruction set: the target's own, and on
// x86-64 the copies for SSSE3 with SSE4.1 and for AVX2, where the build
// has them.  The ones above call the best the processor can run.
size_t AddUnitsBaseline(const unsigned char *p, size_t samples, Coding coding,
                        uint32_t channels, uint64_t *units, VectorPeaks *peaks);
size_t AddFloatsBaseline(const unsigned char *p, size_t samples, Coding coding,
                         uint32_t channels, double lane[kSumLanes], VectorPeaks *peaks);
#ifdef QUORVIN_SSE41_COPY
size_t AddUnitsSse41(const unsigned char *p, size_t samples, Coding coding,
                     uint32_t channels, uint64_t *units, VectorPeaks *peaks);
size_t AddFloatsSse41(const unsigned char *p, size_t samples, Coding coding,
                      uint32_t channels, double lane[kSumLanes], VectorPeaks *peaks);
#endif
#ifdef QUORVIN_AVX2_COPY
size_t AddUnitsAvx2(const unsigned char *p, size_t samples, Coding coding,
                    uint32_t channels, uint64_t *units, VectorPeaks *peaks);
size_t AddFloatsAvx2(const unsigned char *p, size_t samples, Coding coding,
                     uint32_t channels, double lane[kSumLanes], VectorPeaks *peaks);
#endif

#endif
