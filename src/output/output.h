// SPDX-License-Identifier: MIT
// Output: the pieces of a line (labels as printf writes them, rows of dots)
// and the level report, all on standard output.
#ifndef QUORVIN_OUTPUT_OUTPUT_H
#define QUORVIN_OUTPUT_OUTPUT_H

#include <cstddef>
#include <cstdint>

// A label takes at most kLabelBytes: what FormatFixed may write, the tabs
// and a frame number.  PutLine copies rows of dots in pieces of kPiece
// bytes.
enum { kPiece = 32, kFixedBytes = 64, kLabelBytes = kFixedBytes + kPiece };

// Writes value as printf's "%.2f" (places 2) or "%.3f" (places 3) does,
// into out (at least kFixedBytes bytes), and returns the length.
size_t FormatFixed(char *out, float value, int places);

// Writes value as printf's "%i" does into out (at least 12 bytes).
size_t FormatInt(char *out, int32_t value);

// The number of dots for a dots value: its whole part, none below 1 or for
// NaN, and at most INT32_MAX.
int32_t DotCount(double dots);

// Where the label of the next line is written, kLabelBytes at most.
char *LineLabel(void);

// Prints the line whose label LineLabel gave, now ending at labelEnd: the
// label, dots dots and a newline.  Lines are held back until FlushLines,
// the buffer fills, or Report.  Returns '\n', or EOF once standard output
// has failed.
int PutLine(const char *labelEnd, int32_t dots);

// Hands the lines held back to standard output; false once it has failed.
bool FlushLines(void);

// Hands everything printed so far to the system now, the lines held back
// and standard output's own buffer, before the program waits for input;
// false once standard output has failed.
bool PushOutput(void);

// Prints the threshold line and the peak line of the channels channels
// whose peaks peak holds, in amplitude units.
void Report(uint32_t channels, float magnification, const double *peak);

// Hands everything printed to the system; 0 where all of it was written,
// else the error number of the first write that failed.
int EndOutput(void);

#endif
