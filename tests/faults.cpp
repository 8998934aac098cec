// SPDX-License-Identifier: MIT
// Preloaded into the program by the end-to-end tests of an input that
// fails, as the environment asks:
//   QUORVIN_REFUSE_MMAP=MARK   mmap refuses every file, as a filesystem
//                              without mapping does, and creates MARK;
//   QUORVIN_READS_FAIL_AFTER=N reads fail once N bytes were read;
//   QUORVIN_CUT=N:SIZE:PATH    PATH is cut to SIZE bytes once N were read.
// Reads are read() of standard input and pread() of anything, and their
// checked forms, which a fortified build calls where it knows the
// buffer's size.  The build's 64-bit file offsets make mmap and pread the
// calls of mmap64 and pread64.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

long long delivered;

bool
Refused(int flags, int fd)
{
	const char *mark = getenv("QUORVIN_REFUSE_MMAP");
	if ((flags & MAP_ANONYMOUS) != 0 || fd < 0 || mark == nullptr)
		return false;
	int note = open(mark, O_WRONLY | O_CREAT, 0600);
	if (note >= 0)
		close(note);
	errno = ENODEV;
	return true;
}

// How many of n bytes a read may deliver; -1 where it fails.
ssize_t
Allowed(size_t n)
{
	const char *after = getenv("QUORVIN_READS_FAIL_AFTER");
	if (after == nullptr)
		return (ssize_t)n;
	long long left = atoll(after) - delivered;
	if (left <= 0) {
		errno = EIO;
		return -1;
	}
	return left < (long long)n ? (ssize_t)left : (ssize_t)n;
}

ssize_t
Delivered(ssize_t r)
{
	const char *cut = getenv("QUORVIN_CUT");
	long long at, size;
	int path;
	if (r > 0)
		delivered += r;
	if (cut != nullptr && sscanf(cut, "%lld:%lld:%n", &at, &size, &path) == 2 && delivered >= at &&
	    delivered - r < at && truncate(cut + path, size) != 0)
		abort();
	return r;
}

}  // namespace

extern "C" void *
mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
	typedef void *Mmap(void *, size_t, int, int, int, off_t);
	if (Refused(flags, fd))
		return MAP_FAILED;
	return ((Mmap *)dlsym(RTLD_NEXT, "mmap64"))(addr, length, prot, flags, fd, offset);
}

extern "C" ssize_t
read(int fd, void *buf, size_t n)
{
	typedef ssize_t Read(int, void *, size_t);
	ssize_t allowed = fd == STDIN_FILENO ? Allowed(n) : (ssize_t)n;
	if (allowed < 0)
		return -1;
	ssize_t r = ((Read *)dlsym(RTLD_NEXT, "read"))(fd, buf, (size_t)allowed);
	return fd == STDIN_FILENO ? Delivered(r) : r;
}

extern "C" ssize_t
__read_chk(int fd, void *buf, size_t n, size_t room)
{
	typedef ssize_t Read(int, void *, size_t, size_t);
	ssize_t allowed = fd == STDIN_FILENO ? Allowed(n) : (ssize_t)n;
	if (allowed < 0)
		return -1;
	ssize_t r = ((Read *)dlsym(RTLD_NEXT, "__read_chk"))(fd, buf, (size_t)allowed, room);
	return fd == STDIN_FILENO ? Delivered(r) : r;
}

extern "C" ssize_t
__pread64_chk(int fd, void *buf, size_t n, off_t offset, size_t room)
{
	typedef ssize_t Pread(int, void *, size_t, off_t, size_t);
	ssize_t allowed = Allowed(n);
	if (allowed < 0)
		return -1;
	return Delivered(((Pread *)dlsym(RTLD_NEXT, "__pread64_chk"))(fd, buf, (size_t)allowed,
	                                                              offset, room));
}

extern "C" ssize_t
pread(int fd, void *buf, size_t n, off_t offset)
{
	typedef ssize_t Pread(int, void *, size_t, off_t);
	ssize_t allowed = Allowed(n);
	if (allowed < 0)
		return -1;
	return Delivered(((Pread *)dlsym(RTLD_NEXT, "pread64"))(fd, buf, (size_t)allowed, offset));
}
