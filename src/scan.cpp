#include "scan.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "float32.h"

// What the scan has gathered: the magnitudes of the current line and the
// peaks of the whole range, all in amplitude units (full scale 128).
struct Tally {
	// 16-bit and 24-bit magnitudes, added as integers in units of 2^-8
	// and 2^-16.  Their sum is exactly the double sum of the samples as
	// long as it stays below 2^53 units.
	uint64_t units;
	// Magnitudes decoded as doubles, added one by one in sample order.
	double sum;
	double peak[2];
};

static uint32_t ReadBlock(FILE *fp, const ScanParams *sp, uint64_t frame,
                          uint32_t want, unsigned char *block);
static void ReadFailed(uint64_t frame);
static void TallyFrames(const ScanParams *sp, const unsigned char *p,
                        uint32_t frames, Tally *t);
static void TallyInteger(const unsigned char *p, uint32_t frames,
                         uint32_t channels, uint32_t bytes, Tally *t);
static void TallyInOrder(const unsigned char *p, uint32_t frames,
                         uint32_t channels, uint32_t bytes, Tally *t);
static void EmitLine(const ScanParams *sp, uint64_t next, Tally *t);
static void Report(const ScanParams *sp, const double peak[2]);
static size_t FormatFixed(char *out, float value, int places);
static size_t FormatInt(char *out, int32_t value);
static void PutDots(int32_t count);

void
ScanInterval(FILE *fp, const ScanParams *sp, unsigned char *block)
{
	Tally t = { 0, 0.0, { 0.0, 0.0 } };
	uint32_t counter = 0;

	// Whole blocks are read straight into block; a stream buffer would
	// only add a copy.
	setvbuf(fp, NULL, _IONBF, 0);
	for (uint64_t frame = sp->startFrame; frame < sp->endFrame;) {
		uint64_t left = sp->endFrame - frame;
		uint32_t want = left < kBlockFrames ? (uint32_t)left : (uint32_t)kBlockFrames;
		uint32_t got = ReadBlock(fp, sp, frame, want, block);
		for (uint32_t pos = 0; pos < got;) {
			uint32_t run = got - pos;
			if (sp->resolution != 0 && run > sp->resolution - counter)
				run = sp->resolution - counter;
			TallyFrames(sp, block + (size_t)pos * sp->frameSize, run, &t);
			pos += run;
			frame += run;
			counter += run;
			if (sp->resolution != 0 && counter == sp->resolution) {
				EmitLine(sp, frame, &t);
				counter = 0;
			}
		}
		if (got < want)
			ReadFailed(frame);
	}
	Report(sp, t.peak);
}

void
CheckPeak(double &peak, double value)
{
	if (value > peak)
		peak = value;
	else if (-value > peak)
		peak = -value;
}

int
Waveform(int64_t frame, uint32_t sampleRate, double dots,
         double secondsPerLine)
{
	char label[96];
	size_t n = 0;
	float time = (float)frame / (float)sampleRate;

	if (secondsPerLine >= 0.025) {
		n = FormatFixed(label, time, 2);
		label[n++] = '\t';
	} else if (secondsPerLine > 0.001) {
		n = FormatFixed(label, time, 3);
		label[n++] = '\t';
	} else if (secondsPerLine <= 0.001) {
		n = FormatFixed(label, time, 3);
		label[n++] = '\t';
		// The frame column holds the low 32 bits of the frame number.
		uint32_t low = (uint32_t)frame;
		n += FormatInt(label + n, low <= INT32_MAX
		    ? (int32_t)low : (int32_t)(low - 2147483648u) + INT32_MIN);
		label[n++] = '\t';
	}
	fwrite_unlocked(label, 1, n, stdout);
	PutDots(DotCount(dots));
	return putc_unlocked('\n', stdout);
}

int32_t
DotCount(double dots)
{
	// The dots are counted by a signed 32-bit counter; a value it cannot
	// pass prints as many dots as it can count.  NaN prints none.
	if (!(dots >= 1))
		return 0;
	if (dots >= INT32_MAX)
		return INT32_MAX;
	return (int32_t)dots;
}

void
CheckOutput(void)
{
	if (!ferror_unlocked(stdout))
		return;
	fprintf(stderr, "quorvin1b: cannot write standard output: %s\n",
	        strerror(errno));
	exit(3);
}

static uint32_t
ReadBlock(FILE *fp, const ScanParams *sp, uint64_t frame, uint32_t want,
          unsigned char *block)
{
	uint64_t offset = sp->dataOffset + frame * sp->frameSize;
	if (offset > (uint64_t)INT64_MAX ||
	    fseeko(fp, (off_t)offset, SEEK_SET) != 0)
		return 0;
	return (uint32_t)fread(block, sp->frameSize, want, fp);
}

// The file shrank, or failed, after its frames were counted.  Frames that
// were not read are never decoded, and no report is printed for a range
// that was not read in full.
static void
ReadFailed(uint64_t frame)
{
	printf("Can't read frame %llu from wave file!\n",
	       (unsigned long long)frame);
	exit(2);
}

static void
TallyFrames(const ScanParams *sp, const unsigned char *p, uint32_t frames,
            Tally *t)
{
	uint32_t channels = sp->channels;

	if (channels != 1 && channels != 2)
		return;
	switch (sp->bytesPerSample) {
	case 2:
		TallyInteger(p, frames, channels, 2, t);
		break;
	case 3:
		// A line of up to 2^30 samples keeps a 24-bit sum below 2^53
		// units; longer lines are added as doubles, in order, to round
		// as such a sum does.
		if ((uint64_t)sp->resolution * channels <= (1u << 30))
			TallyInteger(p, frames, channels, 3, t);
		else
			TallyInOrder(p, frames, channels, 3, t);
		break;
	case 4:
		TallyInOrder(p, frames, channels, 4, t);
		break;
	}
}

// Little-endian two's complement samples: the top byte is signed, the
// others count as their unsigned values.
static inline int32_t
Value16(const unsigned char *p)
{
	int32_t u = p[0] | p[1] << 8;
	return u - ((u & 0x8000) << 1);
}

static inline int32_t
Value24(const unsigned char *p)
{
	int32_t u = p[0] | p[1] << 8 | p[2] << 16;
	return u - ((u & 0x800000) << 1);
}

static inline uint32_t
Word32(const unsigned char *p)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
	uint32_t w;
	memcpy(&w, p, 4);
	return w;
#else
	return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
#endif
}

static inline uint32_t
Magnitude(int32_t value)
{
	return (uint32_t)(value < 0 ? -value : value);
}

// Integer magnitudes are added up and their largest kept in eight lanes
// (top, which the kernel fills from scratch), so that the loops vectorize:
// lane k holds sample k of every group of eight, and so channel
// k % channels, as eight is a multiple of one and of two.
// A lane adds at most 256 magnitudes (under 2^23 each for 24-bit samples)
// before it is emptied into the 64-bit total, so it never passes 2^32.
// The kernel is also built for AVX2; the loader picks the copy that suits
// the processor.  Builds for tools that cannot handle such copies (the
// fuzzer's instrumentation) leave them out.
enum { kGroupsPerChunk = 256 };
#ifdef QUORVIN_NO_CLONES
#define VECTOR_KERNEL static
#else
#define VECTOR_KERNEL __attribute__((target_clones("avx2", "default"))) static
#endif

typedef unsigned char Bytes16 __attribute__((vector_size(16)));
typedef int32_t Int4 __attribute__((vector_size(16)));
typedef uint32_t Uint4 __attribute__((vector_size(16)));

// Four 16-bit or 24-bit samples are spread by a byte shuffle over the top
// bytes of four 32-bit lanes; an arithmetic shift brings them down with
// their sign.  The 16-byte load reaches past the four samples (by 8 or 4
// bytes).
static inline Int4
Spread(const unsigned char *p, uint32_t bytes)
{
	Bytes16 b;
	memcpy(&b, p, 16);
	if (bytes == 2)
		return (Int4)__builtin_shufflevector(b, b, 0, 0, 0, 1, 0, 0, 2, 3,
		                                     0, 0, 4, 5, 0, 0, 6, 7) >> 16;
	return (Int4)__builtin_shufflevector(b, b, 0, 0, 1, 2, 0, 3, 4, 5,
	                                     0, 6, 7, 8, 0, 9, 10, 11) >> 8;
}

// Takes whole groups of eight samples, leaving at least the last one so
// that no load passes the end of the samples, and returns how many
// samples it took.
VECTOR_KERNEL size_t
TallyGroups(const unsigned char *p, size_t samples, uint32_t bytes,
            uint64_t *units, uint32_t top[8])
{
	size_t groups = samples / 8;
	if (groups > 0 && (8 * groups - 4) * bytes + 16 > samples * bytes)
		groups--;
	Uint4 high[2] = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };
	uint64_t sum = 0;

	for (size_t g = 0; g < groups;) {
		size_t end = groups - g > kGroupsPerChunk ? g + kGroupsPerChunk : groups;
		Uint4 lane[2] = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };
		for (; g < end; g++, p += 8 * bytes)
			for (int h = 0; h < 2; h++) {
				const unsigned char *q = p + 4 * bytes * h;
				Int4 v = Spread(q, bytes);
				Uint4 m = (Uint4)(v < 0 ? -v : v);
				lane[h] += m;
				high[h] = high[h] > m ? high[h] : m;
			}
		for (int k = 0; k < 4; k++)
			sum += (uint64_t)lane[0][k] + lane[1][k];
	}
	*units += sum;
	for (int k = 0; k < 4; k++) {
		top[k] = high[0][k];
		top[4 + k] = high[1][k];
	}
	return groups * 8;
}

static void
TallyInteger(const unsigned char *p, uint32_t frames, uint32_t channels,
             uint32_t bytes, Tally *t)
{
	uint32_t top[8] = { 0 };
	size_t samples = (size_t)frames * channels;
	size_t done = TallyGroups(p, samples, bytes, &t->units, top);

	// The samples after the last whole group: lane k % 8 again holds
	// channel k % channels.
	p += done * bytes;
	for (size_t k = 0; k < samples - done; k++, p += bytes) {
		uint32_t m = Magnitude(bytes == 2 ? Value16(p) : Value24(p));
		t->units += m;
		top[k % 8] = top[k % 8] > m ? top[k % 8] : m;
	}

	double scale = bytes == 2 ? 256.0 : 65536.0;
	for (int k = 0; k < 8; k++)
		CheckPeak(t->peak[k % channels], top[k] / scale);
}

// The magnitude of a float sample, from its word with the sign bit cleared.
// Magnitudes grow with that word, so the largest word marks the peak.
static inline double
FloatMagnitude(uint32_t word)
{
	return Float32Convert(word & 0xFF, word >> 8 & 0xFF, word >> 16 & 0xFF,
	                      word >> 24);
}

// Adds magnitudes as doubles one by one in sample order, so that the sum
// rounds exactly as such a sum does.  Peaks are kept as the largest
// magnitude word (or 24-bit magnitude) and decoded once.
static void
TallyInOrder(const unsigned char *p, uint32_t frames, uint32_t channels,
             uint32_t bytes, Tally *t)
{
	uint32_t top[2] = { 0, 0 };
	double sum = t->sum;

	for (uint32_t i = 0; i < frames; i++)
		for (uint32_t c = 0; c < channels; c++, p += bytes) {
			uint32_t key = bytes == 4 ? Word32(p) & 0x7FFFFFFF
			                          : Magnitude(Value24(p));
			top[c] = top[c] > key ? top[c] : key;
			sum += bytes == 4 ? FloatMagnitude(key) : key / 65536.0;
		}
	t->sum = sum;
	for (uint32_t c = 0; c < channels; c++)
		CheckPeak(t->peak[c], bytes == 4 ? FloatMagnitude(top[c])
		                                 : top[c] / 65536.0);
}

static void
EmitLine(const ScanParams *sp, uint64_t next, Tally *t)
{
	double scale = sp->bytesPerSample == 2 ? 256.0 : 65536.0;
	double sum = (double)t->units / scale + t->sum;

	if (sp->channels == 2)
		sum /= 2;   // the mean is per sample, not per frame
	double dots = sp->magnification * (sum / sp->resolution);
	// next is one past the run, so this is its first frame plus half the
	// resolution, rounded up.
	uint64_t middle = next - sp->resolution / 2;
	Waveform((int64_t)middle, (uint32_t)sp->sampleRate, dots,
	         sp->secondsPerLine);
	CheckOutput();
	t->units = 0;
	t->sum = 0;
}

static void
Report(const ScanParams *sp, const double peak[2])
{
	float gain = 256.0f * sp->magnification;
	float threshold = (float)(-20.0 * log10((double)gain));
	float left = (float)(20.0 * log10(peak[0] / 128.0));
	float right = (float)(20.0 * log10(peak[1] / 128.0));

	printf("Showing values above %.0f dB\n", threshold);
	if (sp->channels == 1)
		printf("Peak over interval %.1f dB\n", left);
	else if (sp->channels == 2)
		printf("Peaks over interval %.1f L %.1f R\n", left, right);
}

// Writes value as printf's "%.2f" or "%.3f" does, without its cost: value
// times 100 or 1000 is exact in a double (a 24-bit mantissa times a factor
// of at most 10 bits), and printf rounds that exact value to the nearest
// integer, ties to even, as nearbyint does.  Values out of that path's
// range (never a real time label) go through printf itself; no float
// takes more than 43 characters there.
static size_t
FormatFixed(char *out, float value, int places)
{
	double scaled = (double)value * (places == 2 ? 100.0 : 1000.0);
	if (!(scaled >= 0 && scaled < 1e15) || std::signbit(scaled))
		return (size_t)snprintf(out, 64, places == 2 ? "%.2f" : "%.3f",
		                        (double)value);

	uint64_t units = (uint64_t)nearbyint(scaled);
	char digits[24], *d = digits + sizeof digits;
	for (int i = 0; i < places; i++, units /= 10)
		*--d = (char)('0' + units % 10);
	*--d = '.';
	do
		*--d = (char)('0' + units % 10);
	while ((units /= 10) != 0);
	size_t n = (size_t)(digits + sizeof digits - d);
	memcpy(out, d, n);
	return n;
}

// Writes value as printf's "%i" does.
static size_t
FormatInt(char *out, int32_t value)
{
	uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
	char digits[12], *d = digits + sizeof digits;
	do
		*--d = (char)('0' + magnitude % 10);
	while ((magnitude /= 10) != 0);
	if (value < 0)
		*--d = '-';
	size_t n = (size_t)(digits + sizeof digits - d);
	memcpy(out, d, n);
	return n;
}

static void
PutDots(int32_t count)
{
	// As large as the output buffer, so that very long rows go out in
	// whole-buffer writes.
	static char dots[1 << 16];

	if (dots[0] != '.')
		memset(dots, '.', sizeof dots);
	while (count > 0) {
		size_t n = count < (int32_t)sizeof dots ? (size_t)count : sizeof dots;
		if (fwrite_unlocked(dots, 1, n, stdout) != n)
			return;
		count -= (int32_t)n;
	}
}
