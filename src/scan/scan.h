// SPDX-License-Identifier: MIT
// Interval scan: reads the frames of a range, as the input hands them on
// and the decoding stage turns them into frames the sums take, prints one
// dotted line per run of `resolution` frames and closes with the level
// report.
#ifndef QUORVIN_SCAN_SCAN_H
#define QUORVIN_SCAN_SCAN_H

#include <cstdint>

#include "codecs/decoder.h"
#include "io/input.h"
#include "scan/sums.h"
#include "wave/wave.h"

struct ScanPlan {
	uint64_t dataOffset;
	uint64_t dataBytes;
	uint64_t startFrame;
	uint64_t endFrame;        // exclusive
	Decoder decoder;
	Layout layout;            // resolution 0 prints no line
	double secondsPerLine;
	float magnification;
	uint32_t labelRate;       // labels divide by this rate
	// A stream cannot be read again: its lines added in lanes are kept as
	// they arrive, to be added again in order where the dots need it.
	bool keepsLines;
};

enum ScanEnd { kScanned, kFrameLost, kOutputFailed };

// The scan of frames startFrame to endFrame (exclusive) of wave, stored
// as storage says, in lines of resolution frames (0: no line), with the
// magnification, from a stream or a regular file.
void PlanScan(const Wave *wave, const Storage *storage, uint64_t startFrame, uint64_t endFrame,
              uint32_t resolution, float magnification, bool stream, ScanPlan *plan);

// Scans the range of plan on in and prints the lines and the level report.
// The end of a stream ends the range.  Where a regular file ends early or
// loses its bytes as it is read (it shrinks, or a page fails), or a read
// fails, the lines before stand and *lostFrame is the first frame not
// read; no report follows.  Where standard output fails, the scan stops.
ScanEnd ScanInterval(Input *in, const ScanPlan *plan, uint64_t *lostFrame);

#endif
