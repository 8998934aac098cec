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

namespace {

const std::string kBanner = "Quorvin 1.01 by Essolard\n";
const std::string kUsage =
    "This program will print a basic waveform image\n"
    "Run with command line argument 1 being the name of the wavefile\n"
    "Arguments 2 and 3 are the start/stop times in seconds to scan within the file.\n"
    "Argument 4 (optional) is resolution in samples.  Default = samplerate / 20 \n"
    "Argument 5 (optional) is magnification: Above 1 magnifies (256 is the max).  Between 0 and 1 zooms out.\n";

struct Result {
	std::string out;
	int status;
};

std::string Temp(const std::string &name)
{
	return testing::TempDir() + "quorvin_" + name;
}

// The program's command, behind $QUORVIN_WRAPPER when that is set (the
// memory check runs every test under valgrind this way).
std::string Program()
{
	const char *wrapper = getenv("QUORVIN_WRAPPER");
	return (wrapper ? std::string(wrapper) + " " : "") + QUORVIN_BIN;
}

// Runs a shell command and returns its standard output and exit status.
Result RunShell(const std::string &command)
{
	FILE *p = popen(command.c_str(), "r");
	Result r = { "", -1 };
	char buf[65536];
	size_t n;
	while ((n = fread(buf, 1, sizeof buf, p)) > 0)
		r.out.append(buf, n);
	int status = pclose(p);
	r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	return r;
}

Result RunTool(const std::vector<std::string> &args)
{
	std::string command = Program();
	for (const std::string &a : args)
		command += " '" + a + "'";
	return RunShell(command + " 2>/dev/null");
}

Result RunOn(const std::string &name, const std::string &bytes,
             std::vector<std::string> args)
{
	std::string path = Temp(name);
	EXPECT_TRUE(WriteFile(path, bytes));
	args.insert(args.begin(), path);
	return RunTool(args);
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
			double v = fabs(x[f * channels + c]);
			peak[c] = std::max(peak[c], v);
			sum += v;
		}
		if (++n < res)
			continue;
		double dots = mag * ((channels == 2 ? sum / 2 : sum) / res);
		uint64_t mid = f + 1 - res / 2;
		float t = (float)mid / (float)rate;
		if (seconds >= 0.025)
			snprintf(buf, sizeof buf, "%.2f\t", t);
		else if (seconds > 0.001)
			snprintf(buf, sizeof buf, "%.3f\t", t);
		else
			snprintf(buf, sizeof buf, "%.3f\t%i\t", t, (int)mid);
		out += buf + std::string(dots >= 1 ? (size_t)dots : 0, '.') + "\n";
		n = 0;
		sum = 0;
	}
	snprintf(buf, sizeof buf, "Showing values above %.0f dB\n",
	         (float)(-20 * log10((double)(256.0f * mag))));
	out += buf;
	float l = (float)(20 * log10(peak[0] / 128)), r = (float)(20 * log10(peak[1] / 128));
	if (channels == 1)
		snprintf(buf, sizeof buf, "Peak over interval %.1f dB\n", l);
	else
		snprintf(buf, sizeof buf, "Peaks over interval %.1f L %.1f R\n", l, r);
	return out + buf;
}

std::vector<double> Units(const std::vector<int64_t> &v, int bits)
{
	std::vector<double> x;
	for (int64_t s : v)
		x.push_back((double)s / (bits == 16 ? 256.0 : 65536.0));
	return x;
}

}  // namespace

TEST(Usage, FewerThanThreeArguments)
{
	EXPECT_EQ(RunTool({}).out, kBanner + kUsage);
	Result r = RunTool({ "file.wav", "0" });
	EXPECT_EQ(r.out, kBanner + kUsage);
	EXPECT_EQ(r.status, 1);
}

TEST(Golden, ShortMonoAndStereo)
{
	std::vector<int64_t> mono = { 256, 256, 256, 256, 256, 256, 256, 256, 256, -32768 };
	std::vector<int64_t> stereo;
	for (int64_t s : mono)
		stereo.insert(stereo.end(), { s, s });
	const std::string lines = "0.002\t..........\n0.006\t..........\n"
	                          "Showing values above -68 dB\n";
	Result r = RunOn("golden1.wav", Wav(1000, 1, 16, IntSamples(mono, 2)),
	                 { "0", "0.01", "4", "10" });
	EXPECT_EQ(r.out, kBanner + lines + "Peak over interval 0.0 dB\n");
	EXPECT_EQ(r.status, 0);
	r = RunOn("golden2.wav", Wav(1000, 2, 16, IntSamples(stereo, 2)),
	          { "0", "0.01", "4", "10" });
	EXPECT_EQ(r.out, kBanner + lines + "Peaks over interval 0.0 L 0.0 R\n");
}

// Long files against the straightforward computation, over ranges and
// resolutions that cut blocks and lines anywhere.
TEST(Model, IntegerFilesMatchTheStraightforwardSum)
{
	struct {
		int bits, channels; uint32_t rate;
		std::vector<std::string> args;
		uint64_t start, end; uint32_t res; float mag;
	} cases[] = {
		{ 16, 2, 8000, { "0", "3" }, 0, 24000, 400, 1 },
		{ 16, 2, 8000, { "0.25", "2.5", "4097", "256" }, 2000, 20000, 4097, 256 },
		{ 16, 1, 8000, { "1.125", "9", "3", "0.5" }, 9000, 24000, 3, 0.5 },
		{ 24, 1, 48000, { "0", "0.5" }, 0, 24000, 2400, 1 },
		{ 24, 2, 8000, { "0.5", "3", "1000", "2.5" }, 4000, 24000, 1000, 2.5 },
		{ 24, 2, 8000, { "0", "1", "7" }, 0, 8000, 7, 1 },
	};
	for (const auto &c : cases) {
		std::vector<int64_t> v = Noise(24000 * c.channels, c.bits, c.rate);
		std::string wav = Wav(c.rate, c.channels, c.bits, IntSamples(v, c.bits / 8));
		Result r = RunOn("model.wav", wav, c.args);
		EXPECT_EQ(r.out, Expected(Units(v, c.bits), c.channels, c.rate, c.start,
		                          c.end, c.res, c.mag)) << c.args[0] << " " << c.args[1];
		EXPECT_EQ(r.status, 0);
	}
}

TEST(Arguments, ResolutionAndMagnificationDefaults)
{
	std::vector<int64_t> v = Noise(3000, 16, 7);
	std::string wav = Wav(1000, 1, 16, IntSamples(v, 2));
	std::vector<double> x = Units(v, 16);
	struct { std::vector<std::string> args; uint32_t res; float mag; } cases[] = {
		{ { "0", "3", "0" }, 50, 1 },       { { "0", "3", "abc" }, 50, 1 },
		{ { "0", "3", "1001" }, 50, 1 },    { { "0", "3", "-1" }, 50, 1 },
		{ { "0", "3", "1000" }, 1000, 1 },  { { "0", "3", "7", "0" }, 7, 1 },
		{ { "0", "3", "7", "-3" }, 7, 1 },  { { "0", "3", "7", "300" }, 7, 1 },
		{ { "0", "3", "7", "256" }, 7, 256 }, { { "0", "3", "7", "0.5" }, 7, 0.5 },
		{ { "0", "3", "7", "2", "x" }, 7, 1 }, { { "-1", "3" }, 50, 1 },
		{ { "nan", "3" }, 50, 1 },          { { "0", "inf", "20" }, 20, 1 },
	};
	for (const auto &c : cases) {
		Result r = RunOn("args.wav", wav, c.args);
		EXPECT_EQ(r.out, Expected(x, 1, 1000, 0, 3000, c.res, c.mag)) << c.args[2];
	}
}

TEST(Arguments, NanMagnificationStands)
{
	std::vector<int64_t> v(100, 1000);
	Result r = RunOn("nan.wav", Wav(100, 1, 16, IntSamples(v, 2)),
	                 { "0", "1", "50", "nan" });
	EXPECT_EQ(r.out, kBanner + "0.25\t\n0.75\t\nShowing values above nan dB\n"
	                 "Peak over interval -30.3 dB\n");
}

TEST(Errors, MessagesAndStatuses)
{
	std::string ok = Wav(1000, 1, 16, std::string(200, '\1'));
	std::string noData = ok;
	noData.replace(36, 4, "dat!");
	std::string threeByThree = Wav(1000, 3, 24, std::string(90, '\1'));
	std::string fourBits = Wav(1000, 1, 4, std::string(90, '\1'));
	std::string rateZero = Wav(0, 1, 16, std::string(90, '\1'));
	WriteFile(Temp("ok.wav"), ok);
	mkdir(Temp("dir.wav").c_str(), 0700);
	unlink(Temp("fifo.wav").c_str());
	mkfifo(Temp("fifo.wav").c_str(), 0600);
	struct { std::string name, bytes; std::vector<std::string> args; std::string out; int status; } cases[] = {
		{ "missing.wav", "", { "1", "0" }, "The file called " + Temp("missing.wav") + " cannot be found!\n", 2 },
		{ "dir.wav", "", { "0", "1" }, "The file called " + Temp("dir.wav") + " is not a regular file!\n", 2 },
		{ "fifo.wav", "", { "0", "1" }, "The file called " + Temp("fifo.wav") + " is not a regular file!\n", 2 },
		{ "zeros.wav", std::string(20000, '\0'), { "0", "1" }, "Can't find format chunk in wave file!\n", 2 },
		{ "nodata.wav", noData, { "0", "0" }, "Can't find data block in wave file!\n", 2 },
		{ "ok.wav", "", { "0", "0" }, "Stop or start time not set correctly\n", 1 },
		{ "ok.wav", "", { "0.5", "0.4" }, "Stop or start time not set correctly\n", 1 },
		{ "ok.wav", "", { "0", "nan" }, "Stop or start time not set correctly\n", 1 },
		{ "ok.wav", "", { "1e30", "1e31" }, "Stop or start time not set correctly\n", 1 },
		{ "rate0.wav", rateZero, { "0", "1" }, "Stop or start time not set correctly\n", 1 },
		{ "3x3.wav", threeByThree, { "1", "0" }, "Stop or start time not set correctly\n", 1 },
		{ "3x3.wav", threeByThree, { "0", "1" }, "Unrecognized bit or channel configuration\n", 1 },
		{ "4bit.wav", fourBits, { "0", "1" }, "Unrecognized bit or channel configuration\n", 1 },
	};
	for (const auto &c : cases) {
		if (!c.bytes.empty())
			WriteFile(Temp(c.name), c.bytes);
		std::vector<std::string> args = c.args;
		args.insert(args.begin(), Temp(c.name));
		Result r = RunTool(args);
		EXPECT_EQ(r.out, kBanner + c.out) << c.name;
		EXPECT_EQ(r.status, c.status) << c.name;
	}
}

// Where the tags sit decides what is read: even offsets from 2 to 15000.
TEST(Probe, TagPositions)
{
	std::string fmt = WavHeader(1000, 1, 16, 0).substr(12, 24);
	std::string tone = IntSamples(std::vector<int64_t>(100, 16384), 2);
	std::string data = "data" + IntSamples({ 200 }, 4) + tone;
	auto FmtAt = [&](size_t offset) {
		std::string s = "RIFF" + data;
		return s + std::string(offset - s.size(), 'x') + fmt;
	};
	std::string canonical = Wav(1000, 1, 16, tone);
	std::string fakeData = canonical.substr(0, 36) + "LIST" + IntSamples({ 12 }, 4) +
	                       "data" + IntSamples({ 2 }, 4) + IntSamples({ 16384 }, 2) + "xx" + data;
	std::string hugeSize = Wav(1000, 1, 16, tone + "\x01");
	hugeSize.replace(40, 4, "\xff\xff\xff\xff");
	std::string topBitSize = canonical;
	topBitSize[43] = '\x80';
	std::string bits20 = canonical;
	bits20[34] = 20;
	const std::string lines = "0.03\t" + std::string(128, '.') + "\n0.08\t" +
	                          std::string(128, '.') + "\n";
	const std::string report = "Showing values above -54 dB\nPeak over interval ";
	const std::string full = lines + report + "-6.0 dB\n";
	struct { std::string name, bytes, out; int status; } cases[] = {
		{ "at15000.wav", FmtAt(15000), full, 0 },
		{ "at15002.wav", FmtAt(15002), "Can't find format chunk in wave file!\n", 2 },
		{ "odd.wav", FmtAt(213), "Can't find format chunk in wave file!\n", 2 },
		{ "even.wav", FmtAt(214), full, 0 },
		{ "oddData.wav", canonical.substr(0, 36) + "x" + data, "Can't find data block in wave file!\n", 2 },
		{ "fakeData.wav", fakeData, report + "-6.0 dB\n", 0 },
		{ "partial.wav", Wav(1000, 1, 16, tone + "\x01"), full, 0 },
		{ "hugeSize.wav", hugeSize, full, 0 },
		{ "topBitSize.wav", topBitSize, full, 0 },
		{ "bits20.wav", bits20, full, 0 },
		{ "fmtAtEnd.wav", "RIFF" + data.substr(0, 4) + IntSamples({ 0 }, 4) + fmt.substr(0, 16),
		  "Unrecognized bit or channel configuration\n", 1 },
		{ "dataAtEnd.wav", canonical.substr(0, 40), report + "-inf dB\n", 0 },
	};
	for (const auto &c : cases) {
		Result r = RunOn(c.name, c.bytes, { "0", "1", "50", "2" });
		EXPECT_EQ(r.out, kBanner + c.out) << c.name;
		EXPECT_EQ(r.status, c.status) << c.name;
	}
}

TEST(Layouts, UndecodedLayoutsAndOddRates)
{
	std::string tone = IntSamples(std::vector<int64_t>(100, 16384), 2);
	std::string topBitRate = Wav(1000, 1, 16, tone);
	topBitRate.replace(24, 4, "\x00\x00\x00\x80"s);
	const std::string dots = std::string(64, '.');
	std::string perSecond;
	for (int i = 0; i < 10; i++)
		perSecond += std::to_string(i) + ".50\t" + dots + "\n";
	struct { std::string name, bytes; std::vector<std::string> args; std::string out; } cases[] = {
		{ "8bit.wav", Wav(100, 1, 8, std::string(100, '\x7f')), { "0", "1", "50" },
		  "0.25\t\n0.75\t\nShowing values above -48 dB\nPeak over interval -inf dB\n" },
		{ "4ch.wav", Wav(100, 4, 16, tone + tone), { "0", "1", "25" },
		  "0.13\t\n0.38\t\nShowing values above -48 dB\n" },
		{ "3ch.wav", Wav(100, 3, 16, tone + tone + tone), { "0", "1", "50" },
		  "0.25\t\n0.75\t\nShowing values above -48 dB\n" },
		{ "late.wav", Wav(100, 2, 16, tone), { "2", "3" },
		  "Showing values above -48 dB\nPeaks over interval -inf L -inf R\n" },
		{ "rate10.wav", Wav(10, 1, 16, tone), { "0", "10" },
		  "Showing values above -48 dB\nPeak over interval -6.0 dB\n" },
		{ "rate10res.wav", Wav(10, 1, 16, tone), { "0", "10", "10" },
		  perSecond + "Showing values above -48 dB\nPeak over interval -6.0 dB\n" },
		{ "topBitRate.wav", topBitRate, { "0", "1" },
		  "Showing values above -48 dB\nPeak over interval -6.0 dB\n" },
		{ "topBitRes.wav", topBitRate, { "0", "1", "50" },
		  "0.000\t25\t" + dots + "\n0.000\t75\t" + dots +
		  "\nShowing values above -48 dB\nPeak over interval -6.0 dB\n" },
	};
	for (const auto &c : cases) {
		Result r = RunOn(c.name, c.bytes, c.args);
		EXPECT_EQ(r.out, kBanner + c.out) << c.name;
		EXPECT_EQ(r.status, 0) << c.name;
	}
}

// Frame numbers above 2^24 come from single-precision products: 16777.251953125
// s at 1000 Hz is frame 16777251.95, which single precision holds as 16777252.
TEST(Layouts, FramesAboveTwoToThe24th)
{
	std::string path = Temp("big8bit.wav");
	ASSERT_TRUE(WriteFile(path, WavHeader(1000, 1, 8, 17000000)));
	ASSERT_EQ(truncate(path.c_str(), 44 + 17000000), 0);
	Result r = RunTool({ path, "16777.251953125", "16777.255859375", "1" });
	EXPECT_EQ(r.out, kBanner + "16777.252\t16777253\t\n16777.254\t16777254\t\n"
	                 "16777.256\t16777255\t\n16777.256\t16777256\t\n"
	                 "Showing values above -48 dB\nPeak over interval -inf dB\n");
}

TEST(Float, ToneMatchesTheStraightforwardSum)
{
	struct { int channels; std::vector<std::string> args; uint64_t start, end; uint32_t res; float mag; } cases[] = {
		{ 1, { "0", "3" }, 0, 24000, 400, 1 },
		{ 2, { "0.25", "2.5", "4097", "256" }, 2000, 20000, 4097, 256 },
		{ 2, { "0", "3", "33", "0.5" }, 0, 24000, 33, 0.5 },
	};
	for (const auto &c : cases) {
		std::vector<int64_t> ints = Noise(24000 * c.channels, 24, 5);
		std::vector<float> v;
		std::vector<double> x;
		for (int64_t s : ints) {
			v.push_back((float)s / 4194304.0f);   // up to 2.0, past full scale
			x.push_back(128.0 * v.back());
		}
		Result r = RunOn("float.wav", Wav(8000, c.channels, 32, FloatSamples(v)), c.args);
		EXPECT_EQ(r.out, Expected(x, c.channels, 8000, c.start, c.end, c.res, c.mag));
	}
}

TEST(Float, SpecialValues)
{
	const float inf = INFINITY, nan = NAN;
	struct { std::string name; int channels; std::vector<float> v; std::string out; } cases[] = {
		{ "silent.wav", 1, std::vector<float>(100, 0.0f),
		  "0.25\t\n0.75\t\nShowing values above -48 dB\nPeak over interval -764.6 dB\n" },
		{ "silent2.wav", 2, std::vector<float>(200, -0.0f),
		  "0.25\t\n0.75\t\nShowing values above -48 dB\nPeaks over interval -764.6 L -764.6 R\n" },
		{ "full.wav", 2, { 1.0f, -0.5f, -1.0f, 0.25f },
		  "Showing values above -48 dB\nPeaks over interval 0.0 L -6.0 R\n" },
		{ "loud.wav", 1, { 0.5f, 8.0f, -2.0f },
		  "Showing values above -48 dB\nPeak over interval 18.1 dB\n" },
		{ "inf.wav", 2, { inf, -inf, nan, 0.0f },
		  "Showing values above -48 dB\nPeaks over interval 774.2 L 770.6 R\n" },
	};
	for (const auto &c : cases) {
		Result r = RunOn(c.name, Wav(100, c.channels, 32, FloatSamples(c.v)), { "0", "1", "50" });
		EXPECT_EQ(r.out, kBanner + c.out) << c.name;
		EXPECT_EQ(r.status, 0) << c.name;
	}
}

// 32-bit integer samples are read as floats too: -1 becomes a value near
// 2^136, whose line stops at the dot counter's limit.
TEST(Float, IntegerSamplesAreReadAsFloats)
{
	std::string path = Temp("int32.wav");
	ASSERT_TRUE(WriteFile(path, Wav(1000, 1, 32, IntSamples({ -1, 0 }, 4))));
	FILE *p = popen((Program() + " " + path + " 0 1 1").c_str(), "r");
	std::string head, tail;
	uint64_t size = 0;
	char buf[65536];
	for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0; size += n) {
		if (head.size() < 64)
			head.append(buf, std::min(n, (size_t)64));
		tail = (tail + std::string(buf, n)).substr((tail.size() + n > 128) ? tail.size() + n - 128 : 0);
	}
	EXPECT_EQ(pclose(p), 0);
	const std::string line = "0.001\t1\t", report = "0.002\t2\t\n"
	                         "Showing values above -48 dB\nPeak over interval 776.7 dB\n";
	EXPECT_EQ(head.substr(0, kBanner.size() + line.size() + 10), kBanner + line + std::string(10, '.'));
	EXPECT_EQ(size, kBanner.size() + line.size() + 2147483647u + 1 + report.size());
	EXPECT_EQ(tail.substr(tail.size() - report.size() - 11), std::string(10, '.') + "\n" + report);
}

// A sparse file of 5 GiB plus a header, with a 16-bit tone written at frame
// `at`: offsets, frame numbers and labels past 2^32 bytes and 2^31 frames.
static std::string
HugeFile(const std::string &name, uint32_t rate, uint16_t channels,
         const char *sizeField, uint64_t at, const std::vector<int64_t> &tone)
{
	std::string path = Temp(name), header = WavHeader(rate, channels, 16, 0);
	header.replace(40, 4, sizeField, 4);
	std::string samples = IntSamples(tone, 2);
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
	EXPECT_EQ(pwrite(fd, header.data(), 44, 0), 44);
	EXPECT_EQ(ftruncate(fd, 44 + (5LL << 30)), 0);
	EXPECT_EQ(pwrite(fd, samples.data(), samples.size(), 44 + at * 2 * channels),
	          (ssize_t)samples.size());
	close(fd);
	return path;
}

TEST(Huge, FilesPastFourGigabytes)
{
	std::vector<int64_t> stereo;
	for (int i = 0; i < 2000; i++)
		stereo.insert(stereo.end(), { 16384, 8192 });
	std::string path = HugeFile("huge1.wav", 44100, 2, "\xff\xff\xff\xff", 1323000064, stereo);
	const std::string d48(48, '.');
	EXPECT_EQ(RunTool({ path, "30000", "30000.1", "441" }).out, kBanner +
	          "30000.008\t" + d48 + "\n30000.016\t" + d48 + "\n30000.027\t" + d48 +
	          "\n30000.037\t" + d48 + "\n30000.049\t" + std::string(25, '.') +
	          "\n30000.057\t\n30000.064\t\n30000.076\t\n30000.086\t\n"
	          "Showing values above -48 dB\nPeaks over interval -6.0 L -12.0 R\n");
	unlink(path.c_str());

	// Size field with its top bit set; the range ends at the file's last
	// frame, 2684354559, and the frame column keeps its low 32 bits.
	path = HugeFile("huge2.wav", 1000000, 1, "\x00\x00\x00\x80", 2684354048,
	                std::vector<int64_t>(512, 16384));
	EXPECT_EQ(RunTool({ path, "2684.354048", "2684.35456", "256" }).out, kBanner +
	          "2684.354\t-1610613120\t" + std::string(64, '.') + "\n2684.354\t-1610612864\t" +
	          std::string(64, '.') + "\nShowing values above -48 dB\nPeak over interval -6.0 dB\n");
	EXPECT_EQ(RunTool({ path, "2684.35456", "9999" }).out, kBanner +
	          "Showing values above -48 dB\nPeak over interval -inf dB\n");
	unlink(path.c_str());
}

TEST(Awkward, PathsAndOutputs)
{
	std::string wav = Temp("awkward.wav");
	ASSERT_TRUE(WriteFile(wav, Wav(8000, 1, 16, IntSamples(Noise(80000, 16, 3), 2))));
	std::string locked = Temp("locked.wav");
	ASSERT_TRUE(WriteFile(locked, Wav(8000, 1, 16, "")));
	chmod(locked.c_str(), 0);
	// Root reads any file, so the unreadable file is opened as nobody, by a
	// copy of the program where nobody may run it.
	std::string unreadable = Program() + " " + locked + " 0 1";
	if (geteuid() == 0) {
		std::string copy = Temp("nobody_quorvin1b");
		RunShell("cp " + std::string(QUORVIN_BIN) + " " + copy + " && chmod 755 " + copy);
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
	const std::string write = "quorvin1b: cannot write standard output: ";
	struct { std::string command, out; int status; } cases[] = {
		{ Program() + " /dev/zero 0 1",
		  kBanner + "The file called /dev/zero is not a regular file!\n", 2 },
		{ unreadable,
		  kBanner + "The file called " + locked + " cannot be found!\n", 2 },
		{ Program() + " " + deepWav + " 0 1",
		  kBanner + "Showing values above -48 dB\nPeak over interval -6.0 dB\n", 0 },
		{ Program() + " " + tooLong + " 0 1",
		  kBanner + "The file called " + tooLong + " cannot be found!\n", 2 },
		{ Program() + " " + wav + " 0 9 1 2>&1 >/dev/full", write + "No space left on device\n", 3 },
		{ Program() + " " + wav + " 0 9 2>&1 >&-", write + "Bad file descriptor\n", 3 },
		// The pipe closes after one line: the program dies of SIGPIPE (141),
		// or, where SIGPIPE is ignored, reports the failed write (3).
		{ "bash -c '" + Program() + " " + wav + " 0 9 1 2>/dev/null | head -1; "
		  "s=${PIPESTATUS[0]}; [ $s = 141 -o $s = 3 ] && echo ok'", kBanner + "ok\n", 0 },
	};
	for (const auto &c : cases) {
		Result r = RunShell(c.command);
		EXPECT_EQ(r.out, c.out) << c.command.substr(0, 200);
		EXPECT_EQ(r.status, c.status) << c.command.substr(0, 200);
	}
}
