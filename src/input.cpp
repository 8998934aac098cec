// SPDX-License-Identifier: MIT
// Input: opening the wave file and reading it, by offset for a regular
// file and front to back, as its bytes arrive, for a stream.
#include "input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

static size_t ReadOnce(Input *in, unsigned char *buf, size_t n);
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

	memset(in, 0, sizeof *in);
	in->path = path;
	in->fd = fd;
	in->stream = !S_ISREG(st.st_mode);
	in->length = UINT64_MAX;
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
	if (!in->stream || in->ended || in->headBytes == kHeadBytes)
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

size_t
ReadArrived(Input *in, uint64_t offset, unsigned char *buf, size_t n, size_t frameBytes)
{
	static unsigned char sink[1 << 16];
	size_t got = 0;

	// What was read already comes first: the part of a frame kept from the
	// last call, or the head.  Bytes before offset are read and dropped.
	if (in->carried > 0) {
		got = in->carried;
		memcpy(buf, in->carry, got);
		in->carried = 0;
	} else if (offset < in->headBytes) {
		got = in->headBytes - offset < n ? in->headBytes - offset : n;
		memcpy(buf, in->head + offset, got);
	} else if (in->consumed < offset) {
		uint64_t left = offset - in->consumed;
		ReadOnce(in, sink, left < sizeof sink ? (size_t)left : sizeof sink);
		return 0;
	}
	if (got < frameBytes)
		got += ReadOnce(in, buf + got, n - got);
	if (got < frameBytes && in->ended)
		return 0;
	size_t whole = got - got % frameBytes;
	in->carried = got - whole;
	memcpy(in->carry, buf + whole, in->carried);
	return whole;
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

static void
Refuse(const char *format, const char *path)
{
	printf(format, path);
	exit(2);
}
