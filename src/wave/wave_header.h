// SPDX-License-Identifier: MIT
// Wave header: where the probe looks for the chunks, and the fields it
// reads at fixed distances from a chunk's tag.  The input keeps a head of
// the file long enough for all of them.
#ifndef QUORVIN_WAVE_WAVE_HEADER_H
#define QUORVIN_WAVE_WAVE_HEADER_H

enum {
	// Tags are looked for at even offsets 2 to this; a RIFF file's chunk
	// list is walked as far as it goes.
	kLastProbe = 15000,
	// A chunk: a 4-byte name, its size, then its body; the data chunk's
	// size is the data size, its body the frames.  The list of a RIFF
	// file's chunks starts after "RIFF", the file's size and "WAVE".
	kChunkSizeAt = 4,
	kChunkHeaderBytes = 8,
	kFirstChunk = 12,
	// After the format tag: the format code, channels, sample rate and
	// bits per sample; an extensible header's sub-format code.
	kFormatCodeAt = 8,
	kChannelsAt = 10,
	kRateAt = 12,
	kBitsAt = 22,
	kPlainFormatEnd = 24,
	kSubFormatAt = 32,
	kFormatEnd = 34,
	// The head: every field after a tag at kLastProbe.
	kHeadBytes = kLastProbe + kFormatEnd,
};

static_assert(kChunkHeaderBytes <= kFormatEnd,
              "the head holds a chunk's header at the last offset too");

#endif
