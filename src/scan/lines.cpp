// SPDX-License-Identifier: MIT
// Lines: a line's dots and label, added again in order where the dots
// of a line added in lanes are in doubt, and the level report.
#include "scan/lines.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output/output.h"

static_assert((uint64_t)kMaxChannels << 32 <= 1ULL << 42, "a line's terms stay within 2^42");
static_assert((size_t)kReadBytes >= (size_t)kMaxFrameBytes, "a line is read again in frames");

static int Waveform(int64_t frame, uint32_t sampleRate, double dots, double secondsPerLine);
static double LineDots(double sum, uint32_t channels, uint32_t resolution, float magnification);
static bool DotsSettled(double sum, uint64_t terms, uint32_t channels, uint32_t resolution,
                        float magnification);
static void KeepFrames(const unsigned char *p, size_t at, size_t bytes);
static bool SumInOrder(Input *in, const ScanPlan *plan, uint64_t first, double *sum,
                       uint64_t *lostFrame);

// A stream's lines added in lanes are kept here as they arrive.  Lines too
// long for it are added in order from the start.
static unsigned char kept[1 << 16];

// Lines of this many seconds or more label their time with two decimals,
// shorter ones with three; lines of kFrameColumnUpTo seconds or less also
// show their middle frame.
static const double kTwoPlacesFrom = 0.025, kFrameColumnUpTo = 0.001;

bool
LinesAddInAnyOrder(bool stream, uint32_t resolution, uint32_t frameBytes)
{
	uint64_t lineBytes = (uint64_t)resolution * frameBytes;
	return !stream || (lineBytes != 0 && lineBytes <= sizeof kept);
}

void
AddToLine(const ScanPlan *plan, const unsigned char *p, uint32_t frames, uint32_t counter,
          Line *line)
{
	size_t frameBytes = plan->decoder.frameBytes;
	AddFrames(&plan->layout, p, frames, &line->sums, &line->peaks);
	if (plan->keepsLines && AddsInLanes(&plan->layout))
		KeepFrames(p, counter * frameBytes, frames * frameBytes);
}

ScanEnd
EmitLine(Input *in, const ScanPlan *plan, uint64_t next, Line *line, uint64_t *lostFrame)
{
	const Layout *layout = &plan->layout;
	double sum = LineSum(layout, &line->sums);
	if (AddsInLanes(layout) &&
	    !DotsSettled(sum, (uint64_t)layout->resolution * layout->channels, layout->channels,
	                 layout->resolution, plan->magnification) &&
	    !SumInOrder(in, plan, next - layout->resolution, &sum, lostFrame))
		return kFrameLost;
	// next is one past the run, so this is its first frame plus half the
	// resolution, rounded up.
	uint64_t middle = next - layout->resolution / 2;
	double dots = LineDots(sum, layout->channels, layout->resolution, plan->magnification);
	line->sums.units = 0;
	line->sums.sum = 0;
	for (uint32_t j = 0; j < kSumLanes; j++)
		line->sums.lane[j] = 0;
	return Waveform((int64_t)middle, plan->labelRate, dots, plan->secondsPerLine) == EOF
	    ? kOutputFailed : kScanned;
}

void
ReportPeaks(const Layout *layout, const Peaks *peaks, float magnification)
{
	double top[kMaxChannels];
	PeaksOf(layout, peaks, top);
	Report(layout->channels, magnification, top);
}

// Prints one line: the time label of frame, then the whole part of dots as
// dots.  Returns '\n', as writing the final newline does (the line is held
// back, to leave with others in one write), or EOF once standard output
// has failed.
static int
Waveform(int64_t frame, uint32_t sampleRate, double dots, double secondsPerLine)
{
	char *label = LineLabel(), *end = label;
	float time = (float)frame / (float)sampleRate;

	// Each call has its places as a constant: one call with the places
	// chosen at run time made a line a tenth slower.
	if (secondsPerLine >= kTwoPlacesFrom)
		end += FormatFixed(end, time, 2);
	else
		end += FormatFixed(end, time, 3);
	*end++ = '\t';
	if (secondsPerLine <= kFrameColumnUpTo) {
		// The frame column holds the low 32 bits of the frame number.
		uint32_t low = (uint32_t)frame;
		end += FormatInt(end, low <= INT32_MAX
		    ? (int32_t)low : (int32_t)(low - 2147483648u) + INT32_MIN);
		*end++ = '\t';
	}
	return PutLine(end, DotCount(dots));
}

// The dots of a line whose magnitudes add up to sum.
static double
LineDots(double sum, uint32_t channels, uint32_t resolution, float magnification)
{
	// The mean is per sample, not per frame.
	return magnification * (sum / channels / resolution);
}

// Whether every sum of terms magnitudes in any order that rounds to sum
// gives the same number of dots as sum itself: then the dots of a line
// added in lanes are those of the line added in sample order.  Any two
// sums of n non-negative terms lie within 2 (n - 1) 2^-53 of each
// other, relative to either, to within a part in 2^10 for n 2^-53 below
// 2^-11, as every line's is (2^32 frames of kMaxChannels samples at most).
// The bound is twice that, which also covers the rounding of sum - bound
// and sum + bound.  The dots never shrink as the sum grows, for a
// magnification above 0; a NaN magnification, or a sum that is not finite,
// is never taken as settled.
static bool
DotsSettled(double sum, uint64_t terms, uint32_t channels, uint32_t resolution,
            float magnification)
{
	if (!(magnification > 0) || !std::isfinite(sum))
		return false;
	double bound = sum * (double)terms * 0x1p-51;
	return DotCount(LineDots(sum - bound, channels, resolution, magnification)) ==
	       DotCount(LineDots(sum + bound, channels, resolution, magnification));
}

// Copies bytes of a stream's line to offset at of the kept line.  The
// scan adds a stream's line in lanes only when the line fits.
static void
KeepFrames(const unsigned char *p, size_t at, size_t bytes)
{
	if (at > sizeof kept || bytes > sizeof kept - at) {
		fputs("quorvin1b: a line outgrew the room kept for it\n", stderr);
		abort();
	}
	memcpy(kept + at, p, bytes);
}

// Adds the line that starts at frame first again, in sample order: a
// stream's from its kept line, a file's read again into a buffer of
// its own (the frames handed on are still in use).
static bool
SumInOrder(Input *in, const ScanPlan *plan, uint64_t first, double *sum, uint64_t *lostFrame)
{
	static unsigned char again[kReadBytes];
	Layout layout = plan->layout;
	LineSums sums = {};
	Peaks unused = {};
	uint64_t end = first + layout.resolution, frameBytes = plan->decoder.frameBytes;
	bool failed = false;

	layout.anyOrder = false;
	if (plan->keepsLines) {
		AddFrames(&layout, kept, layout.resolution, &sums, &unused);
		*sum = LineSum(&layout, &sums);
		return true;
	}
	for (uint64_t frame = first; frame < end;) {
		uint64_t left = end - frame, most = sizeof again / frameBytes;
		size_t want = (size_t)((left < most ? left : most) * frameBytes);
		size_t got = CopyBytes(in, plan->dataOffset + frame * frameBytes, again, want, &failed);
		if (got < frameBytes) {
			*lostFrame = frame;
			return false;
		}
		AddFrames(&layout, again, (uint32_t)(got / frameBytes), &sums, &unused);
		frame += got / frameBytes;
	}
	*sum = LineSum(&layout, &sums);
	return true;
}
