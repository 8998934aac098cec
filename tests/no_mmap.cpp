// SPDX-License-Identifier: MIT
// Preloaded into the program by the end-to-end test of files that cannot
// be mapped: mmap refuses every file, as a filesystem without mapping
// does, and notes that it did in the file $NO_MMAP_MARK.  Anonymous
// mappings go through.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool
Refused(int flags, int fd)
{
	if ((flags & MAP_ANONYMOUS) != 0 || fd < 0)
		return false;
	const char *mark = getenv("NO_MMAP_MARK");
	int note = mark != nullptr ? open(mark, O_WRONLY | O_CREAT, 0600) : -1;
	if (note >= 0)
		close(note);
	errno = ENODEV;
	return true;
}

}  // namespace

extern "C" void *
mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
	typedef void *Mmap(void *, size_t, int, int, int, off_t);
	if (Refused(flags, fd))
		return MAP_FAILED;
	return ((Mmap *)dlsym(RTLD_NEXT, "mmap"))(addr, length, prot, flags, fd, offset);
}

#ifndef __LP64__
extern "C" void *
mmap64(void *addr, size_t length, int prot, int flags, int fd, off64_t offset)
{
	typedef void *Mmap64(void *, size_t, int, int, int, off64_t);
	if (Refused(flags, fd))
		return MAP_FAILED;
	return ((Mmap64 *)dlsym(RTLD_NEXT, "mmap64"))(addr, length, prot, flags, fd, offset);
}
#endif
