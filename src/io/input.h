// SPDX-License-Identifier: MIT
// Input: the bytes of the wave file being read, whatever it is.  A
// regular file is read at any offset, its frames where they lie, mapped a
// window at a time; anything else that opens for reading (a pipe, a FIFO,
// standard input, a device) is a stream, read once from front to back, as
// its bytes arrive.  Offsets count from the input's first byte.  The
// input knows bytes and offsets, not wave headers: its state is its own,
// and the rest of the program asks it for bytes at an offset and for the
// next frames.
#ifndef QUORVIN_IO_INPUT_H
#define QUORVIN_IO_INPUT_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "io/read_limits.h"

struct Input;

enum OpenResult { kOpened, kNotFound, kNotRegular, kTerminal };

// Opens path ("-" is standard input) for the run, keeping the first
// keptHead bytes of a stream (at most kMaxKeptHead).  A FIFO waits for its
// writer.  A directory is not read, nor a terminal, where nobody types wave
// data.  The input is the one of the process: opening it again closes
// what it held.
OpenResult OpenInput(const char *path, size_t keptHead, Input **in);
void CloseInput(Input *in);

// Whether the input is a stream, read once.
bool IsStream(const Input *in);

// The bytes of a regular file from its first one to its end, when it was
// opened; UINT64_MAX for a stream, whose end is found as it comes.
uint64_t InputLength(const Input *in);

// Reads what comes next of the input's first want bytes into head, from
// head[have] on, and returns how many: a regular file's all at once, a
// stream's what one read delivers (waiting for it).  0 where have reached
// want or the input ended; *failed is set where a read failed.
size_t ReadHead(Input *in, unsigned char *head, size_t have, size_t want, bool *failed);

// Copies into buf the n bytes at offset, or as many as there are before
// the end of the input, and returns how many: a regular file's from
// anywhere, a stream's read on as far as they lie.  Bytes of a stream past
// its kept head stay held while they fit 1 MiB, so that frames may still
// start among them; offset must never go back before the last one asked
// for, nor into the kept head.  *failed is set where a read failed.
size_t CopyBytes(Input *in, uint64_t offset, unsigned char *buf, size_t n, bool *failed);

enum FramesResult {
	kFramesHere,   // *frames holds *bytes bytes
	kNotYet,       // a stream whose frames have not arrived yet: ask again
	kInputEnded,   // a stream ended before a whole frame
	kBytesLost,    // *lost is the first byte lost or not read, at or before offset
};

// The whole frames of frameBytes bytes (at most kLongestFrame) from
// offset on, at most most bytes of them, or where fewer than a frame's
// bytes lie before most or the end of the input, those: sets *frames to
// where they lie, valid until the next call, and *bytes to their length.
// A regular file's lie in its window, or where the file cannot be mapped,
// in a buffer read for them; a stream's are those that have arrived,
// reading it at most once.  Where a regular file no longer holds bytes
// handed on before (it shrank, or a page failed), or a read fails, or a
// stream's bytes at offset were dropped, the frames are lost.  offset
// must never go back.
//
// Mapped frames must be read by the sums and the decoders alone, which
// only compute: a page that cannot be read faults where they read it, and
// returns to FaultReturn.
FramesResult NextFrames(Input *in, uint64_t offset, size_t most, size_t frameBytes,
                        const unsigned char **frames, size_t *bytes, uint64_t *lost);

// Whether reading the stream now would wait: nothing has arrived and it
// has not ended.
bool WouldWait(const Input *in);

// Where a fault in a regular file's window returns: the caller of the
// sums arms it with sigsetjmp before it hands them mapped frames.  It comes
// back with 1; then StopReading tells what was lost.
sigjmp_buf *FaultReturn(Input *in);

// Ends the reading of frames: releases the window and checks a regular
// file's size once more, since the last window may have been cut short
// after it was mapped (a page that straddles the new end reads as zeros,
// not as a fault).  Returns the first byte of those handed on that the
// file lost, or kNothingLost.
uint64_t StopReading(Input *in);

#endif
