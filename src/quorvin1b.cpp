// SPDX-License-Identifier: MIT
// quorvin1b: prints a dotted picture of the loudness of a WAV file over a
// stretch of time, then its display threshold and the peak level of each
// channel in dB.
#include <cerrno>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unistd.h>

#include "io/input.h"
#include "output/output.h"
#include "scan/scan.h"
#include "wave/probe.h"
#include "wave/storage.h"
#include "wave/wave_header.h"

// Times, frame products and labels are computed in single precision and
// must not be carried in a wider format.
static_assert(std::numeric_limits<float>::is_iec559, "IEEE single needed");
#if FLT_EVAL_METHOD != 0
#error "float arithmetic must be evaluated in single precision"
#endif

// The exit statuses: the report printed; a usage, range or layout that
// cannot be drawn; a file, chunk or frame that cannot be found or read;
// standard output failed.
enum Status { kExitDone = 0, kExitRefused = 1, kExitMissing = 2, kExitWriteFailed = 3 };

struct Arguments {
	const char *path;
	float start, stop, magnification;
	uint32_t resolution;      // 0: not given
};

static Status Run(int argc, char *argv[]);
static Status Scan(const Arguments *args);
static int Finish(Status status);
static Status Usage(void);
static Status Say(Status status, const char *message, const char *path = NULL);
static float ParseMagnification(const char *text);
static uint64_t FrameOf(float product);

int
main(int argc, char *argv[])
{
	// Lines leave in large writes unless someone watches them arrive.
	if (!isatty(STDOUT_FILENO))
		setvbuf(stdout, NULL, _IOFBF, 1 << 16);
	puts("Quorvin 1.01 by Essolard");
	return Finish(Run(argc, argv));
}

// The resolution is read whenever it is given (0 otherwise), the
// magnification only when it is the fifth and last argument.
static Status
Run(int argc, char *argv[])
{
	Arguments args;
	if (argc < 4)
		return Usage();
	args.start = (float)strtod(argv[2], NULL);
	args.stop = (float)strtod(argv[3], NULL);
	args.path = argv[1];
	args.resolution = argc >= 5 ? (uint32_t)strtoll(argv[4], NULL, 10) : 0;
	args.magnification = argc == 6 ? ParseMagnification(argv[5]) : 1.0f;
	return Scan(&args);
}

// The checks come in the order of the run: the file and its chunks, the
// times, then the layout.
static Status
Scan(const Arguments *args)
{
	Input *in;
	Wave wave;
	ScanPlan plan;
	uint64_t lostFrame;

	// One opening serves the probe and the scan, so that a stream is read
	// once.
	switch (OpenInput(args->path, kHeadBytes, &in)) {
	case kOpened:
		break;
	case kNotFound:
		return Say(kExitMissing, "The file called %s cannot be found!\n", args->path);
	case kNotRegular:
		return Say(kExitMissing, "The file called %s is not a regular file!\n", args->path);
	case kTerminal:
		return Say(kExitMissing, "The file called %s is a terminal, not a wave file!\n", args->path);
	}
	// A stream may be slow to come: the banner leaves before it is read.
	if (IsStream(in) && !PushOutput())
		return kExitWriteFailed;
	switch (GetAttributes(in, &wave)) {
	case kProbed:
		break;
	case kUnreadable:
		return Say(kExitMissing, "The file called %s cannot be read!\n", args->path);
	case kNoFormatChunk:
		return Say(kExitMissing, "Can't find format chunk in wave file!\n");
	case kNoDataChunk:
		return Say(kExitMissing, "Can't find data block in wave file!\n");
	}

	float rate = (float)wave.sampleRate;
	uint64_t startFrame = FrameOf(args->start * rate);
	uint64_t stopFrame = FrameOf(rate * args->stop);
	if (startFrame >= stopFrame)
		return Say(kExitRefused, "Stop or start time not set correctly\n");
	// Samples over 8 bytes, frames of 0 bytes (under 8 bits per sample, or
	// no channel) but for compressed codings, more than kMaxChannels
	// channels and every layout no decoder reads are refused alike.
	Storage storage;
	if (!ChooseStorage(&wave, &storage))
		return Say(kExitRefused, "Unrecognized bit or channel configuration\n");
	uint64_t endFrame = stopFrame < storage.frames ? stopFrame : storage.frames;

	// The rate is not 0 here: a rate of 0 makes every range empty.
	uint32_t resolution = args->resolution;
	if (resolution == 0 || resolution > wave.sampleRate)
		resolution = (uint32_t)(wave.sampleRate / 20);
	PlanScan(&wave, &storage, startFrame, endFrame, resolution, args->magnification, IsStream(in),
	         &plan);
	ScanEnd end = ScanInterval(in, &plan, &lostFrame);
	CloseInput(in);
	if (end == kOutputFailed)
		return kExitWriteFailed;
	if (end == kFrameLost) {
		// Frames that were not read are never decoded (but for the rest of
		// a page that straddles where a file was cut as it was read, which
		// reads as zeros), and no report is printed for a range that was
		// not read in full.
		char message[64];
		snprintf(message, sizeof message, "Can't read frame %llu from wave file!\n",
		         (unsigned long long)lostFrame);
		return Say(kExitMissing, message);
	}
	return kExitDone;
}

// Whatever the status, a message that could not be written is said on
// standard error: a script still tells a missing file (2) from a full
// disk.  A run that printed its report ends with status 3 then.
static int
Finish(Status status)
{
	int failure = EndOutput();
	if (failure == 0)
		return status;
	fprintf(stderr, "quorvin1b: cannot write standard output: %s\n", strerror(failure));
	return status == kExitDone ? kExitWriteFailed : status;
}

static Status
Usage(void)
{
	puts("This program will print a basic waveform image");
	puts("Run with command line argument 1 being the name of the wavefile");
	puts("Arguments 2 and 3 are the start/stop times in seconds to scan "
	     "within the file.");
	puts("Argument 4 (optional) is resolution in samples.  "
	     "Default = samplerate / 20 ");
	puts("Argument 5 (optional) is magnification: Above 1 magnifies "
	     "(256 is the max).  Between 0 and 1 zooms out.");
	return kExitRefused;
}

// Every message the run ends with comes here, after the lines printed
// before it.
static Status
Say(Status status, const char *message, const char *path)
{
	if (!FlushLines())
		return kExitWriteFailed;
	if (path != NULL)
		printf(message, path);
	else
		fputs(message, stdout);
	return status;
}

// A magnification that is not above 0, or above 256, falls back to 1.  NaN
// passes both tests and stands.
static float
ParseMagnification(const char *text)
{
	float m = (float)strtod(text, NULL);
	if (m <= 0 || m > 256)
		return 1.0f;
	return m;
}

// Converts a time-by-rate product to a frame number by truncation,
// saturating where truncation is undefined: negative and NaN products give
// frame 0, products of 2^64 or more (infinity too) the last frame number.
static uint64_t
FrameOf(float product)
{
	if (!(product > 0))
		return 0;
	if (product >= 18446744073709551616.0f)
		return UINT64_MAX;
	return (uint64_t)product;
}
