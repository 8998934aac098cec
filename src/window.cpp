// SPDX-License-Identifier: MIT
// Window: a regular file's frames where they lie, mapped a window at a
// time, and the one signal handler, for pages of the window that cannot
// be read.
#include "window.h"

#include <csignal>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert((size_t)kWindowBytes >= (1 << 16) + (size_t)kMaxFrameBytes,
              "a window from the page of a frame holds the frame");

static bool MapWindow(Input *in, uint64_t at, size_t n, size_t frameBytes);
static void Unmap(Input *in);
static void OnBusError(int signal, siginfo_t *info, void *context);
static void InstallFaultHandler(Input *in);

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
const unsigned char *
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

