// SPDX-License-Identifier: MIT
// The small functions and their arithmetic corners, where the end-to-end
// tests would need many runs to reach them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "output.h"
#include "probe.h"
#include "scan.h"
#include "wav_writer.h"

TEST(DotCount, WholePartBoundedByTheCounter)
{
	struct {
		double dots;
		int32_t count;
	} cases[] = {
		{ 0.999, 0 }, { 1, 1 }, { std::nextafter(3.0, 0.0), 2 }, { -5, 0 }, { NAN, 0 },
		{ 2147483646.5, 2147483646 }, { 2147483647.0, INT32_MAX }, { INFINITY, INT32_MAX },
	};
	for (const auto &c : cases)
		EXPECT_EQ(DotCount(c.dots), c.count) << c.dots;
}

// A regular file that ends before the frames it was said to hold, and a
// read that fails, from a file or from a stream whose header has arrived:
// the frames that were read are drawn, the missing ones never decoded, and
// the run ends at once, with no read tried again.  A directory fails every
// read.
TEST(ScanIntervalDeathTest, ReadsThatFailEndTheRun)
{
	static unsigned char block[kBlockBytes];   // static, as the program holds them
	static Input in;
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	std::string path = dir + "/short.raw", out = dir + "/out";
	ASSERT_TRUE(WriteFile(path, std::string("\0\2\0\2\0\2", 6)));
	ScanParams sp = { 0, 0, 10, 2, { kInt16, 2, 1, 2, true }, 0.05, 1.0f, 40 };
	const std::string drawn = "0.03\t..\nCan't read frame 3 from wave file!\n";
	struct {
		bool failing, stream;
		std::string out;
	} cases[] = {
		{ false, false, drawn },
		{ true, false, "Can't read frame 0 from wave file!\n" },
		{ true, true, drawn },
	};
	for (const auto &c : cases) {
		auto Run = [&] {
			alarm(10);
			ASSERT_NE(freopen(out.c_str(), "w", stdout), nullptr);
			OpenWave(path.c_str(), &in);
			if (c.failing)
				in.fd = open(dir.c_str(), O_RDONLY);
			in.stream = c.stream;
			in.consumed = in.headBytes;
			ScanInterval(&in, &sp, block);
		};
		EXPECT_EXIT(Run(), testing::ExitedWithCode(2), "") << c.failing << c.stream;
		std::ifstream printed(out);
		std::string text(std::istreambuf_iterator<char>(printed), {});
		EXPECT_EQ(text, c.out) << c.failing << c.stream;
	}
}

// A stream whose first read fails is reported as unreadable, not as a file
// without a format chunk.
TEST(GetAttributesDeathTest, AHeadThatCannotBeReadIsReported)
{
	static Input in;
	int64_t rate;
	uint32_t bytes, channels, bits, code;
	uint64_t offset, frames;
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	std::string out = dir + "/out";
	auto Run = [&] {
		int ends[2];
		ASSERT_NE(freopen(out.c_str(), "w", stdout), nullptr);
		ASSERT_EQ(pipe(ends), 0);
		ASSERT_EQ(dup2(ends[0], STDIN_FILENO), 0);
		OpenWave("-", &in);
		in.fd = open(dir.c_str(), O_RDONLY);
		GetAttributes(&in, &rate, &bytes, &channels, &offset, &frames, &bits, &code);
	};
	EXPECT_EXIT(Run(), testing::ExitedWithCode(2), "");
	std::ifstream printed(out);
	std::string text(std::istreambuf_iterator<char>(printed), {});
	EXPECT_EQ(text, "The file called - cannot be read!\n");
}
