// Runs the built program on WAV files written here and compares its whole
// standard output and exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "wav_writer.h"

using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

const std::string kBanner = "Quorvin 1.01 by Essolard\n";

struct Result {
	std::string out;
	int status;
};

std::string Temp(const std::string &name)
{
	return testing::TempDir() + "quorvin_" + name;
}

// The program, behind $QUORVIN_WRAPPER when that is set (the memory check
// runs every test under valgrind this way).
std::string Program()
{
	const char *wrapper = getenv("QUORVIN_WRAPPER");
	return (wrapper ? std::string(wrapper) + " " : "") + QUORVIN_BIN;
}

Result Shell(const std::string &command)
{
	FILE *p = popen(command.c_str(), "r");
	Result r = { "", -1 };
	char buf[65536];
	for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
		r.out.append(buf, n);
	int status = pclose(p);
	r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	return r;
}

Result RunProgram(const std::string &path, const Strings &args)
{
	std::string command = Program() + " '" + path + "'";
	for (const std::string &a : args)
		command += " '" + a + "'";
	return Shell(command + " 2>/dev/null");
}

Result RunOn(const std::string &bytes, const Strings &args)
{
	EXPECT_TRUE(WriteFile(Temp("run.wav"), bytes));
	return RunProgram(Temp("run.wav"), args);
}

// Deterministic samples that reach every byte value and both extremes.
std::vector<int64_t> Noise(size_t count, int bits, uint32_t seed)
{
	std::vector<int64_t> v(count);
	int64_t half = (int64_t)1 << (bits - 1);
	for (size_t i = 0; i < count; i++) {
		seed = seed * 1664525u + 1013904223u;
		double tone = sin((double)i / 37.0) * (double)(i % 997) / 997.0;
		v[i] = (int64_t)(tone * (double)(half - 1)) + (int64_t)(seed >> 24) - 128;
		v[i] = std::max(-half, std::min(half - 1, v[i]));
	}
	v[count / 3] = -half;
	return v;
}

// The straightforward computation of the output: every sample in amplitude
// units, added one by one as a double, labels through printf.
std::string Expected(const std::vector<double> &x, int channels, uint32_t rate,
                     uint64_t start, uint64_t end, uint32_t res, float mag)
{
	std::string out = kBanner;
	double sum = 0, peak[2] = { 0, 0 }, seconds = (double)res / rate;
	char buf[128];
	uint32_t n = 0;
	for (uint64_t f = start; f < end; f++) {
		for (int c = 0; c < channels; c++) {
			peak[c] = std::max(peak[c], fabs(x[f * channels + c]));
			sum += fabs(x[f * channels + c]);
		}
		if (++n < res)
			continue;
		double dots = mag * ((channels == 2 ? sum / 2 : sum) / res);
		uint64_t mid = f + 1 - res / 2;
		float t = (float)mid / (float)rate;
		snprintf(buf, sizeof buf, seconds >= 0.025 ? "%.2f\t" : seconds > 0.001
		         ? "%.3f\t" : "%.3f\t%i\t", t, (int)mid);
		out += buf + std::string(dots >= 1 ? (size_t)dots : 0, '.') + "\n";
		n = 0;
		sum = 0;
	}
	float l = (float)(20 * log10(peak[0] / 128)), r = (float)(20 * log10(peak[1] / 128));
	snprintf(buf, sizeof buf, channels == 1 ? "Showing values above %.0f dB\n"
	         "Peak over interval %.1f dB\n" : "Showing values above %.0f dB\n"
	         "Peaks over interval %.1f L %.1f R\n",
	         (float)(-20 * log10((double)(256.0f * mag))), l, r);
	return out + buf;
}

}  // namespace

// Long files against the straightforward computation, over ranges and
// resolutions that cut blocks and lines anywhere, and the argument defaults.
TEST(Model, LongFilesMatchTheStraightforwardSum)
{
	struct {
		int bits, channels; uint32_t rate; size_t frames; Strings args;
		uint64_t start, end; uint32_t res; float mag;
	} cases[] = {
		{ 16, 2, 8000, 24000, { "0", "3" }, 0, 24000, 400, 1 },
		{ 16, 2, 8000, 24000, { "0.25", "2.5", "4097", "256" }, 2000, 20000, 4097, 256 },
		{ 16, 1, 8000, 24000, { "1.125", "9", "3", "0.5" }, 9000, 24000, 3, 0.5 },
		{ 24, 1, 48000, 24000, { "0", "0.5" }, 0, 24000, 2400, 1 },
		{ 24, 2, 8000, 24000, { "0.5", "3", "1000", "2.5" }, 4000, 24000, 1000, 2.5 },
		{ 24, 2, 8000, 8000, { "0", "1", "7" }, 0, 8000, 7, 1 },
		{ 32, 1, 8000, 24000, { "0", "3" }, 0, 24000, 400, 1 },
		{ 32, 2, 8000, 24000, { "0.25", "2.5", "4097", "256" }, 2000, 20000, 4097, 256 },
		{ 32, 2, 8000, 24000, { "0", "3", "33", "0.5" }, 0, 24000, 33, 0.5 },
		{ 16, 1, 1000, 3000, { "0", "3", "0" }, 0, 3000, 50, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "abc" }, 0, 3000, 50, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "1001" }, 0, 3000, 50, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "-1" }, 0, 3000, 50, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "1000" }, 0, 3000, 1000, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "7", "0" }, 0, 3000, 7, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "7", "-3" }, 0, 3000, 7, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "7", "300" }, 0, 3000, 7, 1 },
		{ 16, 1, 1000, 3000, { "0", "3", "7", "256" }, 0, 3000, 7, 256 },
		{ 16, 1, 1000, 3000, { "0", "3", "7", "2", "x" }, 0, 3000, 7, 1 },
		{ 16, 1, 1000, 3000, { "-1", "3" }, 0, 3000, 50, 1 },
		{ 16, 1, 1000, 3000, { "nan", "3" }, 0, 3000, 50, 1 },
		{ 16, 1, 1000, 3000, { "0", "inf", "20" }, 0, 3000, 20, 1 },
	};
	for (const auto &c : cases) {
		// Floats are 24-bit noise over 2^22: up to 2.0, past full scale.
		std::vector<int64_t> v = Noise(c.frames * c.channels, std::min(c.bits, 24), c.rate);
		std::vector<float> floats;
		std::vector<double> x;
		for (int64_t s : v) {
			floats.push_back((float)s / 4194304.0f);
			x.push_back(c.bits == 32 ? 128.0 * floats.back() : s / std::ldexp(1.0, c.bits - 8));
		}
		std::string data = c.bits == 32 ? FloatSamples(floats) : IntSamples(v, c.bits / 8);
		Result r = RunOn(Wav(c.rate, c.channels, c.bits, data), c.args);
		EXPECT_EQ(r.out, Expected(x, c.channels, c.rate, c.start, c.end, c.res, c.mag))
		    << c.bits << " bits, " << c.args[0] << " " << c.args[1];
		EXPECT_EQ(r.status, 0);
	}
}

// Short files with exact outputs: the header probe (even offsets 2 to
// 15000), the error messages in the order of the run, undecoded layouts,
// odd rates, float bit patterns.
TEST(Golden, WholeOutputs)
{
	std::string tone = IntSamples(std::vector<int64_t>(100, 16384), 2);
	std::string canonical = Wav(1000, 1, 16, tone), fmt = canonical.substr(12, 24);
	std::string data = "data" + IntSamples({ 200 }, 4) + tone;
	auto FmtAt = [&](size_t offset) {
		return "RIFF" + data + std::string(offset - 4 - data.size(), 'x') + fmt;
	};
	auto With = [](std::string s, size_t at, const std::string &bytes) {
		return s.replace(at, bytes.size(), bytes);
	};
	std::vector<int64_t> mono = { 256, 256, 256, 256, 256, 256, 256, 256, 256, -32768 }, stereo;
	for (int64_t s : mono)
		stereo.insert(stereo.end(), { s, s });
	const std::string d64(64, '.'), d128(128, '.'), shows = "Showing values above -48 dB\n";
	const std::string report = "Showing values above -54 dB\nPeak over interval ";
	const std::string full = "0.03\t" + d128 + "\n0.08\t" + d128 + "\n" + report + "-6.0 dB\n";
	std::string perSecond;
	for (int i = 0; i < 10; i++)
		perSecond += std::to_string(i) + ".50\t" + d64 + "\n";
	const float inf = INFINITY, nan = NAN;
	const Strings probe = { "0", "1", "50", "2" };
	const std::string stop = "Stop or start time not set correctly\n",
	    layout = "Unrecognized bit or channel configuration\n",
	    noFmt = "Can't find format chunk in wave file!\n", noData = "Can't find data block in wave file!\n";
	struct { std::string bytes; Strings args; std::string out; int status; } cases[] = {
		{ Wav(1000, 1, 16, IntSamples(mono, 2)), { "0", "0.01", "4", "10" }, "0.002\t..........\n"
		  "0.006\t..........\nShowing values above -68 dB\nPeak over interval 0.0 dB\n", 0 },
		{ Wav(1000, 2, 16, IntSamples(stereo, 2)), { "0", "0.01", "4", "10" }, "0.002\t..........\n"
		  "0.006\t..........\nShowing values above -68 dB\nPeaks over interval 0.0 L 0.0 R\n", 0 },
		{ FmtAt(15000), probe, full, 0 },
		{ FmtAt(15002), probe, noFmt, 2 },
		{ FmtAt(213), probe, noFmt, 2 },
		{ FmtAt(214), probe, full, 0 },
		{ std::string(20000, '\0'), probe, noFmt, 2 },
		{ canonical.substr(0, 36) + "x" + data, probe, noData, 2 },
		{ With(canonical, 36, "dat!"), { "0", "0" }, noData, 2 },
		// "data" inside a LIST chunk's payload is taken: one frame at -6 dB.
		{ canonical.substr(0, 36) + "LIST" + IntSamples({ 12 }, 4) + "data" + IntSamples({ 2 }, 4) +
		  IntSamples({ 16384 }, 2) + "xx" + data, probe, report + "-6.0 dB\n", 0 },
		{ Wav(1000, 1, 16, tone + "\x01"), probe, full, 0 },
		{ With(Wav(1000, 1, 16, tone + "\x01"), 40, "\xff\xff\xff\xff"), probe, full, 0 },
		{ With(canonical, 43, "\x80"), probe, full, 0 },
		{ With(canonical, 34, "\x14"), probe, full, 0 },                  // 20 bits: 2 bytes
		{ "RIFFdata" + IntSamples({ 0 }, 4) + fmt.substr(0, 16), probe, layout, 1 },
		{ canonical.substr(0, 40), probe, report + "-inf dB\n", 0 },
		{ canonical, { "0", "0" }, stop, 1 },
		{ canonical, { "0.5", "0.4" }, stop, 1 },
		{ canonical, { "0", "nan" }, stop, 1 },
		{ canonical, { "1e30", "1e31" }, stop, 1 },
		{ Wav(0, 1, 16, tone), { "0", "1" }, stop, 1 },
		{ Wav(1000, 3, 24, tone), { "1", "0" }, stop, 1 },
		{ Wav(1000, 3, 24, tone), { "0", "1" }, layout, 1 },
		{ Wav(1000, 1, 4, tone), { "0", "1" }, layout, 1 },
		{ Wav(100, 1, 8, std::string(100, '\x7f')), { "0", "1", "50" },
		  "0.25\t.\n0.75\t.\n" + shows + "Peak over interval -42.1 dB\n", 0 },
		{ Wav(100, 4, 16, tone + tone), { "0", "1", "25" }, "0.13\t" + d64 + "\n0.38\t" + d64 + "\n" + shows +
		  "Peaks over interval -6.0 -6.0 -6.0 -6.0 dB\n", 0 },
		{ Wav(100, 3, 16, tone + tone + tone), { "0", "1", "50" }, "0.25\t" + d64 + "\n0.75\t" + d64 + "\n" + shows +
		  "Peaks over interval -6.0 -6.0 -6.0 dB\n", 0 },
		{ Wav(100, 2, 16, tone), { "2", "3" }, shows + "Peaks over interval -inf L -inf R\n", 0 },
		{ Wav(10, 1, 16, tone), { "0", "10" }, shows + "Peak over interval -6.0 dB\n", 0 },
		{ Wav(10, 1, 16, tone), { "0", "10", "10" }, perSecond + shows + "Peak over interval -6.0 dB\n", 0 },
		{ With(canonical, 24, "\x00\x00\x00\x80"s), { "0", "1" }, shows + "Peak over interval -6.0 dB\n", 0 },
		{ With(canonical, 24, "\x00\x00\x00\x80"s), { "0", "1", "50" }, "0.000\t25\t" + d64 +
		  "\n0.000\t75\t" + d64 + "\n" + shows + "Peak over interval -6.0 dB\n", 0 },
		{ Wav(100, 1, 16, IntSamples(std::vector<int64_t>(100, 1000), 2)), { "0", "1", "50", "nan" },
		  "0.25\t\n0.75\t\nShowing values above nan dB\nPeak over interval -30.3 dB\n", 0 },
		{ Wav(100, 1, 32, FloatSamples(std::vector<float>(100, 0.0f))), { "0", "1", "50" },
		  "0.25\t\n0.75\t\n" + shows + "Peak over interval -764.6 dB\n", 0 },
		{ Wav(100, 2, 32, FloatSamples(std::vector<float>(200, -0.0f))), { "0", "1", "50" },
		  "0.25\t\n0.75\t\n" + shows + "Peaks over interval -764.6 L -764.6 R\n", 0 },
		{ Wav(100, 2, 32, FloatSamples({ 1.0f, -0.5f, -1.0f, 0.25f })), { "0", "1", "50" },
		  shows + "Peaks over interval 0.0 L -6.0 R\n", 0 },
		{ Wav(100, 1, 32, FloatSamples({ 0.5f, 8.0f, -2.0f })), { "0", "1", "50" },
		  shows + "Peak over interval 18.1 dB\n", 0 },
		{ Wav(100, 2, 32, FloatSamples({ inf, -inf, nan, 0.0f })), { "0", "1", "50" },
		  shows + "Peaks over interval 774.2 L 770.6 R\n", 0 },
	};
	for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
		Result r = RunOn(cases[i].bytes, cases[i].args);
		EXPECT_EQ(r.out, kBanner + cases[i].out) << "case " << i;
		EXPECT_EQ(r.status, cases[i].status) << "case " << i;
	}
}

// 32-bit integer samples are read as floats: -1 becomes a value near 2^136,
// whose row stops at the dot counter's limit.  The dots are counted, and
// the rest compared, with them taken out.
TEST(Golden, IntegerSamplesAreReadAsFloats)
{
	ASSERT_TRUE(WriteFile(Temp("int32.wav"), Wav(1000, 1, 32, IntSamples({ -1, 0 }, 4))));
	std::string command = Program() + " " + Temp("int32.wav") + " 0 1 1 | tr ";
	EXPECT_EQ(Shell(command + "-d .").out, "Quorvin 101 by Essolard\n0001\t1\t\n0002\t2\t\n"
	          "Showing values above -48 dB\nPeak over interval 7767 dB\n");
	EXPECT_EQ(Shell(command + "-cd . | wc -c").out, "2147483651\n");   // and 4 points
}

// Frame numbers above 2^24 come from single-precision products:
// 16777.251953125 s at 1000 Hz is frame 16777251.95, held as 16777252.
TEST(Golden, FramesAboveTwoToThe24th)
{
	ASSERT_TRUE(WriteFile(Temp("big8bit.wav"), WavHeader(1000, 1, 8, 17000000)));
	ASSERT_EQ(truncate(Temp("big8bit.wav").c_str(), 44 + 17000000), 0);
	EXPECT_EQ(RunProgram(Temp("big8bit.wav"), { "16777.251953125", "16777.255859375", "1" }).out,
	          kBanner + "16777.252\t16777253\t" + std::string(128, '.') + "\n16777.254\t16777254\t" +
	          std::string(128, '.') + "\n16777.256\t16777255\t" + std::string(128, '.') + "\n16777.256\t16777256\t" +
	          std::string(128, '.') + "\nShowing values above -48 dB\nPeak over interval 0.0 dB\n");
}

// Sparse files of 5 GiB past the header, with a 16-bit tone written at
// frame `at`: offsets, frame numbers and labels past 2^32 bytes and 2^31
// frames, for a size field of 0xFFFFFFFF and one with its top bit set.
TEST(Huge, FilesPastFourGigabytes)
{
	auto HugeFile = [](uint32_t rate, uint16_t channels, const char *size, uint64_t at,
	                   const std::vector<int64_t> &tone) {
		std::string header = WavHeader(rate, channels, 16, 0).replace(40, 4, size, 4);
		std::string samples = IntSamples(tone, 2);
		int fd = open(Temp("huge.wav").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
		EXPECT_EQ(pwrite(fd, header.data(), 44, 0), 44);
		EXPECT_EQ(ftruncate(fd, 44 + (5LL << 30)), 0);
		EXPECT_EQ(pwrite(fd, samples.data(), samples.size(), 44 + at * 2 * channels),
		          (ssize_t)samples.size());
		close(fd);
		return Temp("huge.wav");
	};
	std::vector<int64_t> stereo;
	for (int i = 0; i < 2000; i++)
		stereo.insert(stereo.end(), { 16384, 8192 });
	std::string path = HugeFile(44100, 2, "\xff\xff\xff\xff", 1323000064, stereo);
	const std::string d48(48, '.'), d64(64, '.'), shows = "Showing values above -48 dB\n";
	EXPECT_EQ(RunProgram(path, { "30000", "30000.1", "441" }).out, kBanner + "30000.008\t" + d48 +
	          "\n30000.016\t" + d48 + "\n30000.027\t" + d48 + "\n30000.037\t" + d48 +
	          "\n30000.049\t" + std::string(25, '.') + "\n30000.057\t\n30000.064\t\n30000.076\t\n"
	          "30000.086\t\n" + shows + "Peaks over interval -6.0 L -12.0 R\n");
	// The range ends at the file's last frame, 2684354559.
	path = HugeFile(1000000, 1, "\x00\x00\x00\x80", 2684354048, std::vector<int64_t>(512, 16384));
	EXPECT_EQ(RunProgram(path, { "2684.354048", "2684.35456", "256" }).out, kBanner +
	          "2684.354\t-1610613120\t" + d64 + "\n2684.354\t-1610612864\t" + d64 + "\n" +
	          shows + "Peak over interval -6.0 dB\n");
	EXPECT_EQ(RunProgram(path, { "2684.35456", "9999" }).out, kBanner + shows + "Peak over interval -inf dB\n");
	unlink(path.c_str());
}

TEST(Awkward, PathsAndOutputs)
{
	std::string wav = Temp("awkward.wav"), locked = Temp("locked.wav");
	ASSERT_TRUE(WriteFile(wav, Wav(8000, 1, 16, IntSamples(Noise(80000, 16, 3), 2))));
	ASSERT_TRUE(WriteFile(locked, Wav(8000, 1, 16, "")));
	chmod(locked.c_str(), 0);
	mkdir(Temp("dir.wav").c_str(), 0700);
	unlink(Temp("fifo.wav").c_str());
	mkfifo(Temp("fifo.wav").c_str(), 0600);
	// Root reads any file, so the unreadable file is opened as nobody, by a
	// copy of the program where nobody may run it.
	std::string unreadable = Program() + " " + locked + " 0 1";
	if (geteuid() == 0) {
		std::string copy = Temp("nobody_quorvin1b");
		Shell("cp " + std::string(QUORVIN_BIN) + " " + copy + " && chmod 755 " + copy);
		unreadable = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
		             unreadable.replace(unreadable.find(QUORVIN_BIN), strlen(QUORVIN_BIN), copy);
	}
	std::string deep = Temp("");
	while (deep.size() < 3800) {
		deep += std::string(200, 'p') + "/";
		mkdir(deep.c_str(), 0700);
	}
	std::string deepWav = deep + std::string(4000 - deep.size() - 4, 'w') + ".wav";
	ASSERT_TRUE(WriteFile(deepWav, Wav(100, 1, 16, IntSamples({ 16384 }, 2))));
	std::string tooLong = deep + std::string(5000 - deep.size(), 'w');
	auto Missing = [](const std::string &path) {
		return kBanner + "The file called " + path + " cannot be found!\n";
	};
	auto Irregular = [](const std::string &path) {
		return kBanner + "The file called " + path + " is not a regular file!\n";
	};
	const std::string write = "quorvin1b: cannot write standard output: ";
	const std::string usage = kBanner + "This program will print a basic waveform image\n"
	    "Run with command line argument 1 being the name of the wavefile\n"
	    "Arguments 2 and 3 are the start/stop times in seconds to scan within the file.\n"
	    "Argument 4 (optional) is resolution in samples.  Default = samplerate / 20 \n"
	    "Argument 5 (optional) is magnification: Above 1 magnifies (256 is the max).  "
	    "Between 0 and 1 zooms out.\n";
	struct { std::string command, out; int status; } cases[] = {
		{ Program(), usage, 1 },
		{ Program() + " file.wav 0", usage, 1 },
		{ Program() + " " + Temp("missing.wav") + " 1 0", Missing(Temp("missing.wav")), 2 },
		{ Program() + " " + Temp("dir.wav") + " 0 1", Irregular(Temp("dir.wav")), 2 },
		{ Program() + " /dev/zero 0 1", kBanner + "Can't find format chunk in wave file!\n", 2 },
		{ unreadable, Missing(locked), 2 },
		{ Program() + " " + deepWav + " 0 1",
		  kBanner + "Showing values above -48 dB\nPeak over interval -6.0 dB\n", 0 },
		{ Program() + " " + tooLong + " 0 1", Missing(tooLong), 2 },
		{ Program() + " " + wav + " 0 9 1 2>&1 >/dev/full", write + "No space left on device\n", 3 },
		{ Program() + " " + wav + " 0 9 2>&1 >&-", write + "Bad file descriptor\n", 3 },
		// The pipe closes after one line: the program dies of SIGPIPE (141),
		// or, where SIGPIPE is ignored, reports the failed write (3).
		{ "bash -c '" + Program() + " " + wav + " 0 9 1 2>/dev/null | head -1; "
		  "s=${PIPESTATUS[0]}; [ $s = 141 -o $s = 3 ] && echo ok'", kBanner + "ok\n", 0 },
	};
	for (const auto &c : cases) {
		Result r = Shell(c.command);
		EXPECT_EQ(r.out, c.out) << c.command.substr(0, 200);
		EXPECT_EQ(r.status, c.status) << c.command.substr(0, 200);
	}
}
