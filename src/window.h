// SPDX-License-Identifier: MIT
// Window: a regular file's frames where they lie, mapped a window at a
// time, for the input's NextFrames, and what the scan needs to know of
// the faults of a window.
#ifndef QUORVIN_WINDOW_H
#define QUORVIN_WINDOW_H

#include "input.h"

// The whole frames at offset, at most n bytes of them, in the window,
// mapped anew where it does not hold them: as NextFrames says.  NULL, with
// *bytes 0, where the file no longer holds a frame at offset, lost bytes
// handed on before (in->lostAt), or cannot be mapped (in->unmappable).
const unsigned char *MappedFrames(Input *in, uint64_t offset, size_t n, size_t frameBytes,
                                  size_t *bytes);

// Where a fault in a regular file's window returns to: the scan arms it
// with sigsetjmp before it reads a window.  A fault there (a page past
// the end of a file that shrank, or one the disk fails to read) sets
// in->lostAt and comes back with 1.
sigjmp_buf *FaultReturn(Input *in);

// Where a regular file now ends, if it lost any of the bytes handed on
// (it shrank as it was read, or a page failed), the offset of the first
// byte lost; else UINT64_MAX.  Releases the window.
uint64_t LostOffset(Input *in);

#endif
