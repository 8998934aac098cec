// Lanes: vector kernels that add the magnitudes of many samples and keep
// the largest of each channel.
#ifndef QUORVIN_LANES_H
#define QUORVIN_LANES_H

#include <cstddef>
#include <cstdint>

#include "decode.h"

// Float magnitudes are added in this many independent double sums.
enum { kSumLanes = 16 };

// Adds the magnitudes, in units, of the samples at p (8-bit, G.711, 16-,
// 24- or 32-bit integers of coding; whole frames of channels channels, a
// power of two the coding allows) to *units, and raises top[c] to the
// largest magnitude of channel c among them.  Returns samples, or 0 when
// there are too few samples for the vectors; then it adds nothing.  The
// sums are exact.
size_t TallyLanes(const unsigned char *p, size_t samples, Coding coding,
                  uint32_t channels, uint64_t *units, uint32_t top[kMaxChannels]);

// The same for 32-bit float samples: adds the magnitudes Float32Convert
// gives to the sums in lane, and raises top[c] to the largest word of
// channel c with its sign bit cleared.  One or two channels.
size_t TallyFloatLanes(const unsigned char *p, size_t samples, uint32_t channels,
                       double lane[kSumLanes], uint32_t top[kMaxChannels]);

#endif
