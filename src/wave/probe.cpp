// SPDX-License-Identifier: MIT
// Header probe: tags are found by trying every even offset from 2 to
// kLastProbe in the head of the file, and the fields are read at fixed
// distances from them.  Where the file is a RIFF wave file (or RF64, BW64,
// the big-endian RIFX, or Wave64), its chunk list is walked as well, to
// the end of the file, so that letters inside another chunk (a title tag
// holding "data", say) are not taken for the chunk itself, and chunks
// after long ones are found.  A chunk the walk reaches is the answer;
// elsewhere the first tag the probe finds is, but in Wave64, whose
// chunks are not named by tags.
#include "wave/probe.h"

#include <cstring>

#include "wave/byte_order.h"
#include "wave/wave_header.h"

enum { kExtensible = 0xFFFE, kMsAdpcmCode = 2 };

// The bytes of a format chunk the probe reads: the fields of its body up
// to the last MS ADPCM coefficient pair.
enum { kFormatBytes = kCoefficientsAt + 4 * kMaxCoefficients };

enum Container { kUndecided, kUnwalkable, kRiff, kRf64, kRifx, kWave64 };

// The first bytes of the input, which the probe searches: zero past the
// bytes read, so that fields beyond them read as 0.
struct Head {
	size_t bytes;
	unsigned char at[kHeadBytes];
};

// A chunk found: where its header starts (0: none), then the header and
// the fields of its body.
struct Found {
	uint64_t at;
	unsigned char fields[kLongestHeader + kFormatBytes];
};

// The chunk list: the container, the next chunk's offset, whether the
// chunk before it had an odd size, and the chunks found.  Over once it
// found the format and data chunks, or cannot go on: a name that is not
// four printable characters, the end of the input, a file that is not a
// wave file it can walk, or, in a stream, the data chunk's frames in the
// way.
struct ChunkWalk {
	Container container;
	uint64_t next;
	bool over, oddBefore;
	Found fmt, data, fact, ds64;
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
static Container ContainerOf(const Head *head, bool final);
static bool Take(ChunkWalk *walk, const unsigned char *chunk, uint64_t at);
static Found *Kind(ChunkWalk *walk, const unsigned char *chunk);
static bool Named(Container container, const unsigned char *chunk, const char *name);
static uint64_t ChunkSize(Container container, const unsigned char *chunk);
static bool Printable(const unsigned char *name);
static bool Known(const unsigned char *name);
static void ReadWalked(Input *in, const Head *head, ChunkWalk *walk, uint64_t from, bool *failed);
static void ReadFound(Input *in, const Head *head, Container container, Found *found,
                      size_t fields, bool *failed);
static size_t CopyFields(Input *in, const Head *head, uint64_t at, unsigned char *out, size_t n,
                         bool *failed);
static void FindTag(const Head *head, const char *tag, size_t length, size_t *from, Found *found);
static const Found *Chosen(Container container, const Found *walked, const Found *probed);
static bool Settled(const Head *head, Container container, const Found *fmt, const Found *data);
static void ReadFormat(Container container, const Found *fmt, Wave *wave);
static void ReadData(const Input *in, const ChunkWalk *walk, const Found *data, Wave *wave);

// Header fields are little-endian, but for RIFX, big-endian.  Assem2 reads
// an unsigned 16-bit value, Assem4 a signed 32-bit value; both come back
// widened to 64 bits.
static int64_t
Assem2(const unsigned char *p, Container container)
{
	return container == kRifx ? Be16(p) : Le16(p);
}

static int64_t
Assem4(const unsigned char *p, Container container)
{
	return Signed(container == kRifx ? Be32(p) : Le32(p), 32);
}

static size_t
HeaderBytes(Container container)
{
	return container == kWave64 ? kW64HeaderBytes : kChunkHeaderBytes;
}

ProbeResult
GetAttributes(Input *in, Wave *wave)
{
	static Head head;
	static ChunkWalk walk;
	static Probe probe;
	bool failed = false;
	memset(&head, 0, sizeof head);
	memset(&walk, 0, sizeof walk);
	memset(&probe, 0, sizeof probe);
	probe.fmtFrom = probe.dataFrom = 2;
	ReadHeadAsNeeded(in, &head, &walk, &probe, &failed);
	// The fields of the chunks walked so far are read before the walk goes
	// on past the head, which a stream cannot come back to.
	ReadWalked(in, &head, &walk, 0, &failed);
	WalkOn(in, &head, &walk, &failed);
	const Found *fmt = Chosen(walk.container, &walk.fmt, &probe.fmt);
	const Found *data = Chosen(walk.container, &walk.data, &probe.data);
	if (fmt == &probe.fmt)
		ReadFound(in, &head, walk.container, &probe.fmt, kFormatEnd, &failed);
	if (failed)
		return kUnreadable;
	if (fmt == NULL)
		return kNoFormatChunk;
	ReadFormat(walk.container, fmt, wave);
	if (data == NULL)
		return kNoDataChunk;
	ReadData(in, &walk, data, wave);
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
		if (walk->over &&
		    Settled(head, walk->container, Chosen(walk->container, &walk->fmt, &probe->fmt),
		            Chosen(walk->container, &walk->data, &probe->data)))
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

// Goes on from walk->next as far as the head holds chunk headers.  So
// chunks start at even offsets in a RIFF file, where the probe would find
// their names too.  A stream's walk ends at its data chunk when that lies
// past the head: its frames cannot be skipped.
static void
WalkHead(const Input *in, const Head *head, ChunkWalk *walk)
{
	if (walk->over || (walk->container == kUndecided &&
	                   (walk->container = ContainerOf(head, false)) == kUndecided))
		return;
	size_t header = HeaderBytes(walk->container);
	if (walk->next == 0)
		walk->next = walk->container == kWave64 ? kW64FirstChunk : kFirstChunk;
	walk->over = walk->container == kUnwalkable;
	while (!walk->over && walk->next + header <= head->bytes)
		walk->over = Take(walk, head->at + walk->next, walk->next);
	if (IsStream(in) && walk->data.at != 0 && walk->next + header > kHeadBytes)
		walk->over = true;
}

// Goes on past the head, reading chunk headers where they lie, to the end
// of the input.  A chunk's fields are read as it is found: a stream is
// read only forwards.  After a chunk of odd size, the byte before the
// next one is read with it.
static void
WalkOn(Input *in, const Head *head, ChunkWalk *walk, bool *failed)
{
	unsigned char chunk[1 + kLongestHeader];
	if (walk->container == kUndecided)
		walk->container = ContainerOf(head, true);
	size_t header = HeaderBytes(walk->container);
	walk->over = walk->over || walk->container == kUnwalkable;
	while (!walk->over && !*failed) {
		uint64_t at = walk->next, before = walk->oddBefore ? 1 : 0;
		if (CopyFields(in, head, at - before, chunk, before + header, failed) < before + header)
			break;
		walk->over = Take(walk, chunk + before, at);
		ReadWalked(in, head, walk, at - before, failed);
		walk->over = walk->over || (IsStream(in) && walk->data.at != 0);
	}
	walk->over = true;
}

// The kind of wave file the head shows, once it holds enough to tell; at
// its final size, whatever it holds.
static Container
ContainerOf(const Head *head, bool final)
{
	static const unsigned char riff[16] = { 'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11,
		                                0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00 };
	const unsigned char *at = head->at;
	bool wave = memcmp(at + 8, "WAVE", 4) == 0;
	if (head->bytes >= kFirstChunk && wave && memcmp(at, "RIFF", 4) == 0)
		return kRiff;
	if (head->bytes >= kFirstChunk && wave &&
	    (memcmp(at, "RF64", 4) == 0 || memcmp(at, "BW64", 4) == 0))
		return kRf64;
	if (head->bytes >= kFirstChunk && wave && memcmp(at, "RIFX", 4) == 0)
		return kRifx;
	if (head->bytes >= kW64FirstChunk && memcmp(at, riff, 16) == 0 &&
	    Named(kWave64, at + kW64HeaderBytes, "wave"))
		return kWave64;
	bool maybeWave64 = head->bytes < kW64FirstChunk && memcmp(at, riff, 4) == 0;
	return final || (head->bytes >= kFirstChunk && !maybeWave64) ? kUnwalkable : kUndecided;
}

// Takes the chunk whose header is at offset at, and moves on to the next;
// returns whether the walk is over.  Some writers leave out the pad byte
// after a chunk of odd size: where no chunk starts after the pad but a
// known one starts a byte before, the walk goes on from there.
static bool
Take(ChunkWalk *walk, const unsigned char *chunk, uint64_t at)
{
	Container container = walk->container;
	if (container != kWave64 && !Printable(chunk)) {
		if (!walk->oddBefore || !Known(chunk - 1))
			return true;
		chunk--;
		at--;
	}
	uint64_t size = ChunkSize(container, chunk);
	if (container == kWave64 && size < kW64HeaderBytes)
		return true;
	Found *found = Kind(walk, chunk);
	if (found != NULL && found->at == 0)
		found->at = at;
	uint64_t step = container == kWave64 ? (size + kW64Align - 1) / kW64Align * kW64Align
	                                     : kChunkHeaderBytes + size + (size & 1);
	walk->oddBefore = container != kWave64 && (size & 1) != 0;
	walk->next = at + step > at ? at + step : UINT64_MAX;
	return walk->fmt.at != 0 && walk->data.at != 0;
}

// Which of the chunks the walk looks for this one is, if any.
static Found *
Kind(ChunkWalk *walk, const unsigned char *chunk)
{
	Container container = walk->container;
	if (Named(container, chunk, "fmt "))
		return &walk->fmt;
	if (Named(container, chunk, "data"))
		return &walk->data;
	if (Named(container, chunk, "fact") && container != kWave64)
		return &walk->fact;
	if (Named(container, chunk, "ds64") && container == kRf64)
		return &walk->ds64;
	return NULL;
}

// A RIFF chunk's name is its four letters; a Wave64 chunk's, the letters
// followed by the Sony format's twelve bytes.
static bool
Named(Container container, const unsigned char *chunk, const char *name)
{
	static const unsigned char sony[12] = { 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
		                                0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A };
	return memcmp(chunk, name, 4) == 0 &&
	       (container != kWave64 || memcmp(chunk + 4, sony, sizeof sony) == 0);
}

// The size field says so: RIFF's 32 bits without a sign, Wave64's 64.
static uint64_t
ChunkSize(Container container, const unsigned char *chunk)
{
	if (container == kWave64)
		return Le64(chunk + kW64SizeAt);
	return (uint32_t)Assem4(chunk + kChunkSizeAt, container);
}

static bool
Printable(const unsigned char *name)
{
	for (int i = 0; i < 4; i++)
		if (name[i] < 0x20 || name[i] > 0x7E)
			return false;
	return true;
}

// The chunks wave files hold most often.
static bool
Known(const unsigned char *name)
{
	static const char names[][5] = { "fmt ", "data", "fact", "LIST", "JUNK", "junk", "bext",
		                         "iXML", "axml", "cue ", "smpl", "inst", "id3 ", "ID3 ",
		                         "PEAK", "ds64", "acid", "cart", "umid", "FLLR", "PAD " };
	for (const char *known : names)
		if (memcmp(name, known, 4) == 0)
			return true;
	return false;
}

// Reads the fields of the chunks the walk found from offset from on.  Past
// the data chunk's header lie its frames, which a stream must not wait
// for.
static void
ReadWalked(Input *in, const Head *head, ChunkWalk *walk, uint64_t from, bool *failed)
{
	const struct {
		Found *found;
		size_t fields;
	} chunks[] = { { &walk->fmt, kFormatEnd }, { &walk->data, 0 }, { &walk->fact, kFactEnd },
		       { &walk->ds64, kDs64End } };
	for (const auto &c : chunks)
		if (c.found->at != 0 && c.found->at >= from)
			ReadFound(in, head, walk->container, c.found, c.fields, failed);
}

// Reads the fields of a chunk found: its header and fields bytes of its
// body, and for an MS ADPCM format, its coefficient pairs as far as the
// chunk holds them.
static void
ReadFound(Input *in, const Head *head, Container container, Found *found, size_t fields,
          bool *failed)
{
	size_t header = HeaderBytes(container);
	CopyFields(in, head, found->at, found->fields, header + fields, failed);
	const unsigned char *body = found->fields + header;
	uint64_t size = ChunkSize(container, found->fields);
	uint32_t code = (uint32_t)Assem2(body + kFormatCodeAt, container);
	if (code == kExtensible)
		code = (uint32_t)Assem2(body + kSubFormatAt, container);
	if (container == kWave64)
		size = size > header ? size - header : 0;
	if (Named(container, found->fields, "fmt ") && code == kMsAdpcmCode && size > kFormatEnd) {
		size_t more = (size < kFormatBytes ? (size_t)size : (size_t)kFormatBytes) - kFormatEnd;
		CopyFields(in, head, found->at + header + kFormatEnd,
		           found->fields + header + kFormatEnd, more, failed);
	}
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
		memcpy(found->fields, head->at + found->at, kChunkHeaderBytes + kFormatEnd);
}

static const Found *
Chosen(Container container, const Found *walked, const Found *probed)
{
	if (walked->at != 0)
		return walked;
	return probed->at != 0 && container != kWave64 ? probed : NULL;
}

// Whether both chunks were found and every field read after them has
// arrived in the head: the format code, channels, rate and bits (and an
// extensible header's sub-format), and the data size.
static bool
Settled(const Head *head, Container container, const Found *fmt, const Found *data)
{
	size_t have = head->bytes, header = HeaderBytes(container);
	if (fmt == NULL || data == NULL || have < data->at + header ||
	    have < fmt->at + header + kPlainFormatEnd)
		return false;
	return Assem2(head->at + fmt->at + header + kFormatCodeAt, container) != kExtensible ||
	       have >= fmt->at + header + kFormatEnd;
}

static void
ReadFormat(Container container, const Found *fmt, Wave *wave)
{
	const unsigned char *body = fmt->fields + HeaderBytes(container);
	uint64_t size = ChunkSize(container, fmt->fields);
	wave->formatCode = (uint32_t)Assem2(body + kFormatCodeAt, container);
	if (wave->formatCode == kExtensible)
		wave->formatCode = (uint32_t)Assem2(body + kSubFormatAt, container);
	wave->channels = (uint32_t)Assem2(body + kChannelsAt, container);
	wave->sampleRate = (uint64_t)Assem4(body + kRateAt, container);
	wave->blockAlign = (uint32_t)Assem2(body + kBlockAlignAt, container);
	wave->bitsPerSample = (uint32_t)Assem2(body + kBitsAt, container);
	wave->bytesPerSample = wave->bitsPerSample / 8;
	// Both fields have 16 bits, so the size fits 32.
	wave->frameBytes = wave->bytesPerSample * wave->channels;
	wave->bigEndian = container == kRifx;
	if (container == kWave64)
		size = size > kW64HeaderBytes ? size - kW64HeaderBytes : 0;
	// The extension's fields count only where the chunk and the
	// extension's size hold them.
	uint32_t extension = size >= kSamplesPerBlockAt + 2
	    ? (uint32_t)Assem2(body + kExtensionSizeAt, container) : 0;
	wave->samplesPerBlock =
	    extension >= 2 ? (uint32_t)Assem2(body + kSamplesPerBlockAt, container) : 0;
	uint64_t listed = extension >= 4 ? (uint32_t)Assem2(body + kCoefficientCountAt, container) : 0;
	uint64_t room = size > kCoefficientsAt ? (size - kCoefficientsAt) / 4 : 0;
	listed = listed < room ? listed : room;
	wave->coefficientCount = (uint32_t)(listed < (uint64_t)kMaxCoefficients ? listed
	                                    : (uint64_t)kMaxCoefficients);
	if (wave->formatCode != kMsAdpcmCode)
		wave->coefficientCount = 0;
	for (uint32_t k = 0; k < wave->coefficientCount; k++)
		for (uint32_t j = 0; j < 2; j++)
			wave->coefficients[k][j] =
			    (int16_t)Assem2(body + kCoefficientsAt + 4 * k + 2 * j, container);
}

// The size field is signed; a negative size widens to a huge count that
// the end of the file, or a stream's end, brings back to the bytes there
// are.  An RF64 data chunk of size 0xFFFFFFFF has its ds64 chunk's size.
static void
ReadData(const Input *in, const ChunkWalk *walk, const Found *data, Wave *wave)
{
	Container container = walk->container;
	uint64_t length = InputLength(in), bytes;
	if (container == kWave64) {
		bytes = ChunkSize(container, data->fields);
		bytes = bytes > kW64HeaderBytes ? bytes - kW64HeaderBytes : 0;
	} else {
		bytes = (uint64_t)Assem4(data->fields + kChunkSizeAt, container);
	}
	if (container == kRf64 && data == &walk->data && walk->ds64.at != 0 &&
	    (uint32_t)bytes == 0xFFFFFFFF)
		bytes = Le64(walk->ds64.fields + kChunkHeaderBytes + kDs64DataSizeAt);
	wave->dataOffset = data->at + HeaderBytes(container);
	uint64_t available = length > wave->dataOffset ? length - wave->dataOffset : 0;
	wave->dataBytes = bytes < available ? bytes : available;
	wave->factFrames = kNoFact;
	if (walk->fact.at != 0)
		wave->factFrames = (uint32_t)Assem4(walk->fact.fields + kChunkHeaderBytes, container);
}
