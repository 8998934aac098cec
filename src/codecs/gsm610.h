// SPDX-License-Identifier: MIT
// GSM 06.10: the full-rate speech coding of telephones (RPE-LTP), in the
// packing WAV files use: blocks of 65 bytes, each two frames of 160
// samples.  A frame's decoding starts from the state the frames before
// it left, so a file decodes from its first block on.
#ifndef QUORVIN_CODECS_GSM610_H
#define QUORVIN_CODECS_GSM610_H

#include <cstdint>

struct GsmState {
	int16_t past[120];        // the long-term filter's last 120 samples
	int16_t lars[2][8];       // the log-area ratios of the frames before and now
	uint32_t now;             // which of lars is now's
	int16_t lag;              // the last lag in range
	int16_t lattice[8];       // the short-term filter's state
	int16_t emphasis;         // the de-emphasis filter's last output
};

// The state before a file's first frame.
void StartGsm(GsmState *state);

// Decodes the first frames frames of the block at block (160 or 320),
// into out: 16-bit samples, little-endian.
void DecodeGsmBlock(GsmState *state, const unsigned char *block, uint32_t frames,
                    unsigned char *out);

#endif
