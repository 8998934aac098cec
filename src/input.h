// SPDX-License-Identifier: MIT
// Input: the wave file being read.  A regular file is read at any offset;
// anything else that opens for reading (a pipe, a FIFO, standard input, a
// device) is a stream, read once from front to back, as its bytes arrive.
// The first bytes, the head, are kept for the header probe.
#ifndef QUORVIN_INPUT_H
#define QUORVIN_INPUT_H

#include <cstddef>
#include <cstdint>

#include "wave_header.h"

// A stream's reads deliver whole frames of at most kMaxFrameBytes bytes.
enum { kMaxFrameBytes = 8 };

struct Input {
	const char *path;
	int fd;
	bool stream;
	bool ended;               // a stream delivered its last byte
	bool failed;              // a read failed with an error
	uint64_t base;            // where byte 0 lies in a regular file
	uint64_t length;          // bytes from base to the end; streams: UINT64_MAX
	uint64_t consumed;        // bytes taken from a stream so far
	size_t carried;           // the last of those, part of a frame, kept in carry
	unsigned char carry[kMaxFrameBytes];
	size_t headBytes;         // how much of head was read
	unsigned char head[kHeadBytes];   // zero past headBytes
};

// Opens path ("-" is standard input); reads the head of a regular file.  A
// path that cannot be opened, a directory, a terminal or a head that cannot
// be read is reported and ends the process (status 2).  A FIFO waits for
// its writer.
void OpenWave(const char *path, Input *in);

// Reads what comes next of a stream's head; false, reading nothing, when
// the head is full, the stream has ended, or the input is a regular file
// (whose head was read whole).  A failed read is reported as OpenWave
// reports it.
bool ExtendHead(Input *in);

// Reads n bytes of a regular file at offset into buf and returns how many
// were delivered: fewer only at its end, or on a read error, which sets
// in->failed.
size_t ReadAt(Input *in, uint64_t offset, unsigned char *buf, size_t n);

// Reads into buf the bytes of a stream at offset that have arrived, in
// whole frames of frameBytes bytes and at most n, reading the stream at
// most once: the bytes of a last, partial frame are kept for the next
// call, and the bytes before offset are dropped first.  Returns 0 when no
// whole frame has arrived yet, or at the end of the stream (in->ended; a
// partial frame is then lost).  offset must never go back.
size_t ReadArrived(Input *in, uint64_t offset, unsigned char *buf, size_t n,
                   size_t frameBytes);

// Whether reading the stream now would wait: nothing has arrived and it
// has not ended.
bool WouldWait(const Input *in);

#endif
