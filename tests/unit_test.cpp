// SPDX-License-Identifier: MIT
// The small functions and their arithmetic corners, where the end-to-end
// tests would need many runs to reach them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "output.h"
#include "probe.h"
#include "scan.h"
#include "wav_writer.h"

// Dots values no file of the end-to-end tests reaches: the counter's end.
TEST(DotCount, BoundedByTheCounter)
{
	EXPECT_EQ(DotCount(2147483646.5), 2147483646);
	EXPECT_EQ(DotCount(2147483647.0), INT32_MAX);
	EXPECT_EQ(DotCount(INFINITY), INT32_MAX);
}

// Reads that fail end the run at once, reported where they fail: a
// stream's head that cannot be read, a file that shrank after its frames
// were counted, and reads that fail, from a file or from a stream whose
// header has arrived.  The frames that were read are drawn, the missing
// ones never decoded.  A directory fails every read.
TEST(ReadsDeathTest, FailedReadsEndTheRun)
{
	static Input in;   // static, as the program holds it
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	std::string path = dir + "/short.wav", out = dir + "/out";
	// Ten frames of 2 units at 40 Hz, of which the first three are there.
	const std::string wav = Wav(40, 1, 16, IntSamples(std::vector<int64_t>(10, 512), 2));
	const std::string drawn = "0.03\t..\nCan't read frame 3 from wave file!\n";
	struct {
		const char *name;
		bool stream, failHead, shrink, failScan;
		std::string out;
	} cases[] = {
		{ "stream head", true, true, false, false, "The file called - cannot be read!\n" },
		{ "file shrank", false, false, true, false, drawn },
		{ "file", false, false, false, true, "Can't read frame 0 from wave file!\n" },
		{ "stream", true, false, false, true, drawn },
	};
	for (const auto &c : cases) {
		auto Run = [&] {
			int ends[2], failing = open(dir.c_str(), O_RDONLY);
			Wave w;
			ScanParams sp;
			alarm(10);
			ASSERT_NE(freopen(out.c_str(), "w", stdout), nullptr);
			ASSERT_TRUE(WriteFile(path, wav));
			ASSERT_EQ(pipe(ends), 0);
			ASSERT_EQ(write(ends[1], wav.data(), 50), 50);
			ASSERT_EQ(dup2(ends[0], STDIN_FILENO), 0);
			OpenWave(c.stream ? "-" : path.c_str(), &in);
			if (c.failHead)
				dup2(failing, in.fd);
			GetAttributes(&in, &w.sampleRate, &w.bytesPerSample, &w.channels, &w.dataOffset,
			              &w.frameCount, &w.frameBytes, &w.bitsPerSample, &w.formatCode);
			PlanScan(&w, kInt16, 0, 10, 2, 1.0f, &sp);
			if (c.shrink && truncate(path.c_str(), 50) != 0)
				return;
			if (c.failScan)
				dup2(failing, in.fd);
			ScanInterval(&in, &sp);
		};
		EXPECT_EXIT(Run(), testing::ExitedWithCode(2), "") << c.name;
		std::ifstream printed(out);
		std::string text(std::istreambuf_iterator<char>(printed), {});
		EXPECT_EQ(text, c.out) << c.name;
	}
}

// A file cut while its mapped window is read: the scan's lines go into a
// pipe whose reader takes 64 KiB of them, then truncates the file, then
// takes the rest; so the cut lands in the window, long after the scan
// mapped it.  Cut at a page, the next page faults; cut within one, the
// rest of that page reads as zeros (lines of no dots) before the next
// faults.  Either way the frame named is the first the file lost.
TEST(ReadsDeathTest, FileCutUnderItsMapping)
{
	const char *qemu = getenv("QUORVIN_QEMU");
	if (qemu != nullptr && strcmp(qemu, "s390x") == 0)
		GTEST_SKIP() << "qemu-s390x (7.2) gives a bus error's address with its halves swapped";
	static Input in;
	static FILE *sink;
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	ASSERT_NE(mkdtemp(&dir[0]), nullptr);
	std::string path = dir + "/cut.wav", out = dir + "/out";
	const size_t page = (size_t)sysconf(_SC_PAGESIZE), frames = 300000;
	for (size_t cut : { 64 * page, 64 * page + 1000 }) {
		size_t lost = (cut - 44) / 2, drawn = (cut + page - 1) / page * page;
		ASSERT_TRUE(WriteFile(path, Wav(8000, 1, 16, IntSamples(std::vector<int64_t>(frames, 512), 2))));
		auto Run = [&] {
			Wave w;
			ScanParams sp;
			std::string reader = "dd bs=65536 count=1 iflag=fullblock status=none >" + out +
			                     "; truncate -s " + std::to_string(cut) + " " + path + "; cat >>" +
			                     out;
			alarm(20);
			sink = popen(reader.c_str(), "w");
			dup2(fileno(sink), STDOUT_FILENO);
			atexit([] {
				fflush(stdout);
				close(STDOUT_FILENO);
				pclose(sink);
			});
			OpenWave(path.c_str(), &in);
			GetAttributes(&in, &w.sampleRate, &w.bytesPerSample, &w.channels, &w.dataOffset,
			              &w.frameCount, &w.frameBytes, &w.bitsPerSample, &w.formatCode);
			PlanScan(&w, kInt16, 0, frames, 1, 1.0f, &sp);
			ScanInterval(&in, &sp);
		};
		EXPECT_EXIT(Run(), testing::ExitedWithCode(2), "") << cut;
		std::ifstream printed(out);
		std::string text(std::istreambuf_iterator<char>(printed), {});
		std::string last = "Can't read frame " + std::to_string(lost) + " from wave file!\n";
		EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), (long)(drawn - 44) / 2 + 1) << cut;
		EXPECT_EQ(text.substr(text.size() - std::min(text.size(), last.size())), last) << cut;
	}
}
