// SPDX-License-Identifier: MIT
// Interval scan: the block loop, one line per run of frames, the peaks.
#include "scan.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output.h"

static uint32_t ReadBlock(Input *in, const ScanParams *sp, uint64_t frame,
                          uint32_t want, unsigned char *block);
[[noreturn]] static void ReadFailed(uint64_t frame);
static void EmitLine(Input *in, const ScanParams *sp, uint64_t next, LineSums *sums);
static double SumInOrder(Input *in, const ScanParams *sp, uint64_t first);

// A stream cannot be read again: its lines added in lanes are kept here as
// they arrive, to be added again in order where needed.
static unsigned char kept[kKeptLineBytes];

void
ScanInterval(Input *in, const ScanParams *sp, unsigned char *block)
{
	const Layout *layout = &sp->layout;
	uint32_t resolution = layout->resolution, counter = 0;
	// Blocks of whole frames fill the buffer, whatever the frame size.
	uint32_t blockFrames = kBlockBytes / sp->frameSize;
	double peak[kMaxChannels] = { 0 }, top[kMaxChannels];
	Peaks peaks = {};
	LineSums sums = {};

	for (uint64_t frame = sp->startFrame; frame < sp->endFrame;) {
		uint64_t left = sp->endFrame - frame;
		uint32_t want = left < blockFrames ? (uint32_t)left : blockFrames;
		uint32_t got = ReadBlock(in, sp, frame, want, block);
		for (uint32_t pos = 0; pos < got;) {
			uint32_t run = got - pos;
			if (resolution != 0 && run > resolution - counter)
				run = resolution - counter;
			AddFrames(layout, block + (size_t)pos * sp->frameSize, run, &sums, &peaks);
			if (in->stream && AddsInLanes(layout))
				memcpy(kept + (size_t)counter * sp->frameSize,
				       block + (size_t)pos * sp->frameSize, (size_t)run * sp->frameSize);
			pos += run;
			frame += run;
			counter += run;
			if (resolution != 0 && counter == resolution) {
				EmitLine(in, sp, frame, &sums);
				counter = 0;
			}
		}
		// A stream's whole frames end where it ends, as a file's frame
		// count ends at its last whole frame.
		if (got < want && (!in->stream || (got == 0 && in->failed)))
			ReadFailed(frame);
		if (got == 0)
			break;
	}
	PeaksOf(layout, &peaks, top);
	for (uint32_t c = 0; c < layout->channels; c++)
		CheckPeak(peak[c], top[c]);
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
	PutLine(label, n, DotCount(dots));
	return '\n';
}

// Whole frames only.  A regular file's block is read whole; a stream's
// holds the frames that have arrived, at least one, or none at its end
// (a trailing partial frame is not one).  The lines printed so far go to
// standard output first, which the read hands on if it has to wait.  An
// offset past 2^64 lies beyond any input.
static uint32_t
ReadBlock(Input *in, const ScanParams *sp, uint64_t frame, uint32_t want,
          unsigned char *block)
{
	uint64_t skip = frame * sp->frameSize;
	uint64_t offset = sp->dataOffset + skip;
	size_t bytes = (size_t)want * sp->frameSize, got;
	if (offset < skip)
		offset = UINT64_MAX;
	if (!in->stream)
		return (uint32_t)(ReadAt(in, offset, block, bytes) / sp->frameSize);
	FlushLines();
	while ((got = ReadArrived(in, offset, block, bytes, sp->frameSize)) == 0 && !in->ended)
		;
	return (uint32_t)(got / sp->frameSize);
}

// The file shrank, or a read failed, after the frames were counted.  Frames
// that were not read are never decoded, and no report is printed for a
// range that was not read in full.
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
// other, relative to either (for n 2^-53 below 2^-20, as every line's is).
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
	Waveform((int64_t)middle, (uint32_t)sp->sampleRate,
	         LineDots(sum, layout->channels, layout->resolution, sp->magnification),
	         sp->secondsPerLine);
	sums->units = 0;
	sums->sum = 0;
	for (uint32_t j = 0; j < kSumLanes; j++)
		sums->lane[j] = 0;
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
		uint64_t left = end - frame, most = kBlockBytes / sp->frameSize;
		uint32_t want = (uint32_t)(left < most ? left : most);
		uint32_t got = ReadBlock(in, sp, frame, want, again);
		if (got < want)
			ReadFailed(frame + got);
		AddFrames(&layout, again, got, &sums, &unused);
		frame += got;
	}
	return LineSum(&layout, &sums);
}
