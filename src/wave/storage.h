// SPDX-License-Identifier: MIT
// Storage: how a wave file keeps its frames.  The sums take one coding,
// of either byte order; a codec, if any, turns the file's blocks into
// frames of it: a block of a compressed coding holds many frames, and
// decodes on its own (IMA and MS ADPCM) or after the ones before it (GSM
// 06.10).  Frames stored as the sums take them are blocks of one frame.
#ifndef QUORVIN_WAVE_STORAGE_H
#define QUORVIN_WAVE_STORAGE_H

#include <cstddef>
#include <cstdint>

#include "wave/codings.h"
#include "wave/wave.h"

enum Codec { kAsStored, kImaAdpcm, kMsAdpcm, kGsm610 };

// A block's layout.  IMA ADPCM: a header of 4 bytes a channel (its first
// sample, its step index and a spare byte), then words of 4 bytes, 8
// samples each, a channel's after the other's.  MS ADPCM: a header of 7
// bytes a channel (predictor indices, deltas, then the second and first
// samples, channel by channel), then 2 samples a byte, in turn.  GSM
// 06.10: 65 bytes, two frames of 160 samples, the first in its first 33.
enum {
	kImaHeaderBytes = 4,
	kImaWordBytes = 4,
	kImaWordSamples = 8,
	kMsHeaderBytes = 7,
	kMsHeaderSamples = 2,
	kGsmBlockBytes = 65,
	kGsmBlockFrames = 320,
	kGsmHalfFrames = 160,
	kGsmFirstHalfBytes = 33,
};

struct Storage {
	Coding coding;
	Codec codec;
	uint32_t blockBytes;      // a block's bytes in the file
	uint32_t blockFrames;     // the frames a whole block holds
	uint64_t frames;          // the frames of the data
};

// How wave keeps its frames; false for a layout no decoder reads: no row
// of the table of codings, or a compressed coding with a block that
// cannot hold one frame, more channels than it takes (GSM: one), or
// samples per block that the block cannot hold.  Compressed codings are
// read in little-endian files only.
bool ChooseStorage(const Wave *wave, Storage *storage);

// The frames of the first bytes of a block, fewer than a whole block's,
// as far as they go: whole words of every channel, for ADPCM.
uint32_t PartialFrames(const Storage *storage, uint32_t channels, size_t bytes);

#endif
