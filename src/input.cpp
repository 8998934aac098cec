// SPDX-License-Identifier: MIT
// Input: opening the wave file and reading it, by offset for a regular
// file (where it lies, window.cpp), and front to back, as its bytes
// arrive, for a stream.
#include "input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "window.h"

// A regular file's bytes past its head are read this many at a time.
enum { kFileWindow = 4096 };

static const unsigned char *ReadFrames(Input *in, uint64_t offset, size_t n,
                                       size_t frameBytes, size_t *bytes);
static const unsigned char *ArrivedFrames(Input *in, uint64_t offset, size_t n,
                                          size_t frameBytes, size_t *bytes);
static size_t ReadOnce(Input *in, unsigned char *buf, size_t n);
static uint64_t HeldStart(const Input *in);
static void DropBefore(Input *in, uint64_t offset);
static void ReadHeld(Input *in);
static size_t CopyAhead(Input *in, uint64_t at, uint64_t end, unsigned char *buf);
[[noreturn]] static void Refuse(const char *format, const char *path);

void
OpenWave(const char *path, Input *in)
{
	struct stat st;
	int fd = strcmp(path, "-") == 0 ? STDIN_FILENO : open(path, O_RDONLY);
	if (fd < 0 || fstat(fd, &st) != 0)
		Refuse("The file called %s cannot be found!\n", path);
	if (S_ISDIR(st.st_mode))
		Refuse("The file called %s is not a regular file!\n", path);
	// Nobody types wave data.
	if (isatty(fd))
		Refuse("The file called %s is a terminal, not a wave file!\n", path);

	in->path = path;
	in->fd = fd;
	in->stream = !S_ISREG(st.st_mode);
	in->ended = in->failed = in->unmappable = false;
	in->base = in->consumed = in->handed = 0;
	in->lostAt = UINT64_MAX;
	in->map = NULL;
	in->mapAt = in->mapBytes = 0;
	in->length = UINT64_MAX;
	in->headBytes = in->heldBytes = 0;
	in->heldAt = kHeldFrom;
	memset(in->head, 0, sizeof in->head);
	if (!in->stream) {
		// Standard input may have been left part way into its file.
		off_t at = lseek(fd, 0, SEEK_CUR);
		in->base = at > 0 ? (uint64_t)at : 0;
		in->length = (uint64_t)st.st_size > in->base ? st.st_size - in->base : 0;
		in->headBytes = ReadAt(in, 0, in->head, kHeadBytes);
		if (in->failed)
			Refuse("The file called %s cannot be read!\n", path);
	}
}

bool
ExtendHead(Input *in)
{
	if (!in->stream || in->ended || in->headBytes == kHeadBytes ||
	    in->consumed != in->headBytes)
		return false;
	in->headBytes += ReadOnce(in, in->head + in->headBytes, kHeadBytes - in->headBytes);
	if (in->failed)
		Refuse("The file called %s cannot be read!\n", in->path);
	return true;
}

size_t
ReadAt(Input *in, uint64_t offset, unsigned char *buf, size_t n)
{
	size_t got = 0;
	// No regular file reaches past 2^63 bytes.
	if (offset > (uint64_t)INT64_MAX - in->base - n)
		return 0;
	while (got < n) {
		ssize_t r = pread(in->fd, buf + got, n - got, (off_t)(in->base + offset + got));
		if (r < 0 && errno == EINTR)
			continue;
		in->failed = r < 0;
		if (r <= 0)
			break;
		got += (size_t)r;
	}
	return got;
}

// What the head holds comes from it, the rest from the file, or from the
// stream as far as it goes.
size_t
ReadAhead(Input *in, uint64_t offset, unsigned char *buf, size_t n)
{
	size_t got = 0;
	if (offset < in->headBytes) {
		got = in->headBytes - offset < n ? (size_t)(in->headBytes - offset) : n;
		memcpy(buf, in->head + offset, got);
	}
	if (got < n && (!in->stream || offset + got >= HeldStart(in)))
		got += CopyAhead(in, offset + got, offset + n, buf + got);
	if (in->failed)
		Refuse("The file called %s cannot be read!\n", in->path);
	return got;
}

const unsigned char *
NextFrames(Input *in, uint64_t offset, size_t n, size_t frameBytes, size_t *bytes)
{
	const unsigned char *frames;
	*bytes = 0;
	if (in->stream)
		return ArrivedFrames(in, offset, n, frameBytes, bytes);
	if (offset > in->length)
		return NULL;
	if (!in->unmappable && (frames = MappedFrames(in, offset, n, frameBytes, bytes)) != NULL)
		return frames;
	if (in->unmappable)
		return ReadFrames(in, offset, n, frameBytes, bytes);
	return NULL;
}

// A regular file that cannot be mapped is read into held.
static const unsigned char *
ReadFrames(Input *in, uint64_t offset, size_t n, size_t frameBytes, size_t *bytes)
{
	size_t want = n < (size_t)kStreamRead ? n : (size_t)kStreamRead;
	want = want / frameBytes * frameBytes;
	*bytes = ReadAt(in, offset, in->held + kHeldFrom, want) / frameBytes * frameBytes;
	return in->held + kHeldFrom;
}

static const unsigned char *
ArrivedFrames(Input *in, uint64_t offset, size_t n, size_t frameBytes, size_t *bytes)
{
	*bytes = 0;
	if (offset < in->headBytes && in->headBytes - offset >= frameBytes) {
		size_t whole = (size_t)(in->headBytes - offset);
		whole = (whole < n ? whole : n) / frameBytes * frameBytes;
		*bytes = whole;
		return in->head + offset;
	}
	// A frame begun in the head is put together in front of the bytes
	// after it.  Bytes that were dropped are lost to the scan.
	uint64_t from = offset < in->headBytes ? in->headBytes : offset;
	if (from < HeldStart(in)) {
		in->failed = in->ended = true;
		return NULL;
	}
	DropBefore(in, from);
	if (in->consumed < from || in->heldBytes + (from - offset) < frameBytes)
		ReadHeld(in);
	DropBefore(in, from);
	if (in->consumed <= from)
		return NULL;
	size_t begun = (size_t)(from - offset), all = begun + in->heldBytes;
	unsigned char *first = in->held + in->heldAt - begun;
	memcpy(first, in->head + offset, begun);
	*bytes = (all < n ? all : n) / frameBytes * frameBytes;
	return first;
}

bool
WouldWait(const Input *in)
{
	struct pollfd ready = { in->fd, POLLIN, 0 };
	return in->stream && !in->ended && poll(&ready, 1, 0) == 0;
}

// One read of the stream, of at most n bytes.
static size_t
ReadOnce(Input *in, unsigned char *buf, size_t n)
{
	if (in->ended)
		return 0;
	for (;;) {
		ssize_t r = read(in->fd, buf, n);
		if (r < 0 && errno == EINTR)
			continue;
		in->failed = r < 0;
		in->ended = r <= 0;
		if (r <= 0)
			return 0;
		in->consumed += (size_t)r;
		return (size_t)r;
	}
}

// Where the held bytes start in the stream.
static uint64_t
HeldStart(const Input *in)
{
	return in->consumed - in->heldBytes;
}

static void
DropBefore(Input *in, uint64_t offset)
{
	uint64_t start = HeldStart(in);
	if (offset <= start)
		return;
	size_t drop = offset - start < in->heldBytes ? (size_t)(offset - start) : in->heldBytes;
	in->heldAt += drop;
	in->heldBytes -= drop;
}

// Reads once more of the stream after the held bytes, at most
// kStreamRead.  Fewer than a frame's bytes are moved to the front first,
// so that a scan keeps using the same few pages; more only when there is
// no room after them.
static void
ReadHeld(Input *in)
{
	size_t room = sizeof in->held - in->heldAt - in->heldBytes;
	if (in->heldAt != kHeldFrom && (in->heldBytes < kHeldFrom || room < kStreamRead)) {
		memmove(in->held + kHeldFrom, in->held + in->heldAt, in->heldBytes);
		in->heldAt = kHeldFrom;
		room = sizeof in->held - in->heldAt - in->heldBytes;
	}
	if (room > 0)
		in->heldBytes += ReadOnce(in, in->held + in->heldAt + in->heldBytes,
		                          room < (size_t)kStreamRead ? room : (size_t)kStreamRead);
}

// Copies the bytes from at up to end, or as far as the input goes.  A
// stream's, held or not read yet, are read into held until it is full;
// then the bytes before at are dropped.  A regular file's are read in
// windows of kFileWindow bytes, held too, so that a walk over many small
// chunks reads each window once.
static size_t
CopyAhead(Input *in, uint64_t at, uint64_t end, unsigned char *buf)
{
	if (!in->stream && (at < HeldStart(in) || end > in->consumed)) {
		in->heldAt = kHeldFrom;
		in->heldBytes = ReadAt(in, at, in->held + kHeldFrom, kFileWindow);
		in->consumed = at + in->heldBytes;
	}
	while (in->stream && in->consumed < end && !in->ended) {
		if (in->heldBytes == kHeldBytes)
			DropBefore(in, at);
		ReadHeld(in);
	}
	if (in->consumed <= at)
		return 0;
	size_t more = (size_t)((in->consumed < end ? in->consumed : end) - at);
	memcpy(buf, in->held + in->heldAt + (at - HeldStart(in)), more);
	return more;
}

static void
Refuse(const char *format, const char *path)
{
	printf(format, path);
	exit(2);
}
