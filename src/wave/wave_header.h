// SPDX-License-Identifier: MIT
// Wave header: where the probe looks for the chunks, and the fields it
// reads in their bodies.  The input keeps a head of the file long enough
// for all the fields after a tag at the last offset probed.
#ifndef QUORVIN_WAVE_WAVE_HEADER_H
#define QUORVIN_WAVE_WAVE_HEADER_H

enum {
	// Tags are looked for at even offsets 2 to this; a chunk list is
	// walked as far as it goes.
	kLastProbe = 15000,
	// A RIFF chunk: a 4-byte name, its size, then its body and a pad byte
	// after an odd size; the data chunk's size is the data size, its body
	// the frames.  The list of a file's chunks starts after "RIFF" (or
	// RIFX, RF64, BW64), the file's size and "WAVE".
	kChunkSizeAt = 4,
	kChunkHeaderBytes = 8,
	kFirstChunk = 12,
	// A Wave64 chunk: a 16-byte name, the chunk's 64-bit size with the
	// header, then its body, each chunk at a multiple of 8.  The first after
	// the riff name, the file's size and the wave name.
	kW64SizeAt = 16,
	kW64HeaderBytes = 24,
	kW64FirstChunk = 40,
	kW64Align = 8,
	kLongestHeader = kW64HeaderBytes,
	// A format chunk's body: the format code, channels, sample rate, bytes
	// a second, block size, bits per sample, then the size of an extension
	// and its fields: the samples a compressed block holds, an MS ADPCM
	// coefficient count and its pairs, an extensible header's sub-format.
	kFormatCodeAt = 0,
	kChannelsAt = 2,
	kRateAt = 4,
	kBlockAlignAt = 12,
	kBitsAt = 14,
	kPlainFormatEnd = 16,
	kExtensionSizeAt = 16,
	kSamplesPerBlockAt = 18,
	kCoefficientCountAt = 20,
	kCoefficientsAt = 22,
	kSubFormatAt = 24,
	kFormatEnd = 26,
	// An RF64 file's ds64 body: the 64-bit RIFF size, then the data size.
	kDs64DataSizeAt = 8,
	kDs64End = 16,
	// A fact body: the frames a compressed file holds.
	kFactEnd = 4,
	// The head: every field after a tag at kLastProbe.
	kHeadBytes = kLastProbe + kChunkHeaderBytes + kFormatEnd,
};

static_assert(kDs64End <= kFormatEnd && kFactEnd <= kFormatEnd,
              "a chunk's fields fit those of a format chunk");

#endif
