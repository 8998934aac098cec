// SPDX-License-Identifier: MIT
// Runs the built program on WAV files written here, from the file and
// through a pipe as "-", and compares its whole standard output and status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "e2e.h"
#include "wav_writer.h"
#include "wave/codings.h"

using namespace std::string_literals;

namespace {

const std::string kShows = "Showing values above -48 dB\n";

// G.711 as its reference tables define it: a sign, a segment and a step.
double G711(unsigned byte, int format)
{
	unsigned b = format == 7 ? ~byte & 0xFF : byte ^ 0x55;
	unsigned segment = b >> 4 & 7, step = b & 15;
	int value = (step * 16 + 264) << segment >> 1;
	if (format == 7)
		value = ((step * 8 + 132) << segment) - 132;
	else if (segment == 0)
		value = step * 16 + 8;
	bool positive = format == 7 ? b < 128 : b >= 128;
	return positive ? value / 256.0 : -value / 256.0;
}

// Deterministic samples of a coding, their bytes and the amplitude each
// stands for: a swelling tone and noise that reach every byte value and
// both extremes (floats go up to 2.0, past full scale), quieter in each
// channel after the first.
std::string Samples(int bits, int format, size_t count, unsigned channels, uint32_t seed,
                    std::vector<double> *x)
{
	std::string data;
	int64_t half = (int64_t)1 << (std::min(format == 3 ? 24 : bits, 63) - 1);
	for (size_t i = 0; i < count; i++) {
		seed = seed * 1664525u + 1013904223u;
		double tone = sin((double)i / 37.0) * (double)(i % 997) / 997.0 * (double)(half - 1);
		int64_t s = ((int64_t)tone + (seed >> 24) - 128) / (int64_t)(1 + i % channels);
		s = i == count / 3 ? -half : std::max(-half, std::min(half - 1, s));
		double f = (double)s / 4194304.0;
		float single = (float)f;
		uint64_t word = bits == 8 && format == 1 ? s + 128 : s;
		double amplitude = s / std::ldexp(1.0, bits - 8);
		if (bits == 8 && format != 1)
			amplitude = G711((uint8_t)s, format);
		if (format == 3) {
			memcpy(&word, bits == 32 ? (void *)&single : (void *)&f, bits / 8);
			amplitude = 128.0 * f;
		}
		data += Le(word, bits / 8);
		x->push_back(amplitude);
	}
	return data;
}

// The straightforward computation of the output: every sample in amplitude
// units added one by one as a double, labels and levels through printf.
std::string Expected(const std::vector<double> &x, unsigned channels, uint32_t rate,
                     uint64_t start, uint64_t end, uint32_t res, float mag)
{
	std::string out = kBanner;
	std::vector<double> peak(channels);
	double sum = 0, seconds = (double)res / rate;
	const char *label = seconds >= 0.025 ? "%.2f\t" : seconds > 0.001 ? "%.3f\t" : "%.3f\t%i\t";
	char buf[128];
	for (uint64_t f = start, n = 1; f < end; f++, n++) {
		for (unsigned c = 0; c < channels; c++) {
			peak[c] = std::max(peak[c], fabs(x[f * channels + c]));
			sum += fabs(x[f * channels + c]);
		}
		if (n < res)
			continue;
		double dots = mag * (sum / channels / res);
		uint64_t middle = f + 1 - res / 2;
		snprintf(buf, sizeof buf, label, (float)middle / (float)rate, (int)middle);
		out += buf + std::string(dots >= 1 ? (size_t)dots : 0, '.') + "\n";
		n = sum = 0;
	}
	float threshold = (float)(-20 * log10((double)(256.0f * mag)));
	snprintf(buf, sizeof buf, "Showing values above %.0f dB\nPeak%s over interval", threshold,
	         channels > 1 ? "s" : "");
	out += buf;
	for (unsigned c = 0; c < channels; c++) {
		float level = (float)(20 * log10(peak[c] / 128));
		snprintf(buf, sizeof buf, channels == 2 && c == 1 ? " L %.1f R" : " %.1f", level);
		out += buf;
	}
	return out + (channels == 2 ? "\n" : " dB\n");
}

// A file at 1000 Hz, of channels channels of bits bits, with the format code.
std::string Coded(uint16_t bits, uint16_t format, const std::string &samples, uint16_t channels)
{
	return Wav(PcmFormat(1000, channels, bits, format), samples);
}

std::string Peak(const std::string &level)
{
	return kShows + "Peak over interval " + level + " dB\n";
}

// One line per sample (resolution 1 at 1000 Hz, magnification 256) with
// dots[i] dots, then the report.
std::string PerSample(std::vector<size_t> dots, const std::string &peak)
{
	std::string out;
	for (size_t i = 1; i <= dots.size(); i++) {
		std::string n = std::to_string(i);
		out += "0.00" + n + "\t" + n + "\t" + std::string(dots[i - 1], '.') + "\n";
	}
	return out + "Showing values above -96 dB\nPeak over interval " + peak + " dB\n";
}

// Reads the program's output until it holds count lines, or for at most
// ten seconds, a wait no loaded machine comes near.
std::string LinesFrom(int fd, std::string out, size_t count)
{
	char buf[4096];
	struct pollfd wait = { fd, POLLIN, 0 };
	while (std::count(out.begin(), out.end(), '\n') < (long)count && poll(&wait, 1, 10000) > 0) {
		ssize_t n = read(fd, buf, sizeof buf);
		if (n <= 0)
			break;
		out.append(buf, n);
	}
	return out;
}

// Feeds bytes to the program through a FIFO, a piece at a time, each
// piece only once the program has taken all of the one before (as a
// reader of the FIFO sees), or after ten seconds; so the program's reads
// end at the cuts, with no timing involved.  Where lines are given, after
// each piece the output must come to lines[i] lines.  The output must
// stay within a pipe's buffer.
Result Piecewise(const std::string &dir, const std::string &bytes, const std::vector<size_t> &cuts,
                 const std::string &args, const std::vector<size_t> &lines = {})
{
	std::string fifo = dir + "pieces", out;
	EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	FILE *program = popen((kProgram + " " + fifo + " " + args).c_str(), "r");
	int in = open(fifo.c_str(), O_WRONLY);
	int watch = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
	for (size_t i = 0, start = 0; i <= cuts.size(); start = cuts[i++]) {
		size_t end = i < cuts.size() ? cuts[i] : bytes.size();
		EXPECT_EQ(write(in, bytes.data() + start, end - start), (ssize_t)(end - start));
		int left = 1;
		for (int wait = 0; wait < 10000 && ioctl(watch, FIONREAD, &left) == 0 && left > 0; wait++)
			usleep(1000);
		if (i < lines.size()) {
			out = LinesFrom(fileno(program), out, lines[i]);
			EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), (long)lines[i]) << "piece " << i;
		}
		if (i == cuts.size())
			break;
	}
	close(in);
	close(watch);
	out = LinesFrom(fileno(program), out, 1 << 20);
	int status = pclose(program);
	unlink(fifo.c_str());
	return { out, WIFEXITED(status) ? WEXITSTATUS(status) : -1 };
}

// 100 samples at -6 dB, at 1000 Hz, mono 16-bit: the audio most golden
// rows hold; at resolution 50 and magnification 2 it draws kFull.
const std::string kTone = IntSamples(std::vector<int64_t>(100, 16384), 2);
const std::string kMagnified = "Showing values above -54 dB\nPeak over interval ";
const std::string kFull = "0.03\t" + std::string(128, '.') + "\n0.08\t" + std::string(128, '.') +
                          "\n" + kMagnified + "-6.0 dB\n";

// A row of a golden table: a file, the arguments, and the whole output
// after the banner and the status it must give, from the file and
// through a pipe.
struct Golden {
	const char *name;
	std::string bytes;
	Strings args;
	std::string out;
	int status;
};

void ExpectGolden(const std::vector<Golden> &rows)
{
	std::string dir = Dir();
	for (const Golden &g : rows) {
		Result r = Outcome(dir, g.bytes, g.args);
		EXPECT_EQ(std::make_pair(r.out, r.status), std::make_pair(kBanner + g.out, g.status))
		    << g.name;
	}
}

}  // namespace

// Long files of every coding and many channel counts against the
// straightforward computation, over ranges and resolutions that cut
// blocks and lines anywhere, and the argument defaults.  More than 1024
// channels are refused.
TEST(Model, LongFilesMatchTheStraightforwardSum)
{
	std::string dir = Dir();
	struct {
		int bits, format;
		unsigned channels;
		uint32_t rate;
		size_t frames;
		Strings args;
		uint64_t start, end;
		uint32_t res;
		float mag;
	} cases[] = {
		{ 16, 1, 2, 8000, 24000, { "0", "3", "200" }, 0, 24000, 200, 1 },   // 0.025 s a line
		{ 16, 1, 1, 8000, 24000, { "1.125", "9", "3", "0.5" }, 9000, 24000, 3, 0.5 },
		{ 24, 1, 3, 8000, 9000, { "0", "2", "333" }, 0, 9000, 333, 1 },
		{ 16, 1, 6, 48000, 6000, { "0", "1", "7", "2" }, 0, 6000, 7, 2 },
		{ 24, 1, 6, 48000, 24000, { "0.125", "0.5", "1000", "2.5" }, 6000, 24000, 1000, 2.5 },
		{ 32, 3, 1, 8000, 24000, { "0", "3", "1" }, 0, 24000, 1, 1 },
		{ 32, 3, 8, 8000, 6000, { "0.25", "2.5", "255", "256" }, 2000, 6000, 255, 256 },
		{ 32, 1, 2, 8000, 24000, { "0", "3", "33", "0.5" }, 0, 24000, 33, 0.5 },
		{ 32, 3, 1, 40000, 50000, { "0", "2", "20000" }, 0, 50000, 20000, 1 },  // too long to keep
		{ 8, 1, 2, 8000, 24000, { "0.5", "3", "4096", "2" }, 4000, 24000, 4096, 2 },
		{ 16, 1, 1, 8, 300, { "0", "40", "1" }, 0, 300, 1, 1 },             // labels of ties
		{ 8, 6, 8, 8000, 9000, { "0", "3", "8", "256" }, 0, 9000, 8, 256 },  // 0.001 s a line
		{ 8, 7, 2, 8000, 24000, { "-1", "3", "0", "256" }, 0, 24000, 400, 256 },
		{ 64, 1, 2, 8000, 9000, { "0", "3", "41" }, 0, 9000, 41, 1 },
		{ 64, 3, 2, 8000, 9000, { "0", "3", "42", "1.04" }, 0, 9000, 42, 1.04f },
		{ 16, 1, 64, 8000, 900, { "0", "1", "37" }, 0, 900, 37, 1 },
		{ 8, 1, kMaxChannels, 8000, 300, { "0", "1", "3", "4" }, 0, 300, 3, 4 },
		{ 8, 1, kMaxChannels + 1, 8000, 10, { "0", "1" }, 0, 0, 0, 1 },
		{ 16, 1, 1, 1000, 3000, { "0", "3", "0" }, 0, 3000, 50, 1 },
		{ 16, 1, 1, 1000, 3000, { "0", "3", "-1" }, 0, 3000, 50, 1 },
		{ 16, 1, 1, 1000, 3000, { "0", "3", "1000" }, 0, 3000, 1000, 1 },
		{ 16, 1, 1, 1000, 3000, { "0", "3", "7", "300" }, 0, 3000, 7, 1 },
		{ 16, 1, 1, 1000, 3000, { "0", "3", "7", "2", "x" }, 0, 3000, 7, 1 },
		{ 16, 1, 1, 1000, 3000, { "0", "inf", "20" }, 0, 3000, 20, 1 },
		// Resolutions past 32 bits wrap alike on every host.
		{ 16, 1, 1, 1000, 3000, { "0", "0.01", "-4294967295" }, 0, 10, 1, 1 },
	};
	for (const auto &c : cases) {
		std::vector<double> x;
		std::string data = Samples(c.bits, c.format, c.frames * c.channels, c.channels, c.rate, &x);
		std::string wav = Wav(PcmFormat(c.rate, c.channels, c.bits, c.format), data);
		Result r = Outcome(dir, wav, c.args);
		Result want = { kBanner + "Unrecognized bit or channel configuration\n", 1 };
		if (c.channels <= kMaxChannels)
			want = { Expected(x, c.channels, c.rate, c.start, c.end, c.res, c.mag), 0 };
		EXPECT_EQ(std::make_pair(r.out, r.status), std::make_pair(want.out, want.status))
		    << c.bits << " bits, format " << c.format << ", " << c.channels << " channels, "
		    << c.args[0] << " " << c.args[1];
	}
}

// Short files with exact outputs, from the file and through a pipe, in
// tables by what they check; a failure names its row.
TEST(Golden, ChunksFoundByWalkingOrByTheirTags)
{
	const Format tone = PcmFormat(1000, 1, 16);
	std::string fmt = FormatChunk(tone), data = Chunk("data", kTone);
	auto FmtAt = [&](size_t at) {
		return "RIFF" + data + std::string(at - 4 - data.size(), 'x') + fmt;
	};
	// ffmpeg's title tag: the letters "data" at 66.
	std::string title = Chunk("LIST", "INFO" + Chunk("INAM", "about metadata"s + '\0'));
	// A chunk whose body starts with a data chunk of one frame at -6 dB.
	std::string inner = Chunk("data", IntSamples({ 16384 }, 2)), tail = inner + std::string(14990, 0);
	std::string list = Chunk("LIST", inner), beyond = Chunk("LIST", tail);
	std::string wrong = SizedChunk("LIST", 1000, inner), cut = SizedChunk("LIST", 1 << 21, tail);
	std::string junk15k = Chunk("JUNK", std::string(15000, 0));
	std::string junk1M = Chunk("JUNK", std::string(1 << 20, 0));
	std::string bext = Chunk("bext", "  fmt " + std::string(30, '\x7f'));
	std::string junk = Chunk("JUNK", "data" + std::string(9996, '\0'));
	std::string odd = SizedChunk("JUNK", 3, "abc");
	const std::string oneFrame = kMagnified + "-6.0 dB\n";
	const std::string noFmt = "Can't find format chunk in wave file!\n";
	const std::string noData = "Can't find data block in wave file!\n";
	const Strings args = { "0", "1", "50", "2" };
	ExpectGolden({
		{ "fmt at 15000", FmtAt(15000), args, kFull, 0 },
		{ "fmt at 15002", FmtAt(15002), args, noFmt, 2 },
		{ "fmt at an odd offset", FmtAt(213), args, noFmt, 2 },
		{ "no data tag", Riff(fmt + Chunk("dat!", kTone)), { "0", "0" }, noData, 2 },
		{ "odd data size", Wav(1000, 1, 16, kTone + "\x01"), args, kFull, 0 },
		{ "fmt cut short", "RIFF" + Chunk("data", "") + SizedChunk("fmt ", 16, FormatBody(tone)
		  .substr(0, 8)), args, "Unrecognized bit or channel configuration\n", 1 },
		{ "no frame", Riff(fmt) + "data", args, kMagnified + "-inf dB\n", 0 },
		{ "title tag", Riff(fmt + title + data), args, kFull, 0 },
		{ "bext before fmt", Riff(bext + fmt + data), args, kFull, 0 },
		{ "data chunk first", Riff(data + bext + fmt), args, kFull, 0 },
		{ "long chunk", Riff(fmt + junk + data), args, kFull, 0 },
		{ "chunk in a chunk", Riff(fmt + list + data), args, kFull, 0 },
		{ "RF64", Riff(fmt + list + data, "RF64"), args, kFull, 0 },
		{ "BW64, fmt past 15000", Riff(junk15k + fmt + data, "BW64"), args, kFull, 0 },
		{ "not WAVE", Riff(fmt + list + data, "RIFF", "AVI "), args, oneFrame, 0 },
		{ "size too large", Riff(fmt + wrong + data), args, oneFrame, 0 },
		{ "size too large, past the head", Riff(fmt + cut + data), args, oneFrame, 0 },
		{ "letters data in a long chunk", Riff(fmt + beyond + data), args, kFull, 0 },
		{ "15000 bytes before fmt", Riff(junk15k + fmt + data), args, kFull, 0 },
		{ "1 MiB before fmt", Riff(junk1M + fmt + data), args, kFull, 0 },
		{ "15000 bytes before data", Riff(fmt + junk15k + data), args, kFull, 0 },
		{ "1 MiB before data", Riff(fmt + junk1M + data), args, kFull, 0 },
		{ "odd chunk unpadded", Riff(fmt + odd + list + data), args, kFull, 0 },
	});
	// Read in pieces, the head grows until the walk is over.
	std::string dir = Dir();
	Result tagged = Piecewise(dir, Riff(fmt + title + data), { 60, 75 }, "0 1 50 2");
	EXPECT_EQ(tagged.out, kBanner + kFull);
	Result padded = Piecewise(dir, Riff(fmt + junk + data), { 3000, 6000, 9000 }, "0 1 50 2");
	EXPECT_EQ(padded.out, kBanner + kFull);
	Result far = Piecewise(dir, Riff(junk1M + fmt + data), { 20000, 600000 }, "0 1 50 2");
	EXPECT_EQ(far.out, kBanner + kFull);
	// A stream keeps 1 MiB read past its head: where a chunk list broken
	// further on leaves the probe's answer, the frames after the head are
	// lost, and said to be.
	std::string huge = SizedChunk("data", 1 << 30, IntSamples({ 16384 }, 2)) + tail.substr(10);
	std::string broken = Riff(fmt + SizedChunk("LIST", 1 << 21, huge)) + std::string(3 << 20, 0);
	ASSERT_TRUE(WriteFile(dir + "broken.wav", broken));
	Result lost = Shell("cat " + dir + "broken.wav | " + kProgram + " - 7.4 9 50");
	EXPECT_EQ(std::make_pair(lost.out, lost.status),
	          std::make_pair(kBanner + "7.43\t\nCan't read frame 7491 from wave file!\n", 2));
}

TEST(Golden, RangesAndLayoutsRefused)
{
	const std::string stop = "Stop or start time not set correctly\n";
	ExpectGolden({
		{ "equal times", Wav(1000, 1, 16, kTone), { "0", "0" }, stop, 1 },
		{ "rate 0", Wav(0, 1, 16, kTone), { "0", "1" }, stop, 1 },
		{ "times swapped, layout refused", Wav(1000, 1, 72, kTone), { "1", "0" }, stop, 1 },
	});
	// Layouts no decoder reads: bits, format code, channels.
	std::string dir = Dir();
	for (auto l : { std::vector<uint16_t>{ 4, 1, 1 }, { 16, 1, 0 }, { 12, 1, 1 }, { 8, 3, 1 },
	                { 40, 3, 1 }, { 56, 6, 1 }, { 72, 1, 1 } })
		EXPECT_EQ(Outcome(dir, Coded(l[0], l[1], kTone, l[2]), { "0", "1" }).out,
		          kBanner + "Unrecognized bit or channel configuration\n")
		    << l[0] << " bits";
}

// Each coding's extremes, odd rates, and the float quirks.
TEST(Golden, CodingsRatesAndQuirks)
{
	// An extensible header: its sub-format says integer PCM or float.
	auto Extensible = [](uint16_t code) {
		Format f = PcmFormat(1000, 1, 32, 0xFFFE);
		f.extension = std::string(8, '\0') + Le(code, 2) + std::string(14, '\0');
		return Wav(f, IntSamples({ 1 << 30 }, 4));
	};
	const std::string d64(64, '.'), peaks = kShows + "Peaks over interval ";
	const Strings each = { "0", "1", "1", "256" }, fifty = { "0", "1", "50" };
	// In sample order the second line adds up to just under one dot, in
	// lanes to exactly one: it is added again in order, as through a pipe.
	std::vector<float> nearDot(16, 0.0f);
	nearDot[8] = (1 - 0x1p-24f) / 128;
	nearDot[9] = 0x1p-31f * (1 - 0x1p-24f);
	nearDot[10] = 0x1p-55f * (1 - 0x1p-5f);
	nearDot[11] = nearDot[15] = 0x1p-62f;
	const std::string shortOfADot =
	    "0.50\t\n1.50\t\nShowing values above -66 dB\nPeak over interval -42.1 dB\n";
	std::string wide24 = IntSamples({ -(1 << 23), (1 << 22) - 1, -(1 << 22) + 1, 1 << 21 }, 3);
	std::string wide32 = IntSamples({ INT32_MIN, 1 << 30, 0, -(1 << 29) }, 4);
	ExpectGolden({
		{ "40-bit", Coded(40, 1, IntSamples({ -(1LL << 39), 1LL << 32 }, 5), 1), each,
		  PerSample({ 32768, 256 }, "0.0"), 0 },
		{ "double, NaN", Coded(64, 3, IntSamples({ 0x3FF0000000000000, 0, 0x7FF8000000000000 }, 8), 1),
		  each, PerSample({ 32768, 0, 0 }, "0.0"), 0 },
		{ "double infinity", Coded(64, 3, IntSamples({ (int64_t)0xFFF0000000000000 }, 8), 1), fifty,
		  Peak("inf"), 0 },
		{ "extensible PCM", Extensible(1), each, PerSample({ 16384 }, "-6.0"), 0 },
		{ "extensible float", Extensible(3), each, PerSample({ 65536 }, "6.0"), 0 },
		{ "4 channels", Wav(100, 4, 16, kTone), { "2", "3" }, peaks + "-inf -inf -inf -inf dB\n", 0 },
		{ "rate 10", Wav(10, 1, 16, kTone), { "0", "10" }, Peak("-6.0"), 0 },
		{ "rate's top bit", Wav(PcmFormat(0x80000000, 1, 16), kTone), fifty,
		  "0.000\t25\t" + d64 + "\n0.000\t75\t" + d64 + "\n" + Peak("-6.0"), 0 },
		// Lines too long for exact integer sums take the in-order path.
		{ "24-bit long lines", Wav(1 << 30, 2, 24, wide24), { "0", "1", "1073741824" },
		  peaks + "0.0 L -6.0 R\n", 0 },
		{ "32-bit long lines", Wav(PcmFormat(1 << 22, 2, 32, 1), wide32), { "0", "1", "4194304" },
		  peaks + "0.0 L -6.0 R\n", 0 },
		{ "NaN magnification", Wav(100, 1, 16, IntSamples(std::vector<int64_t>(100, 1000), 2)),
		  { "0", "1", "50", "nan" },
		  "0.25\t\n0.75\t\nShowing values above nan dB\nPeak over interval -30.3 dB\n", 0 },
		{ "silent float", Wav(100, 1, 32, FloatSamples(std::vector<float>(100, 0.0f))), fifty,
		  "0.25\t\n0.75\t\n" + Peak("-764.6"), 0 },
		{ "float just short of a dot", Wav(8, 1, 32, FloatSamples(nearDot)), { "0", "2", "8", "8" },
		  shortOfADot, 0 },
		{ "the same in RIFX", Rifx(PcmFormat(8, 1, 32, 3), FloatSamples(nearDot), 4),
		  { "0", "2", "8", "8" }, shortOfADot, 0 },
		{ "float infinities", Wav(100, 2, 32, FloatSamples({ INFINITY, -INFINITY, NAN, 0.0f })),
		  fifty, peaks + "774.2 L 770.6 R\n", 0 },
		{ "empty A-law range", Coded(8, 6, "\xd5\xd5"s, 1), { "2", "3" }, Peak("-inf"), 0 },
	});
}

// What only streams have: sizes written before the length was known, a
// FIFO that waits for its writer, a terminal, and a writer that is cut off
// once the range is done.
TEST(Streams, PipesFifosAndTerminals)
{
	std::string dir = Dir(), wav = dir + "tone.wav";
	std::vector<double> x;
	std::string data = Samples(16, 1, 8000, 1, 5, &x);
	const Format mono = PcmFormat(8000, 1, 16);
	ASSERT_TRUE(WriteFile(wav, Wav(mono, data)));
	std::string whole = Expected(x, 1, 8000, 0, 8000, 400, 1);
	for (uint32_t size : { 0xFFFFFFFFu, 0x7FFFF000u })
		EXPECT_EQ(Outcome(dir, WavHead(mono, size) + data, { "0", "9" }).out, whole);
	// The data chunk before the format chunk, the stream paused after the
	// data tag: the probe waits for the format chunk.  The FIFO waits for
	// its writer.
	std::string late = Riff(Chunk("data", data.substr(0, 4000)) + FormatChunk(mono));
	Result paused = Piecewise(dir, late, { 100 }, "0 1 100");
	EXPECT_EQ(paused.out, Outcome(dir, late, { "0", "1", "100" }).out);
	EXPECT_EQ(std::count(paused.out.begin(), paused.out.end(), '\n'), 23);
	EXPECT_EQ(Piecewise(dir, Wav(mono, data), {}, "0 1").out, whole);
	std::string terminal = "script -qec '" + kProgram + " - 0 1' /dev/null </dev/null";
	EXPECT_EQ(Shell(terminal + " | tr -d '\\r'").out,
	          kBanner + "The file called - is a terminal, not a wave file!\n");
	std::string endless = "(cat " + wav + "; cat /dev/zero) | " + kProgram + " - 0 0.5";
	EXPECT_EQ(Shell("bash -c '" + endless + " >/dev/null; echo ${PIPESTATUS[*]}'").out, "141 0\n");
}

// A stream written in pieces, each only once the lines of the one before
// are out: the banner while the header is still coming, then every line
// whose frames have all arrived (the second piece ends inside a frame),
// and in all the output the same bytes give from a file.
TEST(Streams, LinesLeaveAsTheirFramesArrive)
{
	std::vector<double> x;
	std::string data = Samples(16, 1, 2000, 1, 9, &x);
	std::string wav = Wav(PcmFormat(8000, 1, 16), data);
	Result r = Piecewise(Dir(), wav, { 30, 44 + 2001 }, "0 1", { 1, 3, 8 });
	std::string expected = Expected(x, 1, 8000, 0, 2000, 400, 1);
	EXPECT_EQ(std::make_pair(r.out, r.status), std::make_pair(expected, 0));
}

// Inputs that fail, through a preloaded library (faults.cpp): a file that
// cannot be mapped is read by read(), in pieces, the same output as mapped,
// over several pieces and frames that straddle them; reads that fail end
// the run at once, reported where they fail, after the lines of the frames
// read: a stream's head, a file that shrank after its frames were counted,
// a file's frames, a stream's frames after its header.  A static program
// takes no preloaded library.
TEST(Faults, InputsThatFail)
{
#ifdef QUORVIN_FAULTS
	if (kOther != nullptr)
		GTEST_SKIP() << "a program of another build may take no preloaded library";
	std::string dir = Dir(), big = dir + "big.wav", path = dir + "short.wav";
	std::vector<double> x;
	std::string data = Samples(24, 1, 60000 * 6, 6, 3, &x);
	ASSERT_TRUE(WriteFile(big, Wav(PcmFormat(48000, 6, 24), data)));
	// Ten frames of 2 units at 40 Hz, of which the first three are drawn,
	// before a chunk that makes the file longer than the head.
	std::string tenFrames = Chunk("data", IntSamples(std::vector<int64_t>(10, 512), 2));
	std::string wav = Riff(FormatChunk(PcmFormat(40, 1, 16)) + tenFrames +
	                       Chunk("JUNK", std::string(16000, '\0')));
	const std::string drawn = "0.03\t..\nCan't read frame 3 from wave file!\n";
	const std::string refuse = "QUORVIN_REFUSE_MMAP=" + dir + "refused ";
	struct {
		std::string faults, input, args, out;
		int status;
	} cases[] = {
		{ refuse, big, " 0 10 4801", Expected(x, 6, 48000, 0, 60000, 4801, 1), 0 },
		{ "QUORVIN_READS_FAIL_AFTER=0 ", "-", " 0 1 2",
		  kBanner + "The file called - cannot be read!\n", 2 },
		{ "QUORVIN_CUT=64:50:" + path + " ", path, " 0 1 2", kBanner + drawn, 2 },
		{ refuse + "QUORVIN_READS_FAIL_AFTER=15034 ", path, " 0 1 2",
		  kBanner + "Can't read frame 0 from wave file!\n", 2 },
		{ "QUORVIN_READS_FAIL_AFTER=50 ", "-", " 0 1 2", kBanner + drawn, 2 },
	};
	for (const auto &c : cases) {
		ASSERT_TRUE(WriteFile(path, wav));
		std::string feed = c.input == "-" ? "cat " + path + " | " : "";
		Result r = Shell(feed + c.faults + "LD_PRELOAD=" QUORVIN_FAULTS
		                 " ASAN_OPTIONS=verify_asan_link_order=0 " + kProgram + " " + c.input + c.args);
		EXPECT_EQ(std::make_pair(r.out, r.status), std::make_pair(c.out, c.status)) << c.faults;
	}
	EXPECT_EQ(access((dir + "refused").c_str(), F_OK), 0) << "mmap was not refused";
#endif
}

// A file cut while its mapped window is read: the program's lines go into
// a pipe whose reader takes 64 KiB of them, then truncates the file, then
// takes the rest; so the cut lands in the window, long after the program
// mapped it.  Cut at a page, the next page faults; cut within one, the
// rest of that page reads as zeros (lines of no dots) before the next
// faults.  Either way the frame named is the first the file lost.
TEST(Faults, FileCutUnderItsMapping)
{
	const char *qemu = getenv("QUORVIN_QEMU");
	if (qemu != nullptr && strcmp(qemu, "s390x") == 0)
		GTEST_SKIP() << "qemu-s390x (7.2) gives a bus error's address with its halves swapped";
	std::string dir = Dir(), path = dir + "cut.wav";
	const size_t page = (size_t)sysconf(_SC_PAGESIZE), frames = 300000;
	for (size_t cut : { 64 * page, 64 * page + 1000 }) {
		size_t lost = (cut - 44) / 2, drawn = (cut + page - 1) / page * page;
		std::string tone = IntSamples(std::vector<int64_t>(frames, 512), 2);
		ASSERT_TRUE(WriteFile(path, Wav(8000, 1, 16, tone)));
		std::string reader = "(dd bs=65536 count=1 iflag=fullblock status=none; truncate -s " +
		                     std::to_string(cut) + " " + path + "; cat)";
		Result r = Shell("bash -c '" + kProgram + " " + path + " 0 40 1 | " + reader +
		                 "; exit ${PIPESTATUS[0]}'");
		std::string last = "Can't read frame " + std::to_string(lost) + " from wave file!\n";
		EXPECT_EQ(r.status, 2) << cut;
		EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), (long)(drawn - 44) / 2 + 2) << cut;
		EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), last.size())), last) << cut;
	}
	// Compressed blocks fault where the decoder reads them: the frame named
	// is the first of the block that holds the first byte lost.
	Format ima = PcmFormat(8000, 1, 4, 0x11);
	ima.blockAlign = 256;
	ima.extension = Le(2, 2) + Le(505, 2);
	std::string blocks;
	for (size_t k = 0; k < 2000; k++)
		blocks += Le(k * 7, 2) + Le(k % 89, 1) + std::string(253, (char)(k * 13));
	ASSERT_TRUE(WriteFile(path, Wav(ima, blocks)));
	std::string cutAt = std::to_string(64 * page);
	Result r = Shell("bash -c '" + kProgram + " " + path + " 0 200 1 | (dd bs=65536 count=1 " +
	                 "iflag=fullblock status=none >/dev/null; truncate -s " + cutAt + " " + path +
	                 "; tail -n 1); exit ${PIPESTATUS[0]}'");
	std::string frame = std::to_string((64 * page - 48) / 256 * 505);
	EXPECT_EQ(std::make_pair(r.out, r.status),
	          std::make_pair("Can't read frame " + frame + " from wave file!\n", 2));
}

// A sparse file of 5 GiB past the header, at 1 MHz, with a data size whose
// top bit is set and a 16-bit tone at its last 512 frames: offsets past
// 2^32 bytes, frame numbers past 2^31 in single precision, and the frame
// column narrowed to its low 32 bits.
TEST(Huge, FilesPastFourGigabytes)
{
	// qemu-arm (7.2) maps a file past 4 GiB as zeros for a 32-bit program.
	if (kWrapper != nullptr && strstr(kWrapper, "qemu-arm-static") != nullptr)
		GTEST_SKIP() << "qemu-arm maps a file past 4 GiB as zeros";
	std::string path = Dir() + "huge.wav", d64(64, '.');
	std::string tone = IntSamples(std::vector<int64_t>(512, 16384), 2);
	ASSERT_TRUE(WriteFile(path, WavHead(PcmFormat(1000000, 1, 16), 0x80000000)));
	ASSERT_EQ(truncate(path.c_str(), 44 + (5LL << 30)), 0);
	std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
	f.seekp(44 + 2684354048LL * 2).write(tone.data(), tone.size());
	f.close();
	std::string lines = "2684.354\t-1610613120\t" + d64 + "\n2684.354\t-1610612864\t" + d64 + "\n";
	EXPECT_EQ(Shell(kProgram + " " + path + " 2684.354048 2684.35456 256").out,
	          kBanner + lines + Peak("-6.0"));
	unlink(path.c_str());
}

TEST(Awkward, PathsAndOutputs)
{
	std::string dir = Dir(), wav = dir + "awkward.wav", deep = dir, long5000(5000, 'w');
	ASSERT_TRUE(WriteFile(wav, Wav(8000, 1, 16, IntSamples(std::vector<int64_t>(80000, 16384), 2))));
	while (deep.size() < 3800)
		mkdir((deep += std::string(200, 'p') + "/").c_str(), 0700);
	deep += std::string(4000 - deep.size(), 'w');   // a path of 4000 characters
	ASSERT_TRUE(WriteFile(deep, Wav(100, 1, 16, IntSamples({ 16384 }, 2))));
	ASSERT_TRUE(WriteFile(dir + "wide.wav", Wav(100, 1, 72, std::string(9, '\0'))));
	const std::string write = "quorvin1b: cannot write standard output: ";
	const std::string usage = kBanner +
	    "This program will print a basic waveform image\n"
	    "Run with command line argument 1 being the name of the wavefile\n"
	    "Arguments 2 and 3 are the start/stop times in seconds to scan within the file.\n"
	    "Argument 4 (optional) is resolution in samples.  Default = samplerate / 20 \n"
	    "Argument 5 (optional) is magnification: Above 1 magnifies (256 is the max).  "
	    "Between 0 and 1 zooms out.\n";
	const std::string file = kBanner + "The file called ";
	struct {
		std::string command, out;
		int status;
	} cases[] = {
		{ "", usage, 1 },
		{ " " + dir + "missing.wav 1 0", file + dir + "missing.wav cannot be found!\n", 2 },
		{ " " + dir + " 0 1", file + dir + " is not a regular file!\n", 2 },
		// Reading a process's memory at offset 0 fails with EIO.
		{ " /proc/self/mem 0 1", file + "/proc/self/mem cannot be read!\n", 2 },
		{ " " + deep + " 0 1", kBanner + Peak("-6.0"), 0 },
		{ " " + long5000 + " 0 1", file + long5000 + " cannot be found!\n", 2 },
		{ " " + wav + " 0 9 1 2>&1 >/dev/full", write + "No space left on device\n", 3 },
		// A message that cannot be written keeps its own status.
		{ " 2>&1 >/dev/full", write + "No space left on device\n", 1 },
		{ " " + dir + "missing.wav 1 0 2>&1 >/dev/full", write + "No space left on device\n", 2 },
		{ " " + dir + "wide.wav 0 1 2>&1 >/dev/full", write + "No space left on device\n", 1 },
		{ " " + deep + " 0 1 2>&1 >/dev/full", write + "No space left on device\n", 3 },
		{ " " + wav + " 0 9 2>&1 >&-", write + "Bad file descriptor\n", 3 },
	};
	for (const auto &c : cases) {
		Result r = Shell(kProgram + c.command);
		EXPECT_EQ(std::make_pair(r.out, r.status), std::make_pair(c.out, c.status))
		    << c.command.substr(0, 200);
	}
}
