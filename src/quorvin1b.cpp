// SPDX-License-Identifier: MIT
// quorvin1b: prints a dotted picture of the loudness of a WAV file over a
// stretch of time, then its display threshold and the peak level of each
// channel in dB.
#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unistd.h>

#include "decode.h"
#include "input.h"
#include "output.h"
#include "probe.h"
#include "scan.h"

// Times, frame products and labels are computed in single precision and
// must not be carried in a wider format.
static_assert(std::numeric_limits<float>::is_iec559, "IEEE single needed");
#if FLT_EVAL_METHOD != 0
#error "float arithmetic must be evaluated in single precision"
#endif

[[noreturn]] static void Usage(void);
[[noreturn]] static void Fail(const char *message);
static void ReadArguments(int argc, char *argv[], char *name, size_t size,
                          float *start, float *stop, uint32_t *resolution,
                          float *magnification);
static void CopyName(char *name, size_t size, const char *path);
static float ParseMagnification(const char *text);
static uint64_t FrameOf(float product);

int
main(int argc, char *argv[])
{
	static Input in;
	char name[PATH_MAX];
	float start, stop, magnification;
	uint32_t resolution;
	Wave wave;
	ScanParams sp;

	atexit(ReportOutputAtExit);
	// Lines leave in large writes unless someone watches them arrive.
	if (!isatty(STDOUT_FILENO))
		setvbuf(stdout, NULL, _IOFBF, 1 << 16);
	puts("Quorvin 1.01 by Essolard");
	ReadArguments(argc, argv, name, sizeof name, &start, &stop, &resolution,
	              &magnification);

	// One opening serves the probe and the scan, so that a stream is read
	// once.
	OpenWave(name, &in);
	// A stream may be slow to come: the banner leaves before it is read.
	if (in.stream)
		PushOutput();
	GetAttributes(&in, &wave.sampleRate, &wave.bytesPerSample, &wave.channels,
	              &wave.dataOffset, &wave.frameCount, &wave.frameBytes, &wave.bitsPerSample,
	              &wave.formatCode);
	float rate = (float)wave.sampleRate;
	uint64_t startFrame = FrameOf(start * rate);
	uint64_t stopFrame = FrameOf(rate * stop);
	if (startFrame >= stopFrame)
		Fail("Stop or start time not set correctly");
	uint64_t endFrame = stopFrame < wave.frameCount ? stopFrame : wave.frameCount;
	// Samples over 8 bytes, frames of 0 bytes (under 8 bits per sample, or
	// no channel), more than kMaxChannels channels and every layout no
	// decoder reads are refused alike.
	Coding coding = ChooseCoding(wave.bitsPerSample, wave.formatCode, wave.channels);
	if (coding == kRefused)
		Fail("Unrecognized bit or channel configuration");

	// The rate is not 0 here: a rate of 0 makes every range empty.
	if (resolution == 0 || resolution > wave.sampleRate)
		resolution = (uint32_t)(wave.sampleRate / 20);
	PlanScan(&wave, coding, startFrame, endFrame, resolution, magnification, &sp);
	ScanInterval(&in, &sp);
	close(in.fd);
	fflush(stdout);
	CheckOutput();
	return 0;
}

// The resolution is read whenever it is given (0 otherwise), the
// magnification only when it is the fifth and last argument.
static void
ReadArguments(int argc, char *argv[], char *name, size_t size, float *start,
              float *stop, uint32_t *resolution, float *magnification)
{
	if (argc < 4)
		Usage();
	*start = (float)strtod(argv[2], NULL);
	*stop = (float)strtod(argv[3], NULL);
	CopyName(name, size, argv[1]);
	*resolution = argc >= 5 ? (uint32_t)strtoll(argv[4], NULL, 10) : 0;
	*magnification = argc == 6 ? ParseMagnification(argv[5]) : 1.0f;
}

static void
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
	exit(1);
}

static void
Fail(const char *message)
{
	puts(message);
	exit(1);
}

// Any path the system can open fits the buffer; a longer one could not be
// opened and is reported as such.
static void
CopyName(char *name, size_t size, const char *path)
{
	if (strlen(path) >= size) {
		printf("The file called %s cannot be found!\n", path);
		exit(2);
	}
	strcpy(name, path);
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
