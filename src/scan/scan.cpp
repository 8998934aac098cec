// SPDX-License-Identifier: MIT
// Interval scan: the loop over the frames the input hands on, decoded and
// added a piece at a time, with a line whenever one is complete; the
// peaks and the report.
#include "scan/scan.h"

#include <csetjmp>

#include "output/output.h"
#include "scan/lines.h"

static_assert((size_t)kMaxFrameBytes <= (size_t)kLongestFrame,
              "the input puts together any frame");

static ScanEnd ScanFrames(Input *in, const ScanPlan *plan, uint64_t *lostFrame);
static uint64_t DecodesFrom(const ScanPlan *plan);
static size_t BlocksWanted(const ScanPlan *plan, uint64_t frame, uint64_t at, uint64_t *offset);
static ScanEnd AddInRange(Input *in, const ScanPlan *plan, const unsigned char *frames,
                          uint32_t count, uint64_t first, Line *line, uint64_t *lostFrame);
static ScanEnd AddDecoded(Input *in, const ScanPlan *plan, const unsigned char *frames,
                          uint32_t count, uint64_t first, Line *line, uint64_t *lostFrame);
static uint64_t LostFrame(const ScanPlan *plan, uint64_t lost, uint64_t before);

// Frames are summed kSumPiece bytes at a time, each piece after a prefetch
// of the cache lines up to kPrefetchAhead bytes past it: a mapped file's
// frames come from memory, not from a copy just made, and the
// processor's own prefetching stops at each 4 KiB page.  Measured warm on
// this machine, a tenth faster for most codings, a fifth for the 8 kHz
// telephone file; longer pieces, or prefetching a whole line at once, lose
// what they gain on lines of many channels.
enum { kSumPiece = 4096, kPrefetchAhead = 2048, kCacheLine = 64 };

void
PlanScan(const Wave *wave, const Storage *storage, uint64_t startFrame, uint64_t endFrame,
         uint32_t resolution, float magnification, bool stream, ScanPlan *plan)
{
	plan->dataOffset = wave->dataOffset;
	plan->dataBytes = wave->dataBytes;
	plan->startFrame = startFrame;
	plan->endFrame = endFrame;
	StartDecoder(wave, storage, &plan->decoder);
	plan->keepsLines = stream;
	plan->layout = { storage->coding, plan->decoder.frameBytes / wave->channels, wave->channels,
		         resolution,
		         PassesThrough(&plan->decoder) &&
		             LinesAddInAnyOrder(stream, resolution, plan->decoder.frameBytes) };
	// A rate of 0 leaves no range to scan; it draws no line either.
	plan->secondsPerLine = wave->sampleRate != 0 ? (double)resolution / (double)wave->sampleRate : 0;
	plan->magnification = magnification;
	// Labels divide by the rate as an unsigned 32-bit number: a larger
	// rate, which only a rate field with its top bit set gives, by its low
	// 32 bits.
	plan->labelRate = (uint32_t)wave->sampleRate;
}

// A fault in a file's window comes back here, as a read that failed where
// the file lost its bytes.
ScanEnd
ScanInterval(Input *in, const ScanPlan *plan, uint64_t *lostFrame)
{
	if (sigsetjmp(*FaultReturn(in), 1) != 0) {
		*lostFrame = LostFrame(plan, StopReading(in), UINT64_MAX);
		return kFrameLost;
	}
	return ScanFrames(in, plan, lostFrame);
}

// The end of a stream ends the range; a regular file that ends early, or
// lost what it held, or a read that fails, ends the scan.
//
// The input hands on as many blocks as it has at once (a window of a file,
// a read where it cannot be mapped, what has arrived of a stream).  Before
// a read of a stream waits, the lines printed so far leave, so that a live
// stream's lines are out as soon as their frames are in.  Blocks decode
// from the one that holds the first frame of the range, or, where each
// decodes after the ones before it, from the first.
static ScanEnd
ScanFrames(Input *in, const ScanPlan *plan, uint64_t *lostFrame)
{
	static Decoder decoder;
	const Storage *storage = &plan->decoder.storage;
	Line line = {};
	uint64_t lost, block = DecodesFrom(plan);
	uint64_t frame = block * storage->blockFrames, at = block * storage->blockBytes;
	decoder = plan->decoder;
	while (frame < plan->endFrame && plan->startFrame < plan->endFrame) {
		const unsigned char *blocks;
		size_t bytes, used;
		uint64_t offset;
		size_t wanted = BlocksWanted(plan, frame, at, &offset);
		FramesResult result;
		do {
			if (WouldWait(in) && !PushOutput())
				return kOutputFailed;
			result = NextFrames(in, offset, wanted, storage->blockBytes, &blocks, &bytes, &lost);
		} while (result == kNotYet);
		if (result == kBytesLost) {
			*lostFrame = LostFrame(plan, lost, frame);
			return kFrameLost;
		}
		for (size_t pos = 0; result == kFramesHere && pos < bytes && frame < plan->endFrame;
		     pos += used, at += used) {
			uint32_t count;
			const unsigned char *frames = DecodeBlocks(&decoder, blocks + pos, bytes - pos, &used,
			                                           &count);
			if (count == 0)
				result = kInputEnded;
			ScanEnd end = AddInRange(in, plan, frames, count, frame, &line, lostFrame);
			if (end != kScanned)
				return end;
			frame += count;
		}
		if (result == kInputEnded)
			break;
	}
	if ((lost = StopReading(in)) != kNothingLost) {
		*lostFrame = LostFrame(plan, lost, plan->endFrame);
		return kFrameLost;
	}
	ReportPeaks(&plan->layout, &line.peaks, plan->magnification);
	return kScanned;
}

// The block the decoding starts from.
static uint64_t
DecodesFrom(const ScanPlan *plan)
{
	const Storage *storage = &plan->decoder.storage;
	return storage->codec == kGsm610 ? 0 : plan->startFrame / storage->blockFrames;
}

// The bytes of the blocks from at, of the block whose first frame is
// frame, up to the end of the range, the data or a window; *offset is
// where they start.  An offset past 2^64 lies beyond any input.
static size_t
BlocksWanted(const ScanPlan *plan, uint64_t frame, uint64_t at, uint64_t *offset)
{
	const Storage *storage = &plan->decoder.storage;
	uint64_t most = kWindowBytes / storage->blockBytes;
	uint64_t left = (plan->endFrame - frame + storage->blockFrames - 1) / storage->blockFrames;
	uint64_t wanted = (left < most ? left : most) * storage->blockBytes;
	uint64_t inData = plan->dataBytes > at ? plan->dataBytes - at : 0;
	*offset = plan->dataOffset + at;
	if (*offset < at)
		*offset = UINT64_MAX;
	wanted = wanted < inData ? wanted : inData;
	return (size_t)(wanted != 0 ? wanted : storage->blockBytes);
}

// Adds the frames of those decoded, count of them from frame first on,
// that the range holds.
static ScanEnd
AddInRange(Input *in, const ScanPlan *plan, const unsigned char *frames, uint32_t count,
           uint64_t first, Line *line, uint64_t *lostFrame)
{
	uint64_t from = plan->startFrame > first ? plan->startFrame - first : 0;
	uint64_t to = plan->endFrame - first < count ? plan->endFrame - first : count;
	if (from >= to)
		return kScanned;
	return AddDecoded(in, plan, frames + from * plan->decoder.frameBytes, (uint32_t)(to - from),
	                  first + from, line, lostFrame);
}

// Adds the frames at p, the first of them frame first, in pieces that end
// where a line does; a complete line is printed.
static ScanEnd
AddDecoded(Input *in, const ScanPlan *plan, const unsigned char *frames, uint32_t count,
           uint64_t first, Line *line, uint64_t *lostFrame)
{
	const Layout *layout = &plan->layout;
	uint32_t resolution = layout->resolution, frameBytes = plan->decoder.frameBytes;
	uint32_t piece = kSumPiece > frameBytes ? kSumPiece / frameBytes : 1;
	size_t bytes = (size_t)count * frameBytes, prefetched = 0;
	uint64_t frame = first;
	uint32_t counter = line->counter;
	for (uint32_t pos = 0; pos < count;) {
		uint32_t run = count - pos;
		if (resolution != 0 && run > resolution - counter)
			run = resolution - counter;
		run = run < piece ? run : piece;
		const unsigned char *p = frames + (size_t)pos * frameBytes;
		size_t upTo = (size_t)(pos + run) * frameBytes + kPrefetchAhead;
		for (; prefetched < bytes && prefetched < upTo; prefetched += kCacheLine)
			__builtin_prefetch(frames + prefetched);
		AddToLine(plan, p, run, counter, line);
		pos += run;
		frame += run;
		counter += run;
		if (resolution != 0 && counter == resolution) {
			ScanEnd end = EmitLine(in, plan, frame, line, lostFrame);
			if (end != kScanned)
				return end;
			counter = 0;
		}
	}
	line->counter = counter;
	return kScanned;
}

// The first frame of the range lost, where the input lost the byte at
// offset lost, and before frame before: the first of its block.
static uint64_t
LostFrame(const ScanPlan *plan, uint64_t lost, uint64_t before)
{
	const Storage *storage = &plan->decoder.storage;
	uint64_t block = lost > plan->dataOffset ? (lost - plan->dataOffset) / storage->blockBytes : 0;
	uint64_t frame = block < UINT64_MAX / storage->blockFrames ? block * storage->blockFrames
	                                                          : UINT64_MAX;
	frame = frame < before ? frame : before;
	return frame > plan->startFrame ? frame : plan->startFrame;
}
