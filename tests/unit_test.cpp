#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "float32.h"
#include "float32_tables.h"
#include "probe.h"
#include "scan.h"
#include "output.h"
#include <unistd.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(Assem, AssemblesLittleEndianFields)
{
	struct { unsigned char bytes[4]; int64_t two, four; } cases[] = {
		{ { 0x44, 0xAC, 0x00, 0x00 }, 44100, 44100 },
		{ { 0xFF, 0xFF, 0xFF, 0x7F }, 65535, INT32_MAX },
		{ { 0xFF, 0xFF, 0xFF, 0xFF }, 65535, -1 },
		{ { 0x00, 0x80, 0x00, 0x80 }, 32768, INT32_MIN + 32768 },
	};
	for (const auto &c : cases) {
		EXPECT_EQ(Assem2(c.bytes), c.two);
		EXPECT_EQ(Assem4(c.bytes), c.four);
	}
}

TEST(DotCount, WholePartBoundedByTheCounter)
{
	struct { double dots; int32_t count; } cases[] = {
		{ 0.999, 0 }, { 1, 1 }, { std::nextafter(3.0, 0.0), 2 }, { -5, 0 }, { NAN, 0 },
		{ 32768, 32768 }, { 2147483646.5, 2147483646 }, { 2147483647.0, INT32_MAX },
		{ 1e300, INT32_MAX }, { INFINITY, INT32_MAX },
	};
	for (const auto &c : cases)
		EXPECT_EQ(DotCount(c.dots), c.count) << c.dots;
}

// The label format follows the seconds per line, with 0.025 and 0.001
// themselves on the wider side; the labels themselves must read exactly as
// printf writes them, over many times, ties and values beside them.
TEST(Waveform, LabelsAndDots)
{
	struct { int64_t frame; uint32_t rate; double dots, seconds; const char *line; } cases[] = {
		{ 1103, 44100, 3.99, 0.05, "0.03\t...\n" },
		{ 600, 48000, 1, 0.025, "0.01\t.\n" },
		{ 221, 44100, 2, 0.01, "0.005\t..\n" },
		{ 24, 48000, 0.5, 0.001, "0.001\t24\t\n" },
		{ 5, 1000, 0, 0.05, "0.00\t\n" },          // float 0.005 lies below it
		{ 5, 1000, 0, 0.002, "0.005\t\n" },
		{ 1, 8, 0, 0.05, "0.12\t\n" },             // a tie rounds to even
		{ 3, 8, 0, 0.05, "0.38\t\n" },
		{ 16777217, 1, 0, 1, "16777216.00\t\n" },
		{ 2147483653LL, 1000000, 0, 1e-6, "2147.484\t-2147483643\t\n" },
	};
	for (const auto &c : cases) {
		CaptureStdout();
		EXPECT_EQ(Waveform(c.frame, c.rate, c.dots, c.seconds), '\n');
		EXPECT_EQ(GetCapturedStdout(), c.line);
	}

	std::string expected;
	char buf[64];
	uint32_t seed = 9;
	CaptureStdout();
	for (int i = 0; i < 200000; i++) {
		seed = seed * 1664525u + 1013904223u;
		int64_t frame = i < 100000 ? i : seed >> (seed % 24);
		uint32_t rate = i % 3 == 0 ? 8 : i % 3 == 1 ? 44100 : 1 + seed % 200000;
		Waveform(frame, rate, 0, i % 2 ? 0.05 : 0.0005);
		snprintf(buf, sizeof buf, i % 2 ? "%.2f\t\n" : "%.3f\t%i\t\n",
		         (float)frame / (float)rate, (int)frame);
		expected += buf;
	}
	EXPECT_EQ(GetCapturedStdout(), expected);
}

static void
Scan(const unsigned char *bytes, size_t size, const ScanParams &sp)
{
	static unsigned char block[kBlockBytes];
	static Input in;
	std::string path = testing::TempDir() + "quorvin_scan.raw";
	FILE *f = fopen(path.c_str(), "wb");
	fwrite(bytes, 1, size, f);
	fclose(f);
	OpenWave(path.c_str(), &in);
	ScanInterval(&in, &sp, block);
	close(in.fd);
}

// A file that ends before the frames it was said to hold: the frames that
// were read are drawn, the missing ones are never decoded.
static void
ScanShortFile(const std::string &out)
{
	const unsigned char frames[] = { 0, 2, 0, 2, 0, 2 };
	if (freopen(out.c_str(), "w", stdout) == NULL)
		exit(9);
	Scan(frames, sizeof frames, { 0, 0, 10, 2, { kInt16, 2, 1, 2 }, 0.05, 1.0f, 40 });
}

TEST(ScanIntervalDeathTest, ShortReadEndsTheRun)
{
	std::string out = testing::TempDir() + "quorvin_short.out";
	EXPECT_EXIT(ScanShortFile(out), testing::ExitedWithCode(2), "");
	char text[128] = "";
	FILE *f = fopen(out.c_str(), "r");
	text[fread(text, 1, sizeof text - 1, f)] = '\0';
	fclose(f);
	EXPECT_STREQ(text, "0.03\t..\nCan't read frame 3 from wave file!\n");
}

// Lines of more than 2^30 24-bit samples are added as doubles, in order;
// that path decodes and peaks like the integer one.
TEST(ScanInterval, WideLinesOf24BitSamplesDecodeAlike)
{
	const unsigned char frames[] = { 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x3F,    // -2^23, 2^22 - 1
	                                 0x01, 0x00, 0xC0, 0x00, 0x00, 0x20 };  // -2^22 + 1, 2^21
	for (uint32_t resolution : { 1u << 30, 1u << 29, 1000u }) {
		CaptureStdout();
		Scan(frames, sizeof frames, { 0, 0, 2, 6, { kInt24, 3, 2, resolution }, 1.0, 1.0f, 1000 });
		EXPECT_EQ(GetCapturedStdout(), "Showing values above -48 dB\n"
		                               "Peaks over interval 0.0 L -6.0 R\n") << resolution;
	}
}

TEST(Float32Convert, ByteExamples)
{
	struct { int b0, b1, b2, b3; double value; } cases[] = {
		{ 0, 0, 0x80, 0x3F, 128 }, { 0, 0, 0, 0xBF, -64 }, { 0, 0, 0xC0, 0x3F, 192 },
		{ 0, 0, 0, 0, std::ldexp(1, -120) }, { 0, 0, 0, 0x80, -std::ldexp(1, -120) },
		{ 0, 0, 0x80, 0x7F, std::ldexp(1, 135) }, { 0, 0, 0xC0, 0x7F, 3 * std::ldexp(1, 134) },
		{ -1, -1, -1, -1, -std::ldexp(2 - std::ldexp(1, -23), 135) },
	};
	for (const auto &c : cases)
		EXPECT_EQ(Float32Convert(c.b0, c.b1, c.b2, c.b3), c.value) << c.value;
}

// Every exponent and both signs, with mantissas spread over their range:
// normal numbers give 128 times the float's value, exponent fields 0 and 255
// are read with the leading 1 like the others, and every result is the one
// the table decoding gives.
TEST(Float32Convert, MatchesIndependentDecodings)
{
	uint32_t seed = 1;
	for (uint32_t sign = 0; sign < 2; sign++)
		for (uint32_t exponent = 0; exponent < 256; exponent++)
			for (int i = 0; i < 512; i++) {
				seed = seed * 1664525u + 1013904223u;
				uint32_t mantissa = i == 0 ? 0 : i == 1 ? 0x7FFFFF : seed >> 9;
				uint32_t word = sign << 31 | exponent << 23 | mantissa;
				float f;
				memcpy(&f, &word, 4);
				double expected = exponent != 0 && exponent != 255 ? 128.0 * f
				    : std::ldexp(1 + std::ldexp(mantissa, -23), (int)exponent - 120) * (sign ? -1 : 1);
				int b0 = word & 0xFF, b1 = word >> 8 & 0xFF, b2 = word >> 16 & 0xFF,
				    b3 = (int8_t)(word >> 24);   // passed as a signed character
				double value = Float32Convert(b0, b1, b2, b3);
				ASSERT_EQ(value, expected) << std::hex << word;
				ASSERT_EQ(value, Float32Tables(b0, b1, b2, b3)) << std::hex << word;
			}
}
