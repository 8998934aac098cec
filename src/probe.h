// SPDX-License-Identifier: MIT
// Header probe: finds the format and data chunks of a wave file by their
// tags and reads the wave attributes the run and the scan need.
#ifndef QUORVIN_PROBE_H
#define QUORVIN_PROBE_H

#include <cstdint>

#include "input.h"

// Little-endian assembly of header fields.  Assem2 reads an unsigned 16-bit
// value, Assem4 a signed 32-bit value; both come back widened to 64 bits.
int64_t Assem2(const unsigned char *p);
int64_t Assem4(const unsigned char *p);

// The attributes of a wave file, as GetAttributes reads them.
struct Wave {
	uint64_t sampleRate;
	uint32_t bytesPerSample;
	uint32_t channels;
	uint64_t dataOffset;      // the first byte of the first frame
	uint64_t frameCount;
	uint32_t frameBytes;      // bytesPerSample * channels
	uint32_t bitsPerSample;
	uint32_t formatCode;
};

// Reads the attributes from the head of in, reading a stream's head only
// as far as they need, and further where the chunk list goes on past it.
// A file with no format or data chunk is reported and ends the process
// (status 2).  The rate field is signed: a negative
// rate is taken as the huge unsigned number its sign extension makes.
// For a regular file the frame count never exceeds the whole frames
// between the data offset and the end of the file; a stream's end is
// found by the scan.  The format code is the extensible header's
// sub-format where it has one.
void GetAttributes(Input *in, uint64_t *sampleRate,
                   uint32_t *bytesPerSample, uint32_t *channels,
                   uint64_t *dataOffset, uint64_t *frameCount, uint32_t *frameBytes,
                   uint32_t *bitsPerSample, uint32_t *formatCode);

#endif
