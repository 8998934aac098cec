// SPDX-License-Identifier: MIT
// Header probe: tags are found by trying every even offset from 2 to
// kLastProbe in the head of the file, and the fields are read at fixed
// distances from them.  Where the file is a RIFF (or RF64, or BW64) wave
// file, its chunk list is walked as well, to the end of the file, so that
// letters inside another chunk (a title tag holding "data", say) are not
// taken for the chunk itself, and chunks after long ones are found.  A
// chunk the walk reaches is the answer; elsewhere the first tag the probe
// finds is.
#include "wave/probe.h"

#include <cstring>

#include "wave/little_endian.h"
#include "wave/wave_header.h"

enum { kExtensible = 0xFFFE };

// The first bytes of the input, which the probe searches: zero past the
// bytes read, so that fields beyond them read as 0.
struct Head {
	size_t bytes;
	unsigned char at[kHeadBytes];
};

// A chunk found: where its header starts (0: none), and the bytes from
// there that hold its fields.
struct Found {
	uint64_t at;
	unsigned char fields[kFormatEnd];
};

// The chunk list: the next chunk's offset and the first format and data
// chunks.  Over once it found both, or cannot go on: a name that is not
// four printable characters, the end of the input, a file that is not a
// RIFF wave file, or, in a stream, the data chunk's frames in the way.
struct ChunkWalk {
	uint64_t next;
	bool over;
	Found fmt, data;
};

// The tags the probe found (at 0: not yet), and where it tries next.
struct Probe {
	Found fmt, data;
	size_t fmtFrom, dataFrom;
};

static void ReadHeadAsNeeded(Input *in, Head *head, ChunkWalk *walk, Probe *probe, bool *failed);
static bool ReadMore(Input *in, Head *head, bool *failed);
static void WalkHead(const Input *in, const Head *head, ChunkWalk *walk);
static void WalkOn(Input *in, const Head *head, ChunkWalk *walk, bool *failed);
static size_t CopyFields(Input *in, const Head *head, uint64_t at, unsigned char *out, size_t n,
                         bool *failed);
static bool Take(ChunkWalk *walk, const unsigned char *chunk, uint64_t at);
static bool Printable(const unsigned char *name);
static void FindTag(const Head *head, const char *tag, size_t length, size_t *from, Found *found);
static const Found *Chosen(const Found *walked, const Found *probed);
static bool Settled(const Head *head, const Found *fmt, const Found *data);
static void ReadFormat(const Found *fmt, Wave *wave);
static void ReadData(const Input *in, const Found *data, Wave *wave);

// Little-endian assembly of header fields.  Assem2 reads an unsigned 16-bit
// value, Assem4 a signed 32-bit value; both come back widened to 64 bits.
static int64_t
Assem2(const unsigned char *p)
{
	return Le16(p);
}

static int64_t
Assem4(const unsigned char *p)
{
	return Signed(Le32(p), 32);
}

ProbeResult
GetAttributes(Input *in, Wave *wave)
{
	static Head head;
	ChunkWalk walk = {};
	Probe probe = {};
	bool failed = false;
	walk.next = kFirstChunk;
	probe.fmtFrom = probe.dataFrom = 2;
	memset(&head, 0, sizeof head);
	ReadHeadAsNeeded(in, &head, &walk, &probe, &failed);
	// The fields of the chunks walked so far are read before the walk goes
	// on past the head, which a stream cannot come back to.
	if (walk.fmt.at != 0)
		CopyFields(in, &head, walk.fmt.at, walk.fmt.fields, kFormatEnd, &failed);
	if (walk.data.at != 0)
		CopyFields(in, &head, walk.data.at, walk.data.fields, kChunkHeaderBytes, &failed);
	WalkOn(in, &head, &walk, &failed);
	if (failed)
		return kUnreadable;
	const Found *fmt = Chosen(&walk.fmt, &probe.fmt), *data = Chosen(&walk.data, &probe.data);
	if (fmt == NULL)
		return kNoFormatChunk;
	ReadFormat(fmt, wave);
	if (data == NULL)
		return kNoDataChunk;
	ReadData(in, data, wave);
	return kProbed;
}

// A stream's head grows until the answer cannot change any more; a
// regular file's is read at once.  The walk and the probe go on from where
// they stopped each time it grows.
static void
ReadHeadAsNeeded(Input *in, Head *head, ChunkWalk *walk, Probe *probe, bool *failed)
{
	do {
		WalkHead(in, head, walk);
		FindTag(head, "fmt", 3, &probe->fmtFrom, &probe->fmt);
		FindTag(head, "data", 4, &probe->dataFrom, &probe->data);
		if (walk->over && Settled(head, Chosen(&walk->fmt, &probe->fmt),
		                          Chosen(&walk->data, &probe->data)))
			return;
	} while (ReadMore(in, head, failed));
}

static bool
ReadMore(Input *in, Head *head, bool *failed)
{
	size_t more = ReadHead(in, head->at, head->bytes, kHeadBytes, failed);
	head->bytes += more;
	return more != 0 && !*failed;
}

// Goes on from walk->next as far as the head holds chunk headers.  Each
// chunk is an 8-byte header, a name and an unsigned 32-bit size, then its
// body and a pad byte after an odd size; so chunks start at even offsets,
// where the probe would find their names too.  A stream's walk ends at
// its data chunk when that lies past the head: its frames cannot be
// skipped.
static void
WalkHead(const Input *in, const Head *head, ChunkWalk *walk)
{
	const unsigned char *at = head->at;
	if (walk->over || head->bytes < kFirstChunk)
		return;
	bool riff = memcmp(at, "RIFF", 4) == 0 || memcmp(at, "RF64", 4) == 0 ||
	            memcmp(at, "BW64", 4) == 0;
	if (!riff || memcmp(at + 8, "WAVE", 4) != 0)
		walk->over = true;
	while (!walk->over && walk->next + kChunkHeaderBytes <= head->bytes)
		walk->over = Take(walk, at + walk->next, walk->next);
	if (IsStream(in) && walk->data.at != 0 && walk->next + kChunkHeaderBytes > kHeadBytes)
		walk->over = true;
}

// Goes on past the head, reading chunk headers where they lie, to the end
// of the input.  A format chunk's fields are read as it is found: a stream
// is read only forwards.
static void
WalkOn(Input *in, const Head *head, ChunkWalk *walk, bool *failed)
{
	unsigned char chunk[kChunkHeaderBytes];
	while (!walk->over && !*failed) {
		uint64_t at = walk->next;
		if (CopyFields(in, head, at, chunk, sizeof chunk, failed) < sizeof chunk)
			break;
		walk->over = Take(walk, chunk, at);
		if (walk->fmt.at == at)
			CopyFields(in, head, at, walk->fmt.fields, kFormatEnd, failed);
		if (walk->data.at == at)
			memcpy(walk->data.fields, chunk, sizeof chunk);
		walk->over = walk->over || (IsStream(in) && walk->data.at != 0);
	}
	walk->over = true;
}

// Copies the n bytes at at, from the head as far as it holds them; the
// rest, or as many as there are, from the input.  Returns how many.
static size_t
CopyFields(Input *in, const Head *head, uint64_t at, unsigned char *out, size_t n, bool *failed)
{
	size_t got = 0;
	if (at < head->bytes) {
		got = head->bytes - at < n ? (size_t)(head->bytes - at) : n;
		memcpy(out, head->at + at, got);
	}
	if (got < n && !*failed)
		got += CopyBytes(in, at + got, out + got, n - got, failed);
	return got;
}

// Takes the chunk whose header is at offset at, and moves on to the next;
// returns whether the walk is over.
static bool
Take(ChunkWalk *walk, const unsigned char *chunk, uint64_t at)
{
	if (!Printable(chunk))
		return true;
	if (walk->fmt.at == 0 && memcmp(chunk, "fmt ", 4) == 0)
		walk->fmt.at = at;
	if (walk->data.at == 0 && memcmp(chunk, "data", 4) == 0)
		walk->data.at = at;
	uint64_t size = (uint32_t)Assem4(chunk + kChunkSizeAt);
	walk->next += kChunkHeaderBytes + size + (size & 1);
	return walk->fmt.at != 0 && walk->data.at != 0;
}

static bool
Printable(const unsigned char *name)
{
	for (int i = 0; i < 4; i++)
		if (name[i] < 0x20 || name[i] > 0x7E)
			return false;
	return true;
}

// Tries the even offsets from *from on, up to kLastProbe, and leaves
// *from at the first that cannot be tried yet.  A tag matches only where
// all its bytes were read, as a seek and read at that offset would find
// it; so a tag found is the first, however many bytes follow.  Its fields
// lie in the head.
static void
FindTag(const Head *head, const char *tag, size_t length, size_t *from, Found *found)
{
	for (; found->at == 0 && *from <= kLastProbe && *from + length <= head->bytes; *from += 2)
		if (memcmp(head->at + *from, tag, length) == 0)
			found->at = *from;
	if (found->at != 0)
		memcpy(found->fields, head->at + found->at, kFormatEnd);
}

static const Found *
Chosen(const Found *walked, const Found *probed)
{
	return walked->at != 0 ? walked : probed->at != 0 ? probed : NULL;
}

// Whether both chunks were found and every field read after them has
// arrived in the head: the format code, channels, rate and bits (and an
// extensible header's sub-format), and the data size.
static bool
Settled(const Head *head, const Found *fmt, const Found *data)
{
	size_t have = head->bytes;
	if (fmt == NULL || data == NULL || have < data->at + kChunkHeaderBytes ||
	    have < fmt->at + kPlainFormatEnd)
		return false;
	return Assem2(head->at + fmt->at + kFormatCodeAt) != kExtensible ||
	       have >= fmt->at + kFormatEnd;
}

static void
ReadFormat(const Found *fmt, Wave *wave)
{
	const unsigned char *format = fmt->fields;
	wave->formatCode = (uint32_t)Assem2(format + kFormatCodeAt);
	if (wave->formatCode == kExtensible)
		wave->formatCode = (uint32_t)Assem2(format + kSubFormatAt);
	wave->channels = (uint32_t)Assem2(format + kChannelsAt);
	wave->sampleRate = (uint64_t)Assem4(format + kRateAt);
	wave->bitsPerSample = (uint32_t)Assem2(format + kBitsAt);
	wave->bytesPerSample = wave->bitsPerSample / 8;
	// Both fields have 16 bits, so the size fits 32.
	wave->frameBytes = wave->bytesPerSample * wave->channels;
}

// The size field is signed; a negative size widens to a huge count that
// the end of the file, or a stream's end, brings back to the frames there
// are.  A frame size of 0 (under 8 bits per sample, or no channel) leaves
// no frame to count; the run refuses such a layout.
static void
ReadData(const Input *in, const Found *data, Wave *wave)
{
	uint64_t length = InputLength(in), frameBytes = wave->frameBytes;
	uint64_t dataBytes = (uint64_t)Assem4(data->fields + kChunkSizeAt);
	wave->dataOffset = data->at + kChunkHeaderBytes;
	uint64_t available = length > wave->dataOffset ? length - wave->dataOffset : 0;
	uint64_t frames = frameBytes != 0 ? dataBytes / frameBytes : 0;
	if (frames * frameBytes > available)
		frames = available / frameBytes;
	wave->frameCount = frames;
}
