// SPDX-License-Identifier: MIT
// Window: a regular file's frames where they lie, mapped a window at a
// time, and the one signal handler, for pages of the window that cannot
// be read.  Private to the input, which alone includes it.
#ifndef QUORVIN_IO_WINDOW_H
#define QUORVIN_IO_WINDOW_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "io/read_limits.h"

// Offsets, as everywhere in the input, count from the input's first byte,
// which lies at base in the file.
struct Window {
	int fd;
	uint64_t base;
	unsigned char *mapping;   // as mmap gave it, mappingBytes long; NULL: none
	size_t mappingBytes;
	const unsigned char *bytes;   // the input's bytes from `from` on, count of them
	uint64_t from;
	size_t count;
	uint64_t handed;          // the bytes handed on end here
	uint64_t lostAt;          // the first of them the file lost, or kNothingLost
	bool refused;             // mmap refused the file
	bool failed;              // the file's size could not be read
	sigjmp_buf landing;       // where a fault in the window returns
};

void StartWindow(Window *w, int fd, uint64_t base);

// The whole frames of frameBytes bytes at offset, at most most bytes of
// them, or most bytes where most is less than a frame: as NextFrames says.
// Maps the window anew where it does not hold them.  False, with *bytes 0,
// where the file no longer holds them, lost bytes handed on before
// (w->lostAt), its size cannot be read (w->failed) or mmap refuses it
// (w->refused).
bool WindowFrames(Window *w, uint64_t offset, size_t most, size_t frameBytes,
                  const unsigned char **frames, size_t *bytes);

// Releases the window; returns the first byte handed on that the file
// lost: where a fault found it, or where the file now ends; kNothingLost
// where it lost none.
uint64_t EndWindow(Window *w);

#endif
