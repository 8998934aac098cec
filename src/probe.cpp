#include "probe.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Tags are looked for at even offsets from 2 to kLastProbe; the fields read
// after a tag reach at most 23 bytes beyond it.
enum { kLastProbe = 15000, kHeadBytes = kLastProbe + 24 };

static size_t ReadHead(FILE *fp, unsigned char *head);
static uint64_t FindTag(const unsigned char *head, size_t got,
                        const char *tag, size_t length);
static uint64_t FileLength(FILE *fp);
static void ChunkMissing(const char *message);

int64_t
Assem2(const unsigned char *p)
{
	return p[0] + 256 * p[1];
}

int64_t
Assem4(const unsigned char *p)
{
	int64_t top = p[3] < 128 ? p[3] : p[3] - 256;
	return p[0] + (p[1] << 8) + (p[2] << 16) + top * 16777216;
}

FILE *
OpenWave(const char *path)
{
	// O_NONBLOCK keeps the open of a FIFO from waiting for a writer; such
	// a file is refused just below anyway.
	int fd = open(path, O_RDONLY | O_NONBLOCK);
	struct stat st;
	if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
		printf("The file called %s is not a regular file!\n", path);
		exit(2);
	}
	FILE *fp = fd < 0 ? NULL : fdopen(fd, "rb");
	if (fp == NULL) {
		printf("The file called %s cannot be found!\n", path);
		exit(2);
	}
	fcntl(fd, F_SETFL, 0);   // plain blocking reads from here on
	return fp;
}

void
GetAttributes(const char *path, int64_t *sampleRate, uint32_t *bytesPerSample,
              uint32_t *channels, uint64_t *dataOffset, uint64_t *frameCount)
{
	unsigned char head[kHeadBytes];
	FILE *fp = OpenWave(path);
	size_t got = ReadHead(fp, head);

	uint64_t fmt = FindTag(head, got, "fmt", 3);
	if (fmt == 0)
		ChunkMissing("Can't find format chunk in wave file!");
	*channels = (uint32_t)Assem2(head + fmt + 10);
	*sampleRate = Assem4(head + fmt + 12);
	*bytesPerSample = (uint32_t)(Assem2(head + fmt + 22) / 8);

	uint64_t data = FindTag(head, got, "data", 4);
	if (data == 0)
		ChunkMissing("Can't find data block in wave file!");
	*dataOffset = data + 8;
	// The size field is signed; a negative size widens to a huge count
	// that the clamp below brings back to what the file holds.
	uint64_t dataSize = (uint64_t)Assem4(head + data + 4);

	// A frame size of 0 (under 8 bits per sample, or no channel) leaves
	// no frame to count; the run refuses such a layout.
	uint64_t frameSize = (uint64_t)*bytesPerSample * *channels;
	uint64_t length = FileLength(fp);
	uint64_t available = length > *dataOffset ? length - *dataOffset : 0;
	uint64_t frames = frameSize ? dataSize / frameSize : 0;
	if (frames * frameSize > available)
		frames = available / frameSize;
	*frameCount = frames;
	fclose(fp);
}

// Reads the start of the file once; a tag matches only where all its bytes
// were read, exactly as a seek and read at that offset would find it.
// Bytes past the end of the file stay zero, so a field cut off by the end
// of the file reads as 0.
static size_t
ReadHead(FILE *fp, unsigned char *head)
{
	memset(head, 0, kHeadBytes);
	return fread(head, 1, kHeadBytes, fp);
}

static uint64_t
FindTag(const unsigned char *head, size_t got, const char *tag, size_t length)
{
	for (uint64_t at = 2; at <= kLastProbe; at += 2)
		if (at + length <= got && memcmp(head + at, tag, length) == 0)
			return at;
	return 0;
}

static uint64_t
FileLength(FILE *fp)
{
	if (fseeko(fp, 0, SEEK_END) != 0)
		return 0;
	off_t end = ftello(fp);
	return end > 0 ? (uint64_t)end : 0;
}

static void
ChunkMissing(const char *message)
{
	puts(message);
	exit(2);
}
