// Input: opening the wave file and reading it, by offset for a regular
// file and front to back for a stream.
#include "input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static size_t ReadStream(Input *in, unsigned char *buf, size_t n);
static bool SkipStream(Input *in, uint64_t offset);
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
	}
	in->headBytes = in->stream ? ReadStream(in, in->head, kHeadBytes)
	                           : ReadAt(in, 0, in->head, kHeadBytes);
}

size_t
ReadAt(Input *in, uint64_t offset, unsigned char *buf, size_t n)
{
	size_t got = 0;
	if (!in->stream) {
		// No regular file reaches past 2^63 bytes.
		if (offset > (uint64_t)INT64_MAX - in->base - n)
			return 0;
		while (got < n) {
			ssize_t r = pread(in->fd, buf + got, n - got,
			                  (off_t)(in->base + offset + got));
			if (r < 0 && errno == EINTR)
				continue;
			in->failed = r < 0;
			if (r <= 0)
				break;
			got += (size_t)r;
		}
		return got;
	}
	if (offset < in->headBytes) {
		got = in->headBytes - offset < n ? in->headBytes - offset : n;
		memcpy(buf, in->head + offset, got);
		offset += got;
	}
	if (got == n || !SkipStream(in, offset))
		return got;
	return got + ReadStream(in, buf + got, n - got);
}

// Reads until n bytes arrived or the stream ended or failed.
static size_t
ReadStream(Input *in, unsigned char *buf, size_t n)
{
	size_t got = 0;
	while (got < n && !in->ended) {
		ssize_t r = read(in->fd, buf + got, n - got);
		if (r < 0 && errno == EINTR)
			continue;
		in->failed = r < 0;
		in->ended = r <= 0;
		if (r > 0)
			got += (size_t)r;
	}
	in->consumed += got;
	return got;
}

// Reads and drops the bytes before offset.  False when the stream ends
// first.
static bool
SkipStream(Input *in, uint64_t offset)
{
	static unsigned char sink[1 << 16];
	while (in->consumed < offset && !in->ended) {
		uint64_t left = offset - in->consumed;
		ReadStream(in, sink, left < sizeof sink ? (size_t)left : sizeof sink);
	}
	return in->consumed == offset;
}

static void
Refuse(const char *format, const char *path)
{
	printf(format, path);
	exit(2);
}
