// SPDX-License-Identifier: MIT
// The decoding stage, between the bytes the input hands on and the sums: a
// file's blocks turned into frames of a coding the sums take.  A file keeps
// its frames in blocks of blockBytes bytes, each of blockFrames frames;
// where they are stored as the sums take them, a block is a frame, and
// passes through unchanged, without a copy.
#ifndef QUORVIN_CODECS_DECODER_H
#define QUORVIN_CODECS_DECODER_H

#include <cstddef>
#include <cstdint>

#include "wave/codings.h"
#include "wave/wave.h"

struct Decoder {
	uint32_t blockBytes;
	uint32_t blockFrames;
	uint32_t frameBytes;      // a frame as the sums take it
};

// The decoder of the blocks of wave, whose samples the sums take as coding.
void StartDecoder(const Wave *wave, Coding coding, Decoder *d);

// The frames of the blocks at p, bytes of them: sets *frames to their
// count and returns where they lie, valid until the next call.
const unsigned char *DecodeBlocks(Decoder *d, const unsigned char *p, size_t bytes,
                                  uint32_t *frames);

#endif
