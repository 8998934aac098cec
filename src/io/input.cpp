// SPDX-License-Identifier: MIT
// Input: opening the wave file and reading it, by offset for a regular
// file (its frames where they lie, window.cpp), and front to back, as its
// bytes arrive, for a stream.
#include "io/input.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/window.h"

enum {
	// A regular file's bytes for the probe are read this many at a time,
	// so that a walk over many small chunks reads each piece once.
	kCacheBytes = 4096,
	// A stream's bytes read past its kept head and not handed on yet are
	// held, up to kHeldBytes of them, behind room for one frame: there a
	// frame that begins in the kept head is put together.
	kHeldBytes = 1 << 20,
	kHeldFrom = kLongestFrame,
};
static_assert(kReadBytes >= kLongestFrame, "a read holds a frame");

// The one input of the process, whatever it is.  Offsets count from the
// input's first byte.
struct Input {
	int fd;
	bool stream;
	bool ended;               // a stream delivered its last byte
	bool readFailed;          // a read failed
	bool headRead;            // a regular file's head was read
	uint64_t base;            // where a regular file's first byte lies in the file
	uint64_t length;          // a regular file's bytes from base on, when opened
	Window window;            // a regular file's mapped frames
	// A regular file's bytes for the probe: cacheBytes of them from cacheAt.
	uint64_t cacheAt;
	size_t cacheBytes;
	unsigned char cache[kCacheBytes];
	// A regular file's frames read where it cannot be mapped.
	unsigned char frames[kReadBytes];
	// A stream: the first kept of its keptHead first bytes, then held[heldAt
	// ...], the heldBytes that arrived last, up to arrived.
	size_t keptHead, kept;
	uint64_t arrived;
	size_t heldAt, heldBytes;
	unsigned char head[kMaxKeptHead];
	unsigned char held[kHeldFrom + kHeldBytes];
};

static Input input;

static FramesResult FileFrames(Input *in, uint64_t offset, size_t most, size_t frameBytes,
                               const unsigned char **frames, size_t *bytes, uint64_t *lost);
static FramesResult ArrivedFrames(Input *in, uint64_t offset, size_t most, size_t frameBytes,
                                  const unsigned char **frames, size_t *bytes);
static size_t ReadAt(Input *in, uint64_t offset, unsigned char *buf, size_t n);
static size_t ReadOnce(Input *in, unsigned char *buf, size_t n);
static size_t CopyFromFile(Input *in, uint64_t offset, unsigned char *buf, size_t n);
static size_t CopyFromStream(Input *in, uint64_t offset, unsigned char *buf, size_t n);
static uint64_t HeldStart(const Input *in);
static void DropBefore(Input *in, uint64_t offset);
static void ReadHeld(Input *in);

OpenResult
OpenInput(const char *path, size_t keptHead, Input **opened)
{
	Input *in = &input;
	struct stat st;
	CloseInput(in);
	int fd = strcmp(path, "-") == 0 ? STDIN_FILENO : open(path, O_RDONLY);
	if (fd < 0 || fstat(fd, &st) != 0)
		return kNotFound;
	if (S_ISDIR(st.st_mode))
		return kNotRegular;
	if (isatty(fd))
		return kTerminal;
	in->fd = fd;
	in->stream = !S_ISREG(st.st_mode);
	in->ended = in->readFailed = in->headRead = false;
	in->base = 0;
	in->length = UINT64_MAX;
	in->cacheAt = in->cacheBytes = 0;
	in->keptHead = keptHead < (size_t)kMaxKeptHead ? keptHead : (size_t)kMaxKeptHead;
	in->kept = in->heldBytes = 0;
	in->arrived = 0;
	in->heldAt = kHeldFrom;
	if (!in->stream) {
		// Standard input may have been left part way into its file.
		off_t at = lseek(fd, 0, SEEK_CUR);
		in->base = at > 0 ? (uint64_t)at : 0;
		in->length = (uint64_t)st.st_size > in->base ? st.st_size - in->base : 0;
	}
	StartWindow(&in->window, fd, in->base);
	*opened = in;
	return kOpened;
}

void
CloseInput(Input *in)
{
	if (in->fd > STDIN_FILENO)
		close(in->fd);
	in->fd = -1;
}

bool
IsStream(const Input *in)
{
	return in->stream;
}

uint64_t
InputLength(const Input *in)
{
	return in->length;
}

// A stream's head is read into the kept head and copied from there, and
// only while nothing was read past it.
size_t
ReadHead(Input *in, unsigned char *head, size_t have, size_t want, bool *failed)
{
	size_t got = 0;
	if (!in->stream) {
		got = in->headRead || have >= want ? 0 : ReadAt(in, have, head + have, want - have);
		in->headRead = true;
	} else {
		want = want < in->keptHead ? want : in->keptHead;
		if (in->ended || have != in->kept || have >= want || in->arrived != in->kept)
			return 0;
		got = ReadOnce(in, in->head + in->kept, want - in->kept);
		memcpy(head + have, in->head + in->kept, got);
		in->kept += got;
	}
	*failed = *failed || in->readFailed;
	return got;
}

size_t
CopyBytes(Input *in, uint64_t offset, unsigned char *buf, size_t n, bool *failed)
{
	size_t got = in->stream ? CopyFromStream(in, offset, buf, n) : CopyFromFile(in, offset, buf, n);
	*failed = *failed || in->readFailed;
	return got;
}

FramesResult
NextFrames(Input *in, uint64_t offset, size_t most, size_t frameBytes,
           const unsigned char **frames, size_t *bytes, uint64_t *lost)
{
	*bytes = 0;
	*lost = offset;
	if (most == 0 || frameBytes == 0 || frameBytes > kLongestFrame)
		return kBytesLost;
	if (!in->stream)
		return FileFrames(in, offset, most, frameBytes, frames, bytes, lost);
	FramesResult result = ArrivedFrames(in, offset, most, frameBytes, frames, bytes);
	if (result == kInputEnded && in->readFailed)
		return kBytesLost;
	return result;
}

bool
WouldWait(const Input *in)
{
	struct pollfd ready = { in->fd, POLLIN, 0 };
	return in->stream && !in->ended && poll(&ready, 1, 0) == 0;
}

sigjmp_buf *
FaultReturn(Input *in)
{
	return &in->window.landing;
}

uint64_t
StopReading(Input *in)
{
	return in->stream ? kNothingLost : EndWindow(&in->window);
}

// A regular file's frames are mapped where they lie; where it cannot be
// mapped, read into in->frames.  Frames it no longer holds are lost, as
// far back as it lost what was handed on before.
static FramesResult
FileFrames(Input *in, uint64_t offset, size_t most, size_t frameBytes,
           const unsigned char **frames, size_t *bytes, uint64_t *lost)
{
	Window *w = &in->window;
	if (offset <= in->length && !w->refused &&
	    WindowFrames(w, offset, most, frameBytes, frames, bytes))
		return kFramesHere;
	if (offset <= in->length && w->refused && !w->failed) {
		size_t want = most < (size_t)kReadBytes ? most : (size_t)kReadBytes;
		size_t got = ReadAt(in, offset, in->frames, want);
		*bytes = got / frameBytes * frameBytes;
		if (*bytes == 0 && want < frameBytes && got == want)
			*bytes = want;
		*frames = in->frames;
		if (*bytes != 0)
			return kFramesHere;
	}
	uint64_t end = StopReading(in);
	*lost = end < offset ? end : offset;
	return kBytesLost;
}

// The frames from offset on that have arrived, as one run of bytes: from
// the kept head, or held, where a frame begun in the kept head is put
// together in front of the bytes after it.  Bytes that were dropped are
// lost to the scan.  Where the stream ended within a frame, what is left
// is handed on, then the end.
static FramesResult
ArrivedFrames(Input *in, uint64_t offset, size_t most, size_t frameBytes,
              const unsigned char **frames, size_t *bytes)
{
	size_t need = most < frameBytes ? most : frameBytes, have;
	if (offset < in->kept && in->kept - offset >= need) {
		have = (size_t)(in->kept - offset);
		*frames = in->head + offset;
	} else {
		uint64_t from = offset < in->kept ? in->kept : offset;
		if (from < HeldStart(in)) {
			in->ended = true;
			return kBytesLost;
		}
		size_t begun = (size_t)(from - offset);
		DropBefore(in, from);
		if (in->arrived < from || in->heldBytes + begun < need)
			ReadHeld(in);
		DropBefore(in, from);
		have = in->arrived > from ? begun + in->heldBytes : begun;
		*frames = in->held + in->heldAt - begun;
		memcpy(in->held + in->heldAt - begun, in->head + offset, begun);
		if (have < need && !in->ended)
			return kNotYet;
		if (have == 0 || (have < need && in->readFailed))
			return kInputEnded;
	}
	size_t whole = (have < most ? have : most) / frameBytes * frameBytes;
	*bytes = whole != 0 ? whole : have < need ? have : need;
	return kFramesHere;
}

// Reads n bytes of a regular file at offset into buf and returns how many
// were delivered: fewer only at its end, or on a read error.
static size_t
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
		in->readFailed = in->readFailed || r < 0;
		if (r <= 0)
			break;
		got += (size_t)r;
	}
	return got;
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
		in->readFailed = r < 0;
		in->ended = r <= 0;
		if (r <= 0)
			return 0;
		in->arrived += (size_t)r;
		return (size_t)r;
	}
}

// Bytes of a regular file for the probe come through the cache; longer
// runs are read straight into buf.
static size_t
CopyFromFile(Input *in, uint64_t offset, unsigned char *buf, size_t n)
{
	if (n > kCacheBytes)
		return ReadAt(in, offset, buf, n);
	if (offset < in->cacheAt || offset + n > in->cacheAt + in->cacheBytes) {
		in->cacheAt = offset;
		in->cacheBytes = ReadAt(in, offset, in->cache, kCacheBytes);
	}
	uint64_t end = in->cacheAt + in->cacheBytes;
	size_t more = offset >= end ? 0 : end - offset < n ? (size_t)(end - offset) : n;
	memcpy(buf, in->cache + (offset - in->cacheAt), more);
	return more;
}

// A stream's bytes from the kept head, then held or read on into held
// until it is full; then the bytes before offset are dropped.
static size_t
CopyFromStream(Input *in, uint64_t offset, unsigned char *buf, size_t n)
{
	size_t got = 0;
	if (offset < in->kept) {
		got = in->kept - offset < n ? (size_t)(in->kept - offset) : n;
		memcpy(buf, in->head + offset, got);
	}
	uint64_t at = offset + got, end = offset + n;
	if (got == n || at < HeldStart(in))
		return got;
	while (in->arrived < end && !in->ended) {
		if (in->heldBytes == kHeldBytes)
			DropBefore(in, at);
		ReadHeld(in);
	}
	if (in->arrived <= at)
		return got;
	size_t more = (size_t)((in->arrived < end ? in->arrived : end) - at);
	memcpy(buf + got, in->held + in->heldAt + (at - HeldStart(in)), more);
	return got + more;
}

// Where the held bytes start in the stream.
static uint64_t
HeldStart(const Input *in)
{
	return in->arrived - in->heldBytes;
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

// Reads once more of the stream after the held bytes, at most kReadBytes.
// Fewer than a frame's bytes are moved to the front first, so that a scan
// keeps using the same few pages; more only when there is no room after
// them.
static void
ReadHeld(Input *in)
{
	size_t room = sizeof in->held - in->heldAt - in->heldBytes;
	if (in->heldAt != kHeldFrom && (in->heldBytes < kHeldFrom || room < kReadBytes)) {
		memmove(in->held + kHeldFrom, in->held + in->heldAt, in->heldBytes);
		in->heldAt = kHeldFrom;
		room = sizeof in->held - in->heldAt - in->heldBytes;
	}
	if (room > 0)
		in->heldBytes += ReadOnce(in, in->held + in->heldAt + in->heldBytes,
		                          room < (size_t)kReadBytes ? room : (size_t)kReadBytes);
}
