// SPDX-License-Identifier: MIT
// Header probe: tags are found by trying every even offset from 2 to
// kLastProbe in the head of the file, and the fields are read at fixed
// distances from them.  Where the file is a RIFF (or RF64, or BW64) wave
// file, its chunk list is walked as well, to the end of the file, so that
// letters inside another chunk (a title tag holding "data", say) are not
// taken for the chunk itself, and chunks after long ones are found.
#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "little_endian.h"

enum { kExtensible = 0xFFFE };

// The chunk list: the next chunk's offset, and where the first "fmt " and
// "data" chunks start (0: not reached yet), with the fields read after
// their tags.  Over once it found both, or cannot go on: a name that is
// not four printable characters, the end of the input, a file that is not
// a RIFF wave file, or, in a stream, the data chunk's frames in the way.
struct ChunkWalk {
	uint64_t next, fmt, data;
	bool over;
	unsigned char format[kFormatEnd];
	unsigned char header[kChunkHeaderBytes];
};

static void WalkHead(const Input *in, ChunkWalk *walk);
static void WalkOn(Input *in, ChunkWalk *walk);
static bool Found(ChunkWalk *walk, const unsigned char *chunk, uint64_t at);
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
              uint32_t *frameBytes, uint32_t *bitsPerSample, uint32_t *formatCode)
{
	// A stream's head grows until the answer cannot change any more.  A
	// chunk the walk reaches is the answer; elsewhere the first tag the
	// probe finds is.  Fields beyond the bytes read lie in the zeroed rest
	// of the head and read as 0.
	ChunkWalk walk = {};
	size_t fmtAt = 2, dataAt = 2, probedFmt = 0, probedData = 0;
	walk.next = kFirstChunk;
	do {
		WalkHead(in, &walk);
		probedFmt = probedFmt != 0 ? probedFmt : FindTag(in, "fmt", 3, &fmtAt);
		probedData = probedData != 0 ? probedData : FindTag(in, "data", 4, &dataAt);
	} while (!(walk.over && Settled(in, walk.fmt ? (size_t)walk.fmt : probedFmt,
	                                 walk.data ? (size_t)walk.data : probedData)) &&
	         ExtendHead(in));

	// The fields of the answers found so far are read before the walk
	// goes on past the head, which a stream cannot come back to; the
	// probe's lie within the head.
	unsigned char probed[kFormatEnd] = {}, probedSize[kChunkHeaderBytes] = {};
	if (walk.fmt != 0)
		ReadAhead(in, walk.fmt, walk.format, kFormatEnd);
	else if (probedFmt != 0)
		ReadAhead(in, probedFmt, probed, kFormatEnd);
	if (walk.data != 0)
		ReadAhead(in, walk.data, walk.header, kChunkHeaderBytes);
	else if (probedData != 0)
		ReadAhead(in, probedData, probedSize, kChunkHeaderBytes);
	WalkOn(in, &walk);
	if (walk.fmt == 0 && probedFmt == 0)
		ChunkMissing("Can't find format chunk in wave file!");
	const unsigned char *format = walk.fmt ? walk.format : probed;
	*formatCode = (uint32_t)Assem2(format + kFormatCodeAt);
	if (*formatCode == kExtensible)
		*formatCode = (uint32_t)Assem2(format + kSubFormatAt);
	*channels = (uint32_t)Assem2(format + kChannelsAt);
	*sampleRate = (uint64_t)Assem4(format + kRateAt);
	*bitsPerSample = (uint32_t)Assem2(format + kBitsAt);
	*bytesPerSample = *bitsPerSample / 8;

	if (walk.data == 0 && probedData == 0)
		ChunkMissing("Can't find data block in wave file!");
	*dataOffset = (walk.data ? walk.data : probedData) + kChunkHeaderBytes;
	// The size field is signed; a negative size widens to a huge count
	// that the clamp below, or a stream's end, brings back to the frames
	// there are.
	uint64_t dataSize = (uint64_t)Assem4((walk.data ? walk.header : probedSize) + kChunkSizeAt);

	// A frame size of 0 (under 8 bits per sample, or no channel) leaves
	// no frame to count; the run refuses such a layout.  Both fields have
	// 16 bits, so the size fits 32.
	uint64_t frameSize = (uint64_t)*bytesPerSample * *channels;
	uint64_t available = in->length > *dataOffset ? in->length - *dataOffset : 0;
	uint64_t frames = frameSize ? dataSize / frameSize : 0;
	if (frames * frameSize > available)
		frames = available / frameSize;
	*frameCount = frames;
	*frameBytes = (uint32_t)frameSize;
}

// Goes on from walk->next as far as the head holds chunk headers.  Each
// chunk is an 8-byte header, a name and an unsigned 32-bit size, then its
// body and a pad byte after an odd size; so chunks start at even offsets,
// where the probe would find their names too.  A stream's walk ends at
// its data chunk when that lies past the head: its frames cannot be
// skipped.
static void
WalkHead(const Input *in, ChunkWalk *walk)
{
	const unsigned char *head = in->head;
	if (walk->over || in->headBytes < kFirstChunk)
		return;
	bool riff = memcmp(head, "RIFF", 4) == 0 || memcmp(head, "RF64", 4) == 0 ||
	            memcmp(head, "BW64", 4) == 0;
	if (!riff || memcmp(head + 8, "WAVE", 4) != 0)
		walk->over = true;
	while (!walk->over && walk->next + kChunkHeaderBytes <= in->headBytes)
		walk->over = Found(walk, head + walk->next, walk->next);
	if (in->stream && walk->data != 0 && walk->next + kChunkHeaderBytes > kHeadBytes)
		walk->over = true;
}

// Goes on past the head, reading chunk headers where they lie, to the end
// of the input.  A format chunk's fields are read as it is found: a stream
// is read only forwards.
static void
WalkOn(Input *in, ChunkWalk *walk)
{
	unsigned char chunk[kChunkHeaderBytes];
	while (!walk->over) {
		uint64_t at = walk->next;
		if (ReadAhead(in, at, chunk, sizeof chunk) < sizeof chunk)
			break;
		walk->over = Found(walk, chunk, at);
		if (walk->fmt == at)
			ReadAhead(in, at, walk->format, sizeof walk->format);
		if (walk->data == at)
			memcpy(walk->header, chunk, sizeof chunk);
		walk->over = walk->over || (in->stream && walk->data != 0);
	}
	walk->over = true;
}

// Takes the chunk whose header is at offset at, and moves on to the next;
// returns whether the walk is over.
static bool
Found(ChunkWalk *walk, const unsigned char *chunk, uint64_t at)
{
	if (!Printable(chunk))
		return true;
	if (walk->fmt == 0 && memcmp(chunk, "fmt ", 4) == 0)
		walk->fmt = at;
	if (walk->data == 0 && memcmp(chunk, "data", 4) == 0)
		walk->data = at;
	uint64_t size = (uint32_t)Assem4(chunk + kChunkSizeAt);
	walk->next += kChunkHeaderBytes + size + (size & 1);
	return walk->fmt != 0 && walk->data != 0;
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
