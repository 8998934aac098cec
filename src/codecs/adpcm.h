// SPDX-License-Identifier: MIT
// ADPCM: the IMA and Microsoft codings of 4 bits a sample, as WAV files
// keep them, a block at a time.  Each block starts afresh from its
// header, so blocks decode on their own.
#ifndef QUORVIN_CODECS_ADPCM_H
#define QUORVIN_CODECS_ADPCM_H

#include <cstddef>
#include <cstdint>

// The seven coefficient pairs of MS ADPCM where a format lists none.
enum { kMsStandardCoefficients = 7 };
extern const int16_t kMsCoefficients[kMsStandardCoefficients][2];

// Decodes the first frames frames (1 to the block's) of the IMA ADPCM
// block at block, of channels channels, into out: 16-bit samples,
// little-endian, frame after frame.  A step index past the table's last
// is taken as the last.
void DecodeImaBlock(const unsigned char *block, uint32_t channels, uint32_t frames,
                    unsigned char *out);

// The same for count whole blocks of blockBytes at blocks, each of frames
// frames, one after another into out; as fast as it goes where frames use
// every word of a block.
void DecodeImaBlocks(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                     uint32_t channels, uint32_t frames, unsigned char *out);

// The same for an MS ADPCM block, whose headers name their pairs among the
// count pairs of coefficients.  A block that names a pair past them is
// broken: its frames are silent.
void DecodeMsBlock(const unsigned char *block, uint32_t channels, uint32_t frames,
                   const int16_t (*coefficients)[2], uint32_t count, unsigned char *out);

// The same for count whole blocks of blockBytes at blocks, each of frames
// frames, one after another into out; as fast as it goes for whole bytes
// of codes in mono and in even channel counts.
void DecodeMsBlocks(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                    uint32_t channels, uint32_t frames, const int16_t (*coefficients)[2],
                    uint32_t pairs, unsigned char *out);

// DecodeImaBlocks built for AVX2, for the first blocks of count in mono
// or stereo, 16 channels of blocks at a time, where frames use every word
// of a block: returns how many it decoded, whose frames are those
// DecodeImaBlocks gives; the rest are DecodeImaBlocks's to decode.
size_t DecodeImaBlocksAvx2(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                           uint32_t channels, uint32_t frames, unsigned char *out);

// DecodeMsBlocks built for AVX2, for the first blocks of count in mono or
// stereo, 16 channels of blocks at a time: returns how many it decoded (0
// where one of them names a pair past the list), whose frames are those
// DecodeMsBlocks gives; the rest are DecodeMsBlocks's to decode.
size_t DecodeMsBlocksAvx2(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                          uint32_t channels, uint32_t frames, const int16_t (*coefficients)[2],
                          uint32_t pairs, unsigned char *out);

#endif
