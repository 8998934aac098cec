// SPDX-License-Identifier: MIT
// Header probe: tags are found by trying every even offset from 2 to
// kLastProbe in the head of the file, and the fields are read at fixed
// distances from them.  Where the head is a RIFF (or RF64) wave file, its
// chunk list is walked as well, so that letters inside another chunk (a
// title tag holding "data", say) are not taken for the chunk itself.
#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "little_endian.h"

enum { kExtensible = 0xFFFE };

// The chunk list as far as the head holds it: the next chunk's offset, and
// where the first "fmt " and "data" chunks start (0: not reached yet).
// Over once it found both, or cannot go on: a name that is not four
// printable characters, a chunk beyond kLastProbe, or a head that is not
// a RIFF wave file.
struct ChunkWalk {
	uint64_t next;
	size_t fmt, data;
	bool over;
};

static void WalkChunks(const Input *in, ChunkWalk *walk);
static bool Printable(const unsigned char *name);
static size_t FindTag(const Input *in, const char *tag, size_t length, size_t *at);
static bool Settled(const Input *in, size_t fmt, size_t data);
[[noreturn]] static void ChunkMissing(const char *message);

int64_t
Assem2(const unsigned char *p)
{
	return Le16(p);
}

int64_t
Assem4(const unsigned char *p)
{
	return Signed(Le32(p), 32);
}

void
GetAttributes(Input *in, uint64_t *sampleRate, uint32_t *bytesPerSample,
              uint32_t *channels, uint64_t *dataOffset, uint64_t *frameCount,
              uint32_t *bitsPerSample, uint32_t *formatCode)
{
	// A stream's head grows until the answer cannot change any more.  A
	// chunk the walk reaches is the answer; elsewhere the first tag the
	// probe finds is.  Fields beyond the bytes read lie in the zeroed rest
	// of the head and read as 0.
	const unsigned char *head = in->head;
	ChunkWalk walk = { kFirstChunk, 0, 0, false };
	size_t fmt = 0, data = 0, fmtAt = 2, dataAt = 2, probedFmt = 0, probedData = 0;
	do {
		WalkChunks(in, &walk);
		probedFmt = probedFmt != 0 ? probedFmt : FindTag(in, "fmt", 3, &fmtAt);
		probedData = probedData != 0 ? probedData : FindTag(in, "data", 4, &dataAt);
		fmt = walk.fmt != 0 ? walk.fmt : probedFmt;
		data = walk.data != 0 ? walk.data : probedData;
	} while (!(walk.over && Settled(in, fmt, data)) && ExtendHead(in));
	if (fmt == 0)
		ChunkMissing("Can't find format chunk in wave file!");
	*formatCode = (uint32_t)Assem2(head + fmt + kFormatCodeAt);
	if (*formatCode == kExtensible)
		*formatCode = (uint32_t)Assem2(head + fmt + kSubFormatAt);
	*channels = (uint32_t)Assem2(head + fmt + kChannelsAt);
	*sampleRate = (uint64_t)Assem4(head + fmt + kRateAt);
	*bitsPerSample = (uint32_t)Assem2(head + fmt + kBitsAt);
	*bytesPerSample = *bitsPerSample / 8;

	if (data == 0)
		ChunkMissing("Can't find data block in wave file!");
	*dataOffset = data + kChunkHeaderBytes;
	// The size field is signed; a negative size widens to a huge count
	// that the clamp below, or a stream's end, brings back to the frames
	// there are.
	uint64_t dataSize = (uint64_t)Assem4(head + data + kChunkSizeAt);

	// A frame size of 0 (under 8 bits per sample, or no channel) leaves
	// no frame to count; the run refuses such a layout.
	uint64_t frameSize = (uint64_t)*bytesPerSample * *channels;
	uint64_t available = in->length > *dataOffset ? in->length - *dataOffset : 0;
	uint64_t frames = frameSize ? dataSize / frameSize : 0;
	if (frames * frameSize > available)
		frames = available / frameSize;
	*frameCount = frames;
}

// Goes on from walk->next as far as the head holds chunk headers.  Each
// chunk is an 8-byte header, a name and an unsigned 32-bit size, then its
// body and a pad byte after an odd size; so chunks start at even offsets,
// where the probe would find their names too.
static void
WalkChunks(const Input *in, ChunkWalk *walk)
{
	const unsigned char *head = in->head;
	if (walk->over || in->headBytes < kFirstChunk)
		return;
	bool riff = memcmp(head, "RIFF", 4) == 0 || memcmp(head, "RF64", 4) == 0;
	if (!riff || memcmp(head + 8, "WAVE", 4) != 0)
		walk->over = true;
	while (!walk->over && walk->next + kChunkHeaderBytes <= in->headBytes) {
		const unsigned char *chunk = head + walk->next;
		if (!Printable(chunk)) {
			walk->over = true;
			break;
		}
		if (walk->fmt == 0 && memcmp(chunk, "fmt ", 4) == 0)
			walk->fmt = (size_t)walk->next;
		if (walk->data == 0 && memcmp(chunk, "data", 4) == 0)
			walk->data = (size_t)walk->next;
		uint64_t size = (uint32_t)Assem4(chunk + kChunkSizeAt);
		walk->next += kChunkHeaderBytes + size + (size & 1);
		walk->over = (walk->fmt != 0 && walk->data != 0) || walk->next > kLastProbe;
	}
}

static bool
Printable(const unsigned char *name)
{
	for (int i = 0; i < 4; i++)
		if (name[i] < 0x20 || name[i] > 0x7E)
			return false;
	return true;
}

// Tries the even offsets from *at on, up to kLastProbe, and leaves *at at
// the first that cannot be tried yet.  A tag matches only where all its
// bytes were read, as a seek and read at that offset would find it; so a
// tag found is the first, however many bytes follow.
static size_t
FindTag(const Input *in, const char *tag, size_t length, size_t *at)
{
	for (; *at <= kLastProbe && *at + length <= in->headBytes; *at += 2)
		if (memcmp(in->head + *at, tag, length) == 0)
			return *at;
	return 0;
}

// Whether both tags were found and every field read after them has
// arrived: the format code, channels, rate and bits (and an extensible
// header's sub-format), and the data size.
static bool
Settled(const Input *in, size_t fmt, size_t data)
{
	size_t have = in->headBytes;
	if (fmt == 0 || data == 0 || have < data + kChunkHeaderBytes || have < fmt + kPlainFormatEnd)
		return false;
	return Assem2(in->head + fmt + kFormatCodeAt) != kExtensible || have >= fmt + kFormatEnd;
}

static void
ChunkMissing(const char *message)
{
	puts(message);
	exit(2);
}
