// SPDX-License-Identifier: MIT
// Output: the pieces of a line (labels as printf writes them, rows of dots)
// and the level report, all on standard output.
#ifndef QUORVIN_OUTPUT_H
#define QUORVIN_OUTPUT_H

#include <cstddef>
#include <cstdint>

// PutLine copies labels and rows in pieces of kPiece bytes.  A label's
// buffer holds what FormatFixed may write and one piece more, for the tabs
// and the frame number that follow it.
enum { kPiece = 32, kFixedBytes = 64, kLabelBytes = kFixedBytes + kPiece };

// Writes value as printf's "%.2f" (places 2) or "%.3f" (places 3) does,
// into out (at least kFixedBytes bytes), and returns the length.
size_t FormatFixed(char *out, float value, int places);

// Writes value as printf's "%i" does into out (at least 12 bytes).
size_t FormatInt(char *out, int32_t value);

// The number of dots for a dots value: its whole part, none below 1 or for
// NaN, and at most INT32_MAX.
int32_t DotCount(double dots);

// Prints a line: the label of length bytes, dots dots and a newline.
// Lines are held back until FlushLines, the buffer fills, or Report.  The
// label is read in pieces of 32 bytes: its buffer must hold length rounded
// up to a multiple of 32.
void PutLine(const char *label, size_t length, int32_t dots);

// Hands the lines held back to standard output, ending the process with
// status 3 if it has failed.
void FlushLines(void);

// Hands everything printed so far to the system now, the lines held back
// and standard output's own buffer, before the program waits for input.
void PushOutput(void);

// Prints the threshold line and the peak line of the channels channels
// whose peaks peak holds, in amplitude units.
void Report(uint32_t channels, float magnification, const double *peak);

// Ends the process with status 3 if standard output has failed.
void CheckOutput(void);

// Registered with atexit: says on standard error that standard output
// could not be written, if it could not, whatever the exit status.
void ReportOutputAtExit(void);

#endif
