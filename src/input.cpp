// SPDX-License-Identifier: MIT
// Input: opening the wave file and reading it, by offset for a regular
// file, where it lies in a window of its mapping, and front to back, as
// its bytes arrive, for a stream.
#include "input.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// A regular file's bytes past its head are read this many at a time.
enum { kFileWindow = 4096 };

static_assert((size_t)kWindowBytes >= (1 << 16) + (size_t)kMaxFrameBytes,
              "a window from the page of a frame holds the frame");

static const unsigned char *MappedFrames(Input *in, uint64_t offset, size_t n,
                                         size_t frameBytes, size_t *bytes);
static bool MapWindow(Input *in, uint64_t at, size_t n, size_t frameBytes);
static void Unmap(Input *in);
static void OnBusError(int signal, siginfo_t *info, void *context);
static void InstallFaultHandler(Input *in);
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

sigjmp_buf *
FaultReturn(Input *in)
{
	return &in->fault;
}

// The size is checked once more: the last window may have been cut short
// after it was mapped, and a page that straddles the new end reads as
// zeros, not as a fault.
uint64_t
LostOffset(Input *in)
{
	struct stat st;
	uint64_t lost = in->lostAt;
	Unmap(in);
	if (!in->stream && fstat(in->fd, &st) == 0) {
		uint64_t size = (uint64_t)st.st_size > in->base ? st.st_size - in->base : 0;
		if (size < in->handed && size < lost)
			lost = size;
	}
	return lost;
}

// A regular file's frames are mapped where they lie, a window at a time.
// The file's size is checked before each window: frames past it are not
// handed on, and bytes handed on before that it no longer holds are
// lost.
static const unsigned char *
MappedFrames(Input *in, uint64_t offset, size_t n, size_t frameBytes, size_t *bytes)
{
	*bytes = 0;
	uint64_t at = in->base + offset;
	bool inWindow = in->map != NULL && at >= in->mapAt &&
	                at - in->mapAt + frameBytes <= in->mapBytes;
	if (!inWindow && !MapWindow(in, at, n, frameBytes))
		return NULL;
	size_t have = in->mapBytes - (size_t)(at - in->mapAt);
	*bytes = (have < n ? have : n) / frameBytes * frameBytes;
	if (offset + *bytes > in->handed)
		in->handed = offset + *bytes;
	return in->map + (at - in->mapAt);
}

// Maps the window from the page of the file offset at on, over the n
// bytes wanted as far as kWindowBytes and the file's end allow.  False,
// mapping nothing, where the file no longer holds a frame at at, or lost
// bytes handed on before (in->lostAt), or cannot be mapped
// (in->unmappable).  Populating the whole window at once spares a fault
// for each page (a fifth faster where the page cache holds small pages).
static bool
MapWindow(Input *in, uint64_t at, size_t n, size_t frameBytes)
{
	uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
	struct stat st;
	Unmap(in);
	if (fstat(in->fd, &st) != 0) {
		in->failed = true;
		return false;
	}
	uint64_t size = (uint64_t)st.st_size, from = at / page * page;
	if (size < in->base + in->handed)
		in->lostAt = size > in->base ? size - in->base : 0;
	if (in->lostAt != UINT64_MAX || size < at + frameBytes)
		return false;
	uint64_t end = size - at < n ? size : at + n;
	if (end - from > kWindowBytes)
		end = from + kWindowBytes;
	void *map = mmap(NULL, (size_t)(end - from), PROT_READ, MAP_PRIVATE | MAP_POPULATE, in->fd,
	                 (off_t)from);
	if (map == MAP_FAILED) {
		in->unmappable = true;
		return false;
	}
	in->map = (unsigned char *)map;
	in->mapAt = from;
	in->mapBytes = (size_t)(end - from);
	InstallFaultHandler(in);
	return true;
}

static void
Unmap(Input *in)
{
	if (in->map != NULL)
		munmap(in->map, in->mapBytes);
	in->map = NULL;
	in->mapBytes = 0;
}

// The input whose window the handler guards: one at a time, as one
// process reads one file.
static Input *guarded;

// A page of the window that cannot be read (past the end of a file that
// shrank, or failed by the disk) raises SIGBUS where the scan's sums read
// it.  The handler leaves them by siglongjmp to where the scan armed
// FaultReturn: safe there, since the sums only add, without a lock, an
// allocation or a call into the C library that the jump could leave
// half done, and the scan then only reports and ends.  A fault outside
// the window is none of this: the default action is restored, to be
// taken as the faulting instruction runs again.
static void
OnBusError(int signal, siginfo_t *info, void *context)
{
	(void)context;
	Input *in = guarded;
	const unsigned char *at = (const unsigned char *)info->si_addr;
	if (in != NULL && in->map != NULL && at >= in->map && at < in->map + in->mapBytes) {
		in->lostAt = in->mapAt + (uint64_t)(at - in->map) - in->base;
		siglongjmp(in->fault, 1);
	}
	struct sigaction fallback = {};
	fallback.sa_handler = SIG_DFL;
	sigaction(signal, &fallback, NULL);
}

static void
InstallFaultHandler(Input *in)
{
	if (guarded == in)
		return;
	struct sigaction action = {};
	action.sa_sigaction = OnBusError;
	action.sa_flags = SA_SIGINFO;
	sigemptyset(&action.sa_mask);
	sigaction(SIGBUS, &action, NULL);
	guarded = in;
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
