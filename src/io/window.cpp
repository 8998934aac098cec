// SPDX-License-Identifier: MIT
// Window: a regular file's frames where they lie, mapped a window at a
// time, and the one signal handler, for pages of the window that cannot
// be read.
#include "io/window.h"

#include <atomic>
#include <csignal>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/read_limits.h"

// Pages are 4 KiB to 64 KiB (arm64 and ppc64 kernels use 64 KiB).
enum { kLargestPage = 1 << 16 };
static_assert((size_t)kWindowBytes >= (size_t)kLargestPage + kLongestFrame,
              "a window from the page of a frame holds the frame");

// The handler's view of the window: where the mapping lies, where a fault
// in it returns, and where the fault was.  A signal handler may touch
// only lock-free atomics, so these are; each is stored before the
// handler can need it, and the mapping is unguarded before it is unmapped.
static std::atomic<uintptr_t> guardedFrom, guardedTo, faultAt;
static std::atomic<sigjmp_buf *> landing;
static_assert(std::atomic<uintptr_t>::is_always_lock_free &&
              std::atomic<sigjmp_buf *>::is_always_lock_free,
              "the handler's view is lock-free");

static bool MapWindow(Window *w, uint64_t at, size_t most, size_t need);
static void Unmap(Window *w);
static uint64_t FileSize(Window *w);
static void Guard(Window *w);
static void OnBusError(int signal, siginfo_t *info, void *context);

void
StartWindow(Window *w, int fd, uint64_t base)
{
	w->fd = fd;
	w->base = base;
	w->mapping = NULL;
	w->mappingBytes = w->count = 0;
	w->bytes = NULL;
	w->from = w->handed = 0;
	w->lostAt = kNothingLost;
	w->refused = w->failed = false;
}

// The file's size is checked before each window: frames past it are not
// handed on, and bytes handed on before that it no longer holds are
// lost.
bool
WindowFrames(Window *w, uint64_t offset, size_t most, size_t frameBytes,
             const unsigned char **frames, size_t *bytes)
{
	size_t need = most < frameBytes ? most : frameBytes;
	*bytes = 0;
	bool holds = w->mapping != NULL && offset >= w->from && offset - w->from + need <= w->count;
	if (!holds && !MapWindow(w, offset, most, need))
		return false;
	size_t have = w->count - (size_t)(offset - w->from);
	size_t whole = (have < most ? have : most) / frameBytes * frameBytes;
	*bytes = whole != 0 ? whole : need;
	*frames = w->bytes + (offset - w->from);
	if (offset + *bytes > w->handed)
		w->handed = offset + *bytes;
	return true;
}

// The size is checked once more: the last window may have been cut short
// after it was mapped, and a page that straddles the new end reads as
// zeros, not as a fault.
uint64_t
EndWindow(Window *w)
{
	uintptr_t fault = faultAt.exchange(0), first = (uintptr_t)w->bytes;
	if (fault != 0 && w->mapping != NULL && w->lostAt == kNothingLost)
		w->lostAt = w->from + (fault > first ? fault - first : 0);
	Unmap(w);
	uint64_t size = FileSize(w), lost = w->lostAt;
	if (!w->failed && size < w->handed && size < lost)
		lost = size;
	return lost;
}

// Maps the window from the page of offset at on, over the most bytes
// wanted as far as kWindowBytes and the file's end allow, if the file
// still holds need bytes there and every byte handed on before.
// Populating the whole window at once spares a fault for each page (a
// fifth faster where the page cache holds small pages).
static bool
MapWindow(Window *w, uint64_t at, size_t most, size_t need)
{
	uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
	Unmap(w);
	uint64_t size = FileSize(w);
	if (w->failed)
		return false;
	if (size < w->handed)
		w->lostAt = size;
	if (w->lostAt != kNothingLost || size < at + need)
		return false;
	uint64_t end = size - at < most ? size : at + most;
	uint64_t first = (w->base + at) / page * page;
	if (w->base + end - first > kWindowBytes)
		end = first + kWindowBytes - w->base;
	size_t length = (size_t)(w->base + end - first);
	void *map = mmap(NULL, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, w->fd, (off_t)first);
	if (map == MAP_FAILED) {
		w->refused = true;
		return false;
	}
	w->mapping = (unsigned char *)map;
	w->mappingBytes = length;
	w->from = first > w->base ? first - w->base : 0;
	w->bytes = w->mapping + (w->base + w->from - first);
	w->count = (size_t)(end - w->from);
	Guard(w);
	return true;
}

static void
Unmap(Window *w)
{
	guardedFrom.store(0);
	if (w->mapping != NULL)
		munmap(w->mapping, w->mappingBytes);
	w->mapping = NULL;
	w->mappingBytes = w->count = 0;
}

// The file's bytes from the input's first on; 0 where its size cannot be
// read, which sets w->failed.
static uint64_t
FileSize(Window *w)
{
	struct stat st;
	if (fstat(w->fd, &st) != 0) {
		w->failed = true;
		return 0;
	}
	return (uint64_t)st.st_size > w->base ? (uint64_t)st.st_size - w->base : 0;
}

// The handler is installed once the first window is there to guard.
static void
Guard(Window *w)
{
	static bool installed;
	landing.store(&w->landing);
	guardedTo.store((uintptr_t)(w->mapping + w->mappingBytes));
	guardedFrom.store((uintptr_t)w->mapping);
	if (installed)
		return;
	struct sigaction action = {};
	action.sa_sigaction = OnBusError;
	action.sa_flags = SA_SIGINFO;
	sigemptyset(&action.sa_mask);
	sigaction(SIGBUS, &action, NULL);
	installed = true;
}

// A page of the window that cannot be read (past the end of a file that
// shrank, or failed by the disk) raises SIGBUS where the sums or the
// decoders read it.  The handler leaves them by siglongjmp to where their
// caller armed landing: safe there, since they only compute, without a
// lock, an allocation or a call into the C library that the jump could
// leave half done, and their caller then only reports and ends.  A fault outside the
// window is none of this: the default action is restored, to be taken as
// the faulting instruction runs again.
static void
OnBusError(int signal, siginfo_t *info, void *context)
{
	(void)context;
	uintptr_t at = (uintptr_t)info->si_addr, from = guardedFrom.load();
	sigjmp_buf *back = landing.load();
	if (from != 0 && at >= from && at < guardedTo.load() && back != NULL) {
		faultAt.store(at);
		siglongjmp(*back, 1);
	}
	struct sigaction fallback = {};
	fallback.sa_handler = SIG_DFL;
	sigaction(signal, &fallback, NULL);
}
