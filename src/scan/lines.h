// SPDX-License-Identifier: MIT
// Lines: the frames of the line being added, its dots and label when it
// is complete, and the report at the end; the scan's own.
#ifndef QUORVIN_SCAN_LINES_H
#define QUORVIN_SCAN_LINES_H

#include <cstdint>

#include "io/input.h"
#include "scan/scan.h"
#include "scan/sums.h"

struct Line {
	uint32_t counter;         // frames added since the last line
	LineSums sums;
	Peaks peaks;              // of the whole range
};

// Whether lines of resolution frames of frameBytes may be added in lanes,
// in any order: where they can be added again in order, read again from a
// file, or from the kept line of a stream.
bool LinesAddInAnyOrder(bool stream, uint32_t resolution, uint32_t frameBytes);

// Adds frames frames at p to the line, which holds counter frames.
void AddToLine(const ScanPlan *plan, const unsigned char *p, uint32_t frames, uint32_t counter,
               Line *line);

// Prints the complete line that ends before frame next, and starts the
// sums of the next; a line added in lanes whose dots are not settled is added again
// in order.  Where that cannot be read, *lostFrame is the frame.
ScanEnd EmitLine(Input *in, const ScanPlan *plan, uint64_t next, Line *line,
                 uint64_t *lostFrame);

void ReportPeaks(const Layout *layout, const Peaks *peaks, float magnification);

#endif
