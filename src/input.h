// SPDX-License-Identifier: MIT
// Input: the wave file being read.  A regular file is read at any offset,
// its frames where they lie, mapped a window at a time; anything else
// that opens for reading (a pipe, a FIFO, standard input, a device) is a
// stream, read once from front to back, as its bytes arrive.  The first
// bytes, the head, are kept for the header probe.
#ifndef QUORVIN_INPUT_H
#define QUORVIN_INPUT_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "codings.h"
#include "wave_header.h"

enum {
	// A regular file's frames are mapped this many bytes at a time.
	kWindowBytes = 1 << 22,
	// A stream's bytes read after the head and not yet handed on are held,
	// up to kHeldBytes of them, behind room for one frame: there a frame
	// that begins in the head is put together.  The probe may read a long
	// way ahead; the scan takes frames as they arrive, at most
	// kStreamRead bytes a read.  A file that cannot be mapped is read
	// into held too, kStreamRead bytes at a time.
	kStreamRead = 1 << 17,
	kHeldBytes = 1 << 20,
	kHeldFrom = kMaxFrameBytes,
};

struct Input {
	const char *path;
	int fd;
	bool stream;
	bool ended;               // a stream delivered its last byte
	bool failed;              // a read failed, or bytes wanted were lost
	bool unmappable;          // a regular file that mmap refused
	uint64_t base;            // where byte 0 lies in a regular file
	uint64_t length;          // bytes from base to the end; streams: UINT64_MAX
	uint64_t consumed;        // bytes taken from a stream so far; a file's held end
	uint64_t handed;          // a regular file's bytes handed on for the scan end here
	uint64_t lostAt;          // from here the file lost its bytes as it was read
	unsigned char *map;       // the window: the mapBytes of the file from base + mapAt
	uint64_t mapAt;
	size_t mapBytes;
	sigjmp_buf fault;         // where a fault in the window returns to
	size_t headBytes;         // how much of head was read
	size_t heldAt, heldBytes;   // held[heldAt...] are the heldBytes before consumed
	unsigned char head[kHeadBytes];   // zero past headBytes
	unsigned char held[kHeldFrom + kHeldBytes];
};

// Opens path ("-" is standard input); reads the head of a regular file.  A
// path that cannot be opened, a directory, a terminal or a head that cannot
// be read is reported and ends the process (status 2).  A FIFO waits for
// its writer.
void OpenWave(const char *path, Input *in);

// Reads what comes next of a stream's head; false, reading nothing, when
// the head is full, the stream has ended or was read past its head, or the
// input is a regular file (whose head was read whole).  A failed read is
// reported as OpenWave reports it.
bool ExtendHead(Input *in);

// Reads n bytes of a regular file at offset into buf and returns how many
// were delivered: fewer only at its end, or on a read error, which sets
// in->failed.
size_t ReadAt(Input *in, uint64_t offset, unsigned char *buf, size_t n);

// Copies into buf the n bytes at offset, or as many as there are: from the
// head, a regular file (in windows), or a stream read on as far as they
// lie.  Bytes of a stream past its head are kept while they fit
// kHeldBytes, so that frames may still start in the head or among them;
// offset must never go back before the last one asked for.  A failed read
// is reported as OpenWave reports it.
size_t ReadAhead(Input *in, uint64_t offset, unsigned char *buf, size_t n);

// The whole frames of frameBytes bytes from offset on, at most n bytes of
// them: sets *bytes to their length and returns where they lie, valid
// until the next call.  A regular file's lie in its window, or where the
// file cannot be mapped, in held; *bytes is 0 only where the file holds
// no whole frame at offset any more, or a read failed (in->failed).  A
// stream's are those that have arrived, reading it at most once; *bytes
// is 0 when no whole frame has arrived yet, or at the end of the stream
// (in->ended; a partial frame is then lost), or when the bytes at offset
// were dropped (in->failed and in->ended).  offset must never go back.
const unsigned char *NextFrames(Input *in, uint64_t offset, size_t n, size_t frameBytes,
                                size_t *bytes);

// Whether reading the stream now would wait: nothing has arrived and it
// has not ended.
bool WouldWait(const Input *in);

#endif
