// SPDX-License-Identifier: MIT
// Header probe: finds the format and data chunks of a wave file, by
// walking its chunk list and by their tags, and reads the attributes the
// run and the scan need.
#ifndef QUORVIN_WAVE_PROBE_H
#define QUORVIN_WAVE_PROBE_H

#include <cstdint>

#include "io/input.h"
#include "wave/wave.h"

enum ProbeResult { kProbed, kUnreadable, kNoFormatChunk, kNoDataChunk };

// Reads the attributes of the wave file in into *wave, reading a stream's
// head only as far as they need, and further where the chunk list goes
// on past it.  Where a read fails, or the file has no format or no data
// chunk, says which.
ProbeResult GetAttributes(Input *in, Wave *wave);

#endif
