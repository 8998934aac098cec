// The small functions and their arithmetic corners, where the end-to-end
// tests would need many runs to reach them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <unistd.h>
#include <fstream>

#include "output.h"
#include "scan.h"
#include "wav_writer.h"

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
		{ 8.0, 8, 1, 8, 8, false }, { 8.5, 8, 1, 8, 8, true }, { 8 + 0x1p-40, 8, 1, 8, 8, true }, { 0.0, 2, 2, 1, 1, true },
		{ 8 + 0x1p-47, 8, 1, 8, 8, false }, { 8 - 0x1p-47, 8, 1, 8, 8, false }, { 1000.25, 1ULL << 33, 2, 1, 2, true },
		{ 1000.002, 1ULL << 33, 2, 1, 2, false }, { 5.5, 4, 1, 4, NAN, false }, { INFINITY, 4, 1, 4, 1, false }, { NAN, 4, 1, 4, 1, false },
	};
	for (const auto &c : cases)
		EXPECT_EQ(DotsSettled(c.sum, c.terms, c.channels, c.resolution, c.mag), c.settled) << c.sum;
}

// A regular file that ends before the frames it was said to hold: the
// frames that were read are drawn, the missing ones never decoded.
TEST(ScanIntervalDeathTest, ShortReadEndsTheRun)
{
	static unsigned char block[kBlockBytes];   // static, as the program holds them
	static Input in;
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	ASSERT_TRUE(WriteFile(dir + "/short.raw", std::string("\0\2\0\2\0\2", 6)));
	ScanParams sp = { 0, 0, 10, 2, { kInt16, 2, 1, 2, true }, 0.05, 1.0f, 40 };
	EXPECT_EXIT((freopen((dir + "/out").c_str(), "w", stdout), OpenWave((dir + "/short.raw").c_str(), &in),
	             ScanInterval(&in, &sp, block)), testing::ExitedWithCode(2), "");
	std::ifstream out(dir + "/out");
	EXPECT_EQ(std::string(std::istreambuf_iterator<char>(out), {}), "0.03\t..\nCan't read frame 3 from wave file!\n");
}
