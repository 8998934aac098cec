// SPDX-License-Identifier: MIT
// The read path's limits, which the input and its window share and the
// rest of the program may rely on.
#ifndef QUORVIN_IO_READ_LIMITS_H
#define QUORVIN_IO_READ_LIMITS_H

#include <cstdint>

enum {
	// The most of a stream's first bytes kept for the whole run, so that
	// frames may start among them however far the probe read on.
	kMaxKeptHead = 1 << 14,
	// The longest frame NextFrames puts together where it begins in the
	// kept head and ends after it.
	kLongestFrame = 1 << 16,
	// The most bytes NextFrames hands on at once: a regular file's window.
	kWindowBytes = 1 << 22,
	// The most bytes one read asks for: fewer, larger reads cost the
	// system less per byte, and 128 KiB still fit a level-2 cache.
	kReadBytes = 1 << 17,
};

// No input offset reaches this; a byte lost there is none.
const uint64_t kNothingLost = UINT64_MAX;

#endif
