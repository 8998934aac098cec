// SPDX-License-Identifier: MIT
// Wave: the attributes of a wave file that the probe finds and the run
// and the scan use.
#ifndef QUORVIN_WAVE_WAVE_H
#define QUORVIN_WAVE_WAVE_H

#include <cstdint>

// An MS ADPCM block names its coefficient pair by a byte.
enum { kMaxCoefficients = 256 };

// No fact chunk was read.
const uint64_t kNoFact = UINT64_MAX;

struct Wave {
	// The rate field is signed: a negative rate is taken as the huge
	// unsigned number its sign extension makes.
	uint64_t sampleRate;
	uint32_t channels;
	uint32_t bitsPerSample;
	uint32_t bytesPerSample;  // bitsPerSample / 8
	uint32_t formatCode;      // an extensible header's sub-format where it has one
	uint32_t blockAlign;      // the bytes of a block of a compressed coding
	uint32_t samplesPerBlock; // the format's extension's, 0 where it has none
	uint32_t frameBytes;      // bytesPerSample * channels
	bool bigEndian;           // a RIFX file: every field and sample big-endian
	uint64_t dataOffset;      // the first byte of the first frame
	// The data chunk's size, or RF64's true one, but never more than a
	// regular file holds past the data offset; a stream's end is found by
	// the scan.
	uint64_t dataBytes;
	uint64_t factFrames;      // a fact chunk's frame count, or kNoFact
	// The coefficient pairs an MS ADPCM format lists, 0 where it lists none.
	uint32_t coefficientCount;
	int16_t coefficients[kMaxCoefficients][2];
};

#endif
