// Input: the wave file being read.  A regular file is read at any offset;
// anything else that opens for reading (a pipe, a FIFO, standard input, a
// device) is a stream, read once from front to back.  The first bytes are
// read on opening, for the header probe.
#ifndef QUORVIN_INPUT_H
#define QUORVIN_INPUT_H

#include <cstddef>
#include <cstdint>

// Tags are looked for at even offsets 2 to kLastProbe; the fields read
// after a tag reach at most 33 bytes beyond it.
enum { kLastProbe = 15000, kHeadBytes = kLastProbe + 34 };

struct Input {
	const char *path;
	int fd;
	bool stream;
	bool ended;               // a stream delivered its last byte
	bool failed;              // a read failed with an error
	uint64_t base;            // where byte 0 lies in a regular file
	uint64_t length;          // bytes from base to the end; streams: UINT64_MAX
	uint64_t consumed;        // bytes taken from a stream so far
	size_t headBytes;         // how much of head was read
	unsigned char head[kHeadBytes];   // zero past headBytes
};

// Opens path ("-" is standard input) and reads its first bytes.  A path that
// cannot be opened, a directory or a terminal is reported and ends the
// process (status 2).  A FIFO waits for its writer.
void OpenWave(const char *path, Input *in);

// Reads n bytes at offset into buf and returns how many were delivered:
// fewer only at the end of the input, or on a read error, which sets
// in->failed.  A stream only goes forward: offset must not lie before the
// bytes already taken from it, unless it lies within the head.
size_t ReadAt(Input *in, uint64_t offset, unsigned char *buf, size_t n);

#endif
