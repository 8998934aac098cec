// SPDX-License-Identifier: MIT
// Interval scan: the block loop, one line per run of frames, the peaks.
#include "scan.h"

#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output.h"
#include "window.h"


static_assert((size_t)kBlockBytes >= (size_t)kMaxFrameBytes, "a block holds a frame");
static_assert((uint64_t)kMaxChannels << 32 <= 1ULL << 42, "a line's terms stay within 2^42");

static void ScanFrames(Input *in, const ScanParams *plan);
static bool CanAddAgain(const Input *in, const ScanParams *sp);
static void ReportPeaks(const Layout *layout, const Peaks *peaks, float magnification);
static const unsigned char *ReadBlock(Input *in, const ScanParams *sp, uint64_t frame,
                                      uint32_t *got);
static uint64_t LostFrame(Input *in, const ScanParams *sp, uint64_t frame);
[[noreturn]] static void ReadFailed(uint64_t frame);
static void KeepFrames(const unsigned char *p, size_t at, size_t bytes);
static void EmitLine(Input *in, const ScanParams *sp, uint64_t next, LineSums *sums);
static uint32_t LabelRate(uint64_t rate);
static double SumInOrder(Input *in, const ScanParams *sp, uint64_t first);

// Frames are summed kSumChunk bytes at a time, each chunk after a prefetch
// of the cache lines up to kPrefetchAhead bytes past it: a mapped file's
// frames come from memory, not from a copy just made, and the
// processor's own prefetching stops at each 4 KiB page.  Measured warm on
// this machine, a tenth faster for most codings, a fifth for the 8 kHz
// telephone file; longer chunks, or prefetching a whole line at once, lose
// what they gain on lines of many channels.
enum { kSumChunk = 4096, kPrefetchAhead = 2048, kCacheLine = 64 };

// A stream cannot be read again: its lines added in lanes are kept here as
// they arrive, to be added again in order where needed.  Lines too long
// for it are added in order from the start.
static unsigned char kept[1 << 16];

// Lines of this many seconds or more label their time with two decimals,
// shorter ones with three; lines of kFrameColumnUpTo seconds or less also
// show their middle frame.
static const double kTwoPlacesFrom = 0.025, kFrameColumnUpTo = 0.001;

void
PlanScan(const Wave *wave, Coding coding, uint64_t startFrame, uint64_t endFrame,
         uint32_t resolution, float magnification, ScanParams *sp)
{
	sp->dataOffset = wave->dataOffset;
	sp->startFrame = startFrame;
	sp->endFrame = endFrame;
	sp->frameSize = wave->frameBytes;
	sp->layout = { coding, wave->bytesPerSample, wave->channels, resolution, false };
	sp->secondsPerLine = (double)resolution / (double)wave->sampleRate;
	sp->magnification = magnification;
	sp->sampleRate = wave->sampleRate;
}

// A fault in a file's window comes back here, as a read that failed where
// the file lost its bytes.
void
ScanInterval(Input *in, const ScanParams *plan)
{
	if (sigsetjmp(*FaultReturn(in), 1) != 0)
		ReadFailed(LostFrame(in, plan, UINT64_MAX));
	ScanFrames(in, plan);
}

// The end of a stream ends the range; a regular file that ends early, or
// lost what it held, or a read that fails, ends the run.
static void
ScanFrames(Input *in, const ScanParams *plan)
{
	ScanParams scan = *plan;
	const ScanParams *sp = &scan;
	const Layout *layout = &scan.layout;
	uint32_t resolution = layout->resolution, counter = 0;
	Peaks peaks = {};
	LineSums sums = {};

	scan.layout.anyOrder = CanAddAgain(in, plan);

	for (uint64_t frame = sp->startFrame; frame < sp->endFrame;) {
		uint32_t got;
		const unsigned char *frames = ReadBlock(in, sp, frame, &got);
		if (got == 0 && in->stream && !in->failed)
			break;
		if (got == 0)
			ReadFailed(LostFrame(in, sp, frame));
		size_t bytes = (size_t)got * sp->frameSize, prefetched = 0;
		uint32_t chunk = kSumChunk > sp->frameSize ? kSumChunk / sp->frameSize : 1;
		for (uint32_t pos = 0; pos < got;) {
			uint32_t run = got - pos;
			if (resolution != 0 && run > resolution - counter)
				run = resolution - counter;
			run = run < chunk ? run : chunk;
			const unsigned char *p = frames + (size_t)pos * sp->frameSize;
			size_t upTo = (size_t)(pos + run) * sp->frameSize + kPrefetchAhead;
			for (; prefetched < bytes && prefetched < upTo; prefetched += kCacheLine)
				__builtin_prefetch(frames + prefetched);
			AddFrames(layout, p, run, &sums, &peaks);
			if (in->stream && AddsInLanes(layout))
				KeepFrames(p, (size_t)counter * sp->frameSize, (size_t)run * sp->frameSize);
			pos += run;
			frame += run;
			counter += run;
			if (resolution != 0 && counter == resolution) {
				EmitLine(in, sp, frame, &sums);
				counter = 0;
			}
		}
	}
	if (!in->stream && LostOffset(in) != UINT64_MAX)
		ReadFailed(LostFrame(in, sp, sp->endFrame));
	ReportPeaks(layout, &peaks, sp->magnification);
}

// Lines may be added in lanes where they can be added again in order: from
// a file, or from the copy kept of a stream's line.
static bool
CanAddAgain(const Input *in, const ScanParams *sp)
{
	uint64_t lineBytes = (uint64_t)sp->layout.resolution * sp->frameSize;
	return !in->stream || (lineBytes != 0 && lineBytes <= sizeof kept);
}

static void
ReportPeaks(const Layout *layout, const Peaks *peaks, float magnification)
{
	double peak[kMaxChannels] = { 0 }, top[kMaxChannels];
	PeaksOf(layout, peaks, top);
	for (uint32_t c = 0; c < layout->channels; c++)
		CheckPeak(peak[c], top[c]);
	Report(layout->channels, magnification, peak);
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
	char *label = LineLabel(), *end = label;
	float time = (float)frame / (float)sampleRate;

	if (secondsPerLine >= kTwoPlacesFrom) {
		end += FormatFixed(end, time, 2);
		*end++ = '\t';
	} else if (secondsPerLine > kFrameColumnUpTo) {
		end += FormatFixed(end, time, 3);
		*end++ = '\t';
	} else if (secondsPerLine <= kFrameColumnUpTo) {
		end += FormatFixed(end, time, 3);
		*end++ = '\t';
		// The frame column holds the low 32 bits of the frame number.
		uint32_t low = (uint32_t)frame;
		end += FormatInt(end, low <= INT32_MAX
		    ? (int32_t)low : (int32_t)(low - 2147483648u) + INT32_MIN);
		*end++ = '\t';
	}
	PutLine(end, DotCount(dots));
	return '\n';
}

// The whole frames from frame on, as many as the input hands on at once
// (a window of a file, a block where it cannot be mapped, what has
// arrived of a stream), up to the end of the range; none where a file
// lost them or a stream ended.  Before a read of a stream waits, the
// lines printed so far leave, so that a live stream's lines are out as
// soon as their frames are in.  An offset past 2^64 lies beyond any
// input.
static const unsigned char *
ReadBlock(Input *in, const ScanParams *sp, uint64_t frame, uint32_t *got)
{
	uint64_t skip = frame * sp->frameSize, offset = sp->dataOffset + skip;
	uint64_t left = sp->endFrame - frame, most = kWindowBytes / sp->frameSize;
	size_t bytes = (size_t)(left < most ? left : most) * sp->frameSize, arrived;
	const unsigned char *frames;
	if (offset < skip)
		offset = UINT64_MAX;
	do {
		if (WouldWait(in))
			PushOutput();
		frames = NextFrames(in, offset, bytes, sp->frameSize, &arrived);
	} while (arrived == 0 && in->stream && !in->ended);
	*got = (uint32_t)(arrived / sp->frameSize);
	return frames;
}

// The first frame of the range a file lost as it was read, before frame.
static uint64_t
LostFrame(Input *in, const ScanParams *sp, uint64_t frame)
{
	uint64_t lost = in->stream ? UINT64_MAX : LostOffset(in);
	if (lost != UINT64_MAX) {
		uint64_t at = lost > sp->dataOffset ? (lost - sp->dataOffset) / sp->frameSize : 0;
		frame = at < frame ? at : frame;
	}
	return frame > sp->startFrame ? frame : sp->startFrame;
}

// The file shrank, or a read failed, after the frames were counted.  Frames
// that were not read are never decoded (but for the rest of a page that
// straddles where a file was cut as it was read, which reads as zeros),
// and no report is printed for a range that was not read in full.
static void
ReadFailed(uint64_t frame)
{
	FlushLines();
	printf("Can't read frame %llu from wave file!\n",
	       (unsigned long long)frame);
	exit(2);
}

double
LineDots(double sum, uint32_t channels, uint32_t resolution, float magnification)
{
	// The mean is per sample, not per frame.
	return magnification * (sum / channels / resolution);
}

// Any two sums of n non-negative terms lie within 2 (n - 1) 2^-53 of each
// other, relative to either, to within a part in 2^10 for n 2^-53 below
// 2^-11, as every line's is (2^32 frames of kMaxChannels samples at most).
// The bound is twice that, which also covers the rounding of sum - bound
// and sum + bound.  The dots never shrink as the sum grows, for a
// magnification above 0; a NaN magnification, or a sum that is not finite,
// is never taken as settled.
bool
DotsSettled(double sum, uint64_t terms, uint32_t channels, uint32_t resolution,
            float magnification)
{
	if (!(magnification > 0) || !std::isfinite(sum))
		return false;
	double bound = sum * (double)terms * 0x1p-51;
	return DotCount(LineDots(sum - bound, channels, resolution, magnification)) ==
	       DotCount(LineDots(sum + bound, channels, resolution, magnification));
}

static void
EmitLine(Input *in, const ScanParams *sp, uint64_t next, LineSums *sums)
{
	const Layout *layout = &sp->layout;
	double sum = LineSum(layout, sums);
	if (AddsInLanes(layout) &&
	    !DotsSettled(sum, (uint64_t)layout->resolution * layout->channels,
	                 layout->channels, layout->resolution, sp->magnification))
		sum = SumInOrder(in, sp, next - layout->resolution);
	// next is one past the run, so this is its first frame plus half the
	// resolution, rounded up.
	uint64_t middle = next - layout->resolution / 2;
	Waveform((int64_t)middle, LabelRate(sp->sampleRate),
	         LineDots(sum, layout->channels, layout->resolution, sp->magnification),
	         sp->secondsPerLine);
	sums->units = 0;
	sums->sum = 0;
	for (uint32_t j = 0; j < kSumLanes; j++)
		sums->lane[j] = 0;
}

// Labels divide by the rate as an unsigned 32-bit number: a larger rate,
// which only a rate field with its top bit set gives, by its low 32 bits.
static uint32_t
LabelRate(uint64_t rate)
{
	return (uint32_t)rate;
}

// Copies bytes of a stream's line to offset at of the copy kept of it.  The
// scan adds a stream's line in lanes only when the line fits.
static void
KeepFrames(const unsigned char *p, size_t at, size_t bytes)
{
	if (at > sizeof kept || bytes > sizeof kept - at) {
		fputs("quorvin1b: a line outgrew the copy kept of it\n", stderr);
		abort();
	}
	memcpy(kept + at, p, bytes);
}

// Adds the line that starts at frame first again, in sample order: a
// stream's from the copy kept of it, a file's read again into a buffer of
// its own (the block is still in use).
static double
SumInOrder(Input *in, const ScanParams *sp, uint64_t first)
{
	static unsigned char again[kBlockBytes];
	Layout layout = sp->layout;
	LineSums sums = {};
	Peaks unused = {};
	uint64_t end = first + layout.resolution;

	layout.anyOrder = false;
	if (in->stream) {
		AddFrames(&layout, kept, layout.resolution, &sums, &unused);
		return LineSum(&layout, &sums);
	}
	for (uint64_t frame = first; frame < end;) {
		uint64_t left = end - frame, most = sizeof again / sp->frameSize;
		size_t want = (size_t)(left < most ? left : most) * sp->frameSize;
		size_t got = ReadAt(in, sp->dataOffset + frame * sp->frameSize, again, want);
		if (got < sp->frameSize)
			ReadFailed(frame);
		AddFrames(&layout, again, (uint32_t)(got / sp->frameSize), &sums, &unused);
		frame += got / sp->frameSize;
	}
	return LineSum(&layout, &sums);
}
