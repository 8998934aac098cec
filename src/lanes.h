// Lanes: vector kernels that add the integer magnitudes of many samples and
// keep the largest in each of kLanes lanes.
#ifndef QUORVIN_LANES_H
#define QUORVIN_LANES_H

#include <cstddef>
#include <cstdint>

#include "decode.h"

enum { kLanes = 8 };

// Takes whole groups of eight samples from the front of the samples at p
// (8-bit, 16-bit, 24-bit or 32-bit integers of coding), adds their
// magnitudes in units to *units and writes to top[k] the largest magnitude
// among the samples whose index is k modulo 8 (so a lane holds one channel
// when the channel count divides 8).  Returns how many samples it took.
size_t TallyLanes(const unsigned char *p, size_t samples, Coding coding,
                  uint64_t *units, uint32_t top[kLanes]);

#endif
