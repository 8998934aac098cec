// SPDX-License-Identifier: MIT
// Wave: the attributes of a wave file that the probe finds and the run
// and the scan use.
#ifndef QUORVIN_WAVE_WAVE_H
#define QUORVIN_WAVE_WAVE_H

#include <cstdint>

struct Wave {
	// The rate field is signed: a negative rate is taken as the huge
	// unsigned number its sign extension makes.
	uint64_t sampleRate;
	uint32_t channels;
	uint32_t bitsPerSample;
	uint32_t bytesPerSample;  // bitsPerSample / 8
	uint32_t formatCode;      // an extensible header's sub-format where it has one
	uint64_t dataOffset;      // the first byte of the first frame
	// Never more than the whole frames between the data offset and the end
	// of a regular file; a stream's end is found by the scan.
	uint64_t frameCount;
	uint32_t frameBytes;      // bytesPerSample * channels
};

#endif
