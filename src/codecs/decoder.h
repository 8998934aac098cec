// SPDX-License-Identifier: MIT
// The decoding stage, between the bytes the input hands on and the sums: a
// file's blocks turned into frames of the coding the sums take, 16-bit
// samples for the compressed codings.  Frames stored as the sums take
// them (big-endian ones too: the kernels load them turned round) pass
// through unchanged, without a copy: mapped frames still go straight to
// the sums.
#ifndef QUORVIN_CODECS_DECODER_H
#define QUORVIN_CODECS_DECODER_H

#include <cstddef>
#include <cstdint>

#include "codecs/gsm610.h"
#include "wave/storage.h"
#include "wave/wave.h"

struct Decoder {
	Storage storage;
	uint32_t channels;
	uint32_t frameBytes;      // a frame's, as the sums take it
	uint32_t coefficientCount;
	int16_t coefficients[kMaxCoefficients][2];
	GsmState gsm;
	bool avx2;                // whether to decode with the AVX2 copy
};

// The decoder of the blocks of wave, stored as storage says.
void StartDecoder(const Wave *wave, const Storage *storage, Decoder *d);

// Whether the frames pass through as stored: then a line's frames can be
// read again from the input and added again in order.
bool PassesThrough(const Decoder *d);

// Decodes the blocks at p, bytes of them: whole blocks, as many as the
// decoder's room takes (one at least), and where bytes ends within the
// first, that block as far as its bytes go.  Sets *used to the bytes
// taken and *frames to their frames, and returns where the frames lie,
// valid until the next call.
const unsigned char *DecodeBlocks(Decoder *d, const unsigned char *p, size_t bytes, size_t *used,
                                  uint32_t *frames);

#endif
