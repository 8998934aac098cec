// SPDX-License-Identifier: MIT
// Interval scan: reads the frames of a range block by block, prints one
// dotted line per run of `resolution` frames and closes with the level
// report.
#ifndef QUORVIN_SCAN_H
#define QUORVIN_SCAN_H

#include <cstdint>

#include "input.h"
#include "probe.h"
#include "sums.h"

// A line is read again 128 KiB at a time: fewer, larger reads cost the
// kernel less per byte, and a block still fits the processor's level-2
// cache.
enum { kBlockBytes = 1 << 17 };

struct ScanParams {
	uint64_t dataOffset;
	uint64_t startFrame;
	uint64_t endFrame;        // exclusive
	uint32_t frameSize;       // 1 to kMaxFrameBytes bytes
	Layout layout;            // resolution 0 prints no line
	double secondsPerLine;
	float magnification;
	uint64_t sampleRate;
};

// The scan of frames startFrame to endFrame (exclusive) of wave, whose
// samples are of coding, in lines of resolution frames (0: no line), with
// the magnification.
void PlanScan(const Wave *wave, Coding coding, uint64_t startFrame, uint64_t endFrame,
              uint32_t resolution, float magnification, ScanParams *sp);

// Raises peak to the magnitude of value when that is larger.
void CheckPeak(double &peak, double value);

// Prints one line: the time label of frame, then the whole part of dots as
// dots.  Returns '\n', as writing the final newline does: the line is held
// back, to leave with others in one write.
int Waveform(int64_t frame, uint32_t sampleRate, double dots,
             double secondsPerLine);

// The dots of a line whose magnitudes add up to sum.
double LineDots(double sum, uint32_t channels, uint32_t resolution,
                float magnification);

// Whether every sum of terms magnitudes in any order that rounds to sum
// gives the same number of dots as sum itself: then the dots of a line
// added in lanes are those of the line added in sample order.
bool DotsSettled(double sum, uint64_t terms, uint32_t channels,
                 uint32_t resolution, float magnification);

// Scans the range of plan on in and prints the lines and the level
// report.  A line added in lanes whose dots are not settled is read again
// and added in order.  The end of a stream ends the range; a regular file
// that ends early or loses its bytes as it is read (it shrinks, or a page
// fails), or a failed read, is reported and ends the process (status 2),
// and a failed write ends it with status 3.
void ScanInterval(Input *in, const ScanParams *plan);

#endif
