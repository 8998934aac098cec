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
static void PutFixed(float value, int places);
static void PutInt(int32_t value);
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
	float time = (float)frame / (float)sampleRate;

	if (secondsPerLine >= 0.025) {
		PutFixed(time, 2);
		putc_unlocked('\t', stdout);
	} else if (secondsPerLine > 0.001) {
		PutFixed(time, 3);
		putc_unlocked('\t', stdout);
	} else if (secondsPerLine <= 0.001) {
		PutFixed(time, 3);
		putc_unlocked('\t', stdout);
		// The frame column holds the low 32 bits of the frame number.
		uint32_t low = (uint32_t)frame;
		PutInt(low <= INT32_MAX ? (int32_t)low
		                        : (int32_t)(low - 2147483648u) + INT32_MIN);
		putc_unlocked('\t', stdout);
	}
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

static inline int32_t
Signed8(uint32_t byte)
{
	return (int32_t)byte - (int32_t)((byte & 0x80) << 1);
}

static inline int32_t
Value16(const unsigned char *p)
{
	return Signed8(p[1]) * 256 + p[0];
}

static inline int32_t
Value24(const unsigned char *p)
{
	return Signed8(p[2]) * 65536 + p[1] * 256 + p[0];
}

static void
TallyInteger(const unsigned char *p, uint32_t frames, uint32_t channels,
             uint32_t bytes, Tally *t)
{
	uint64_t units = 0;
	uint32_t top[2] = { 0, 0 };

	for (uint32_t i = 0; i < frames; i++)
		for (uint32_t c = 0; c < channels; c++, p += bytes) {
			int32_t v = bytes == 2 ? Value16(p) : Value24(p);
			uint32_t m = (uint32_t)(v < 0 ? -v : v);
			units += m;
			if (m > top[c])
				top[c] = m;
		}
	double scale = bytes == 2 ? 256.0 : 65536.0;
	t->units += units;
	for (uint32_t c = 0; c < channels; c++)
		CheckPeak(t->peak[c], top[c] / scale);
}

static void
TallyInOrder(const unsigned char *p, uint32_t frames, uint32_t channels,
             uint32_t bytes, Tally *t)
{
	for (uint32_t i = 0; i < frames; i++)
		for (uint32_t c = 0; c < channels; c++, p += bytes) {
			double x = bytes == 4
			    ? Float32Convert(p[0], p[1], p[2], p[3])
			    : Value24(p) / 65536.0;
			CheckPeak(t->peak[c], x);
			t->sum += fabs(x);
		}
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

static void
PutFixed(float value, int places)
{
	printf(places == 2 ? "%.2f" : "%.3f", value);
}

static void
PutInt(int32_t value)
{
	printf("%i", value);
}

static void
PutDots(int32_t count)
{
	static char dots[4096];

	if (dots[0] != '.')
		memset(dots, '.', sizeof dots);
	while (count > 0) {
		size_t n = count < (int32_t)sizeof dots ? (size_t)count : sizeof dots;
		if (fwrite_unlocked(dots, 1, n, stdout) != n)
			return;
		count -= (int32_t)n;
	}
}
