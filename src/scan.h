// Interval scan: reads the frames of a range block by block, prints one
// dotted line per run of `resolution` frames and closes with the level
// report.
#ifndef QUORVIN_SCAN_H
#define QUORVIN_SCAN_H

#include <cstdint>

#include "input.h"
#include "sums.h"

enum { kBlockFrames = 4096, kMaxFrameBytes = 8,
       kBlockBytes = kBlockFrames * kMaxFrameBytes };

struct ScanParams {
	uint64_t dataOffset;
	uint64_t startFrame;
	uint64_t endFrame;        // exclusive
	uint32_t frameSize;       // 1 to 8 bytes
	Layout layout;            // resolution 0 prints no line
	double secondsPerLine;
	float magnification;
	int64_t sampleRate;
};

// Raises peak to the magnitude of value when that is larger.
void CheckPeak(double &peak, double value);

// Prints one line: the time label of frame, then the whole part of dots as
// dots.  Returns the result of writing the final newline.
int Waveform(int64_t frame, uint32_t sampleRate, double dots,
             double secondsPerLine);

// Scans the range of sp on in, using block (kBlockBytes long) as the read
// buffer, and prints the lines and the level report.  The end of a stream
// ends the range; a regular file that ends early, or a failed read, is
// reported and ends the process (status 2), and a failed write ends it
// with status 3.
void ScanInterval(Input *in, const ScanParams *sp, unsigned char *block);

#endif
