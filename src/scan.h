// Interval scan: reads the frames of a range block by block, prints one
// dotted line per run of `resolution` frames and closes with the level report.
#ifndef QUORVIN_SCAN_H
#define QUORVIN_SCAN_H

#include <cstdint>
#include <cstdio>

enum { kBlockFrames = 4096, kMaxFrameBytes = 8,
       kBlockBytes = kBlockFrames * kMaxFrameBytes };

struct ScanParams {
	uint64_t dataOffset;
	uint64_t startFrame;
	uint64_t endFrame;        // exclusive
	uint32_t frameSize;       // 1 to 8 bytes
	uint32_t bytesPerSample;
	uint32_t channels;
	uint32_t resolution;      // frames per line; 0 prints no line
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

// The number of dots Waveform prints for a dots value: its whole part,
// none below 1 or for NaN, and at most INT32_MAX.
int32_t DotCount(double dots);

// Scans the range of sp on fp, using block (kBlockBytes long) as the read
// buffer, and prints the lines and the level report.  A block that cannot
// be read in full is reported and ends the process (status 2); a failed
// write ends it with status 3.
void ScanInterval(FILE *fp, const ScanParams *sp, unsigned char *block);

// Ends the process with status 3 if standard output has failed.
void CheckOutput(void);

#endif
