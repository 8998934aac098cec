// The small functions and their arithmetic corners, where the end-to-end
// tests would need many runs to reach them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

#include "output.h"
#include "scan.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(DotCount, WholePartBoundedByTheCounter)
{
	for (auto c : { std::pair<double, int32_t>{ 0.999, 0 }, { 1, 1 }, { std::nextafter(3.0, 0.0), 2 }, { -5, 0 },
	                { NAN, 0 }, { 2147483646.5, 2147483646 }, { 2147483647.0, INT32_MAX }, { INFINITY, INT32_MAX } })
		EXPECT_EQ(DotCount(c.first), c.second) << c.first;
}

// A line added in lanes keeps its dots only when no sum in sample order
// within the bound could give other dots.
TEST(DotsSettled, OnlyWhenTheBoundStaysWithinOneDot)
{
	struct { double sum; uint64_t terms; uint32_t channels, resolution; float mag; bool settled; } cases[] = {
		{ 8.0, 8, 1, 8, 8, false }, { 8.5, 8, 1, 8, 8, true }, { 8 + 0x1p-40, 8, 1, 8, 8, true },
		{ 8 + 0x1p-47, 8, 1, 8, 8, false }, { 8 - 0x1p-47, 8, 1, 8, 8, false }, { 0.0, 2, 2, 1, 1, true },
		{ 1000.25, 1ULL << 33, 2, 1, 2, true }, { 1000.002, 1ULL << 33, 2, 1, 2, false },
		{ 5.5, 4, 1, 4, NAN, false }, { INFINITY, 4, 1, 4, 1, false }, { NAN, 4, 1, 4, 1, false },
	};
	for (const auto &c : cases)
		EXPECT_EQ(DotsSettled(c.sum, c.terms, c.channels, c.resolution, c.mag), c.settled) << c.sum;
}

// Labels must read exactly as printf writes them: over many times, ties
// and values beside them, in the three formats.
TEST(Waveform, LabelsAsPrintfWritesThem)
{
	std::string expected;
	char buf[64];
	uint32_t seed = 9;
	CaptureStdout();
	for (int i = 0; i < 300000; i++) {
		seed = seed * 1664525u + 1013904223u;
		int64_t frame = i < 100000 ? i : i < 200000 ? seed >> (seed % 24) : 2147483648LL + seed;
		uint32_t rate = i % 3 == 0 ? 8 : i % 3 == 1 ? 44100 : 1 + seed % 200000;
		double seconds[] = { 0.025, 0.0249, 0.001 };
		EXPECT_EQ(Waveform(frame, rate, i % 5, seconds[i % 3]), '\n');
		snprintf(buf, sizeof buf, i % 3 == 0 ? "%.2f\t" : i % 3 == 1 ? "%.3f\t" : "%.3f\t%i\t",
		         (float)frame / (float)rate, (int)frame);
		expected += buf + std::string(i % 5, '.') + "\n";
	}
	EXPECT_EQ(GetCapturedStdout(), expected);
}

// A regular file that ends before the frames it was said to hold: the
// frames that were read are drawn, the missing ones never decoded.
static void
ScanShortFile(const std::string &dir)
{
	static unsigned char block[kBlockBytes];
	static Input in;
	FILE *f = fopen((dir + "short.raw").c_str(), "wb");
	fwrite("\0\2\0\2\0\2", 1, 6, f);
	fclose(f);
	if (freopen((dir + "out").c_str(), "w", stdout) == NULL)
		exit(9);
	OpenWave((dir + "short.raw").c_str(), &in);
	ScanParams sp = { 0, 0, 10, 2, { kInt16, 2, 1, 2, true }, 0.05, 1.0f, 40 };
	ScanInterval(&in, &sp, block);
}

TEST(ScanIntervalDeathTest, ShortReadEndsTheRun)
{
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	EXPECT_EXIT(ScanShortFile(dir + "/"), testing::ExitedWithCode(2), "");
	char text[128] = "";
	FILE *f = fopen((dir + "/out").c_str(), "r");
	text[fread(text, 1, sizeof text - 1, f)] = '\0';
	fclose(f);
	EXPECT_STREQ(text, "0.03\t..\nCan't read frame 3 from wave file!\n");
}
