// Interval scan: the block loop, one line per run of frames, the peaks.
#include "scan.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "output.h"

static uint32_t ReadBlock(Input *in, const ScanParams *sp, uint64_t frame,
                          uint32_t want, unsigned char *block);
[[noreturn]] static void ReadFailed(uint64_t frame);
static void EmitLine(const ScanParams *sp, uint64_t next, Tally *t);

void
ScanInterval(Input *in, const ScanParams *sp, unsigned char *block)
{
	const Layout *layout = &sp->layout;
	uint32_t resolution = layout->resolution, counter = 0;
	// Blocks of whole frames fill the buffer, whatever the frame size.
	uint32_t blockFrames = kBlockBytes / sp->frameSize;
	double peak[kMaxChannels] = { 0 }, top[kMaxChannels];
	Tally t = { 0, 0.0 };

	for (uint64_t frame = sp->startFrame; frame < sp->endFrame;) {
		uint64_t left = sp->endFrame - frame;
		uint32_t want = left < blockFrames ? (uint32_t)left : blockFrames;
		uint32_t got = ReadBlock(in, sp, frame, want, block);
		for (uint32_t pos = 0; pos < got;) {
			uint32_t run = got - pos;
			if (resolution != 0 && run > resolution - counter)
				run = resolution - counter;
			TallyFrames(layout, block + (size_t)pos * sp->frameSize, run, &t, top);
			for (uint32_t c = 0; c < layout->channels; c++)
				CheckPeak(peak[c], top[c]);
			pos += run;
			frame += run;
			counter += run;
			if (resolution != 0 && counter == resolution) {
				EmitLine(sp, frame, &t);
				counter = 0;
			}
		}
		// A stream's whole frames end where it ends, as a file's frame
		// count ends at its last whole frame.
		if (got < want && (!in->stream || in->failed))
			ReadFailed(frame);
		if (got < want)
			break;
	}
	Report(layout->channels, sp->magnification, peak);
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

// Whole frames only: a stream's trailing partial frame is not one.  An
// offset past 2^64 lies beyond any input.
static uint32_t
ReadBlock(Input *in, const ScanParams *sp, uint64_t frame, uint32_t want,
          unsigned char *block)
{
	uint64_t skip = frame * sp->frameSize;
	uint64_t offset = sp->dataOffset + skip;
	if (offset < skip)
		offset = UINT64_MAX;
	return (uint32_t)(ReadAt(in, offset, block, (size_t)want * sp->frameSize) /
	                  sp->frameSize);
}

// The file shrank, or a read failed, after the frames were counted.  Frames
// that were not read are never decoded, and no report is printed for a
// range that was not read in full.
static void
ReadFailed(uint64_t frame)
{
	printf("Can't read frame %llu from wave file!\n",
	       (unsigned long long)frame);
	exit(2);
}

static void
EmitLine(const ScanParams *sp, uint64_t next, Tally *t)
{
	// The mean is per sample, not per frame.
	double sum = LineSum(&sp->layout, t) / sp->layout.channels;
	double dots = sp->magnification * (sum / sp->layout.resolution);
	// next is one past the run, so this is its first frame plus half the
	// resolution, rounded up.
	uint64_t middle = next - sp->layout.resolution / 2;
	Waveform((int64_t)middle, (uint32_t)sp->sampleRate, dots,
	         sp->secondsPerLine);
	CheckOutput();
	t->units = 0;
	t->sum = 0;
}
