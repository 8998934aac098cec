// SPDX-License-Identifier: MIT
// The small functions and their arithmetic corners, where the end-to-end
// tests would need many runs to reach them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codecs/adpcm.h"
#include "output/output.h"

// Dots values no file of the end-to-end tests reaches: the counter's end.
TEST(DotCount, BoundedByTheCounter)
{
	EXPECT_EQ(DotCount(2147483646.5), 2147483646);
	EXPECT_EQ(DotCount(2147483647.0), INT32_MAX);
	EXPECT_EQ(DotCount(INFINITY), INT32_MAX);
}

// The 16-bit samples of one channel of frames frames, from the decoder's
// little-endian bytes.
std::vector<int16_t> Samples16(const unsigned char *bytes, size_t count)
{
	std::vector<int16_t> samples;
	for (size_t i = 0; i < count; i++)
		samples.push_back((int16_t)(bytes[2 * i] | bytes[2 * i + 1] << 8));
	return samples;
}

// A mono IMA ADPCM block of 9 frames: its header, then 8 codes.
std::vector<int16_t> Ima(int16_t first, uint8_t index, uint8_t codes)
{
	unsigned char block[8] = { (unsigned char)first, (unsigned char)(first >> 8), index, 0,
		                   codes, codes, codes, codes };
	unsigned char out[18];
	DecodeImaBlock(block, 1, 9, out);
	return Samples16(out, 9);
}

// A step index past the table's end is its last; the predictor stays
// within 16 bits at either end.
TEST(Adpcm, ImaIndexAndPredictorKeptInRange)
{
	EXPECT_EQ(Ima(1000, 200, 0x11), Ima(1000, 88, 0x11));
	EXPECT_NE(Ima(1000, 87, 0x11), Ima(1000, 88, 0x11));
	EXPECT_EQ(Ima(32000, 88, 0x77), std::vector<int16_t>({ 32000, 32767, 32767, 32767, 32767,
		                                                 32767, 32767, 32767, 32767 }));
	EXPECT_EQ(Ima(-32000, 88, 0xFF), std::vector<int16_t>({ -32000, -32768, -32768, -32768,
		                                                  -32768, -32768, -32768, -32768,
		                                                  -32768 }));
}

// A mono MS ADPCM block of 6 frames: coefficient pair, delta, the first
// two samples, then 4 codes; through the standard pairs.
std::vector<int16_t> Ms(uint8_t pair, int16_t delta, int16_t second, int16_t first, uint8_t codes)
{
	unsigned char block[9] = { pair, (unsigned char)delta, (unsigned char)(delta >> 8),
		                   (unsigned char)first, (unsigned char)(first >> 8),
		                   (unsigned char)second, (unsigned char)(second >> 8), codes, codes };
	unsigned char out[12];
	DecodeMsBlock(block, 1, 6, kMsCoefficients, kMsStandardCoefficients, out);
	return Samples16(out, 6);
}

// A block that names a pair past the seven is silent; a prediction is
// rounded down (pair 6, codes of 0: 5520 / 256, then -2464 / 256); the
// predictor stays within 16 bits at either end (pair 1 doubles the last
// step).
TEST(Adpcm, MsMissingPairSilentPredictorKeptInRange)
{
	EXPECT_EQ(Ms(9, 100, 10, 20, 0x77), std::vector<int16_t>(6, 0));
	EXPECT_EQ(Ms(7, 100, 10, 20, 0x77), std::vector<int16_t>(6, 0));
	EXPECT_EQ(Ms(6, 100, 10, 20, 0x00), std::vector<int16_t>({ 10, 20, 21, 14, 2, -10 }));
	// Each of the other pairs, worked by hand.
	EXPECT_EQ(Ms(0, 100, 10, 20, 0x00), std::vector<int16_t>({ 10, 20, 20, 20, 20, 20 }));
	EXPECT_EQ(Ms(2, 100, 10, 20, 0x00), std::vector<int16_t>({ 10, 20, 0, 0, 0, 0 }));
	EXPECT_EQ(Ms(3, 100, 10, 20, 0x00), std::vector<int16_t>({ 10, 20, 17, 17, 17, 17 }));
	EXPECT_EQ(Ms(4, 100, 10, 20, 0x00), std::vector<int16_t>({ 10, 20, 18, 16, 15, 14 }));
	EXPECT_EQ(Ms(5, 100, 10, 20, 0x00), std::vector<int16_t>({ 10, 20, 27, 32, 35, 36 }));
	EXPECT_EQ(Ms(1, 4000, 30000, 32000, 0x77), std::vector<int16_t>({ 30000, 32000, 32767,
		                                                            32767, 32767, 32767 }));
	EXPECT_EQ(Ms(1, 4000, -30000, -32000, 0x88), std::vector<int16_t>({ -30000, -32000, -32768,
		                                                              -32768, -32768, -32768 }));
}

// Blocks decoded together, four channels of blocks side by side, equal
// each block decoded alone: random blocks, whose predictors and deltas
// leave 16 bits often, of 1, 2, 3 and 6 channels, past a group of four.
TEST(Adpcm, BlocksTogetherEqualEachAlone)
{
	uint32_t seed = 1;
	for (uint32_t channels : { 1u, 2u, 3u, 6u }) {
		const uint32_t imaBytes = 36 * channels, imaFrames = 65, msBytes = 7 * channels + 32;
		const uint32_t msFrames = 2 + 64 / channels;
		std::vector<unsigned char> blocks(7 * 64 * channels + 1);
		for (unsigned char &b : blocks)
			b = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
		for (size_t k = 0; k < 7; k++)
			for (uint32_t c = 0; c < channels; c++)
				blocks[k * msBytes + c] %= 8;
		std::vector<unsigned char> together(2 * 7 * 66 * channels), alone(together.size());
		DecodeImaBlocks(blocks.data(), 7, imaBytes, channels, imaFrames, together.data());
		for (size_t k = 0; k < 7; k++)
			DecodeImaBlock(blocks.data() + k * imaBytes, channels, imaFrames,
			               alone.data() + k * imaFrames * 2 * channels);
		EXPECT_EQ(together, alone) << "IMA, " << channels << " channels";
		DecodeMsBlocks(blocks.data(), 7, msBytes, channels, msFrames, kMsCoefficients,
		               kMsStandardCoefficients, together.data());
		for (size_t k = 0; k < 7; k++)
			DecodeMsBlock(blocks.data() + k * msBytes, channels, msFrames, kMsCoefficients,
			              kMsStandardCoefficients, alone.data() + k * msFrames * 2 * channels);
		EXPECT_EQ(together, alone) << "MS, " << channels << " channels";
	}
}

#ifdef QUORVIN_AVX2_COPY
// The AVX2 copies of the ADPCM decoders, 16 channels of blocks at once,
// against each block decoded alone: random blocks of 1 and 2 channels,
// past two groups, whose MS codes end inside a round of eight; then an MS
// block whose pair is past the list, which it leaves to the plain decoder.
TEST(Adpcm, Avx2EqualsEachAlone)
{
	if (!__builtin_cpu_supports("avx2"))
		GTEST_SKIP() << "no AVX2 here";
	uint32_t seed = 7;
	for (uint32_t channels : { 1u, 2u }) {
		const uint32_t bytes = 7 * channels + 34, frames = 2 + 68 / channels, count = 35;
		const uint32_t imaBytes = 24 * channels, imaFrames = 41;
		std::vector<unsigned char> blocks(count * bytes);
		for (unsigned char &b : blocks)
			b = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
		// Room for the frames of either coding.
		std::vector<unsigned char> together(2 * count * 70 * channels), alone(together.size());
		EXPECT_EQ(DecodeImaBlocksAvx2(blocks.data(), count, imaBytes, channels, imaFrames,
		                              together.data()),
		          32u);
		for (size_t k = 0; k < 32; k++)
			DecodeImaBlock(blocks.data() + k * imaBytes, channels, imaFrames,
			               alone.data() + k * imaFrames * 2 * channels);
		EXPECT_EQ(together, alone) << "IMA, " << channels << " channels";
		for (size_t k = 0; k < count; k++)
			for (uint32_t c = 0; c < channels; c++)
				blocks[k * bytes + c] %= kMsStandardCoefficients;
		EXPECT_EQ(DecodeMsBlocksAvx2(blocks.data(), count, bytes, channels, frames,
		                             kMsCoefficients, kMsStandardCoefficients, together.data()),
		          32u);
		for (size_t k = 0; k < 32; k++)
			DecodeMsBlock(blocks.data() + k * bytes, channels, frames, kMsCoefficients,
			              kMsStandardCoefficients, alone.data() + k * frames * 2 * channels);
		EXPECT_EQ(together, alone) << "MS, " << channels << " channels";
		blocks[5 * bytes] = kMsStandardCoefficients;
		EXPECT_EQ(DecodeMsBlocksAvx2(blocks.data(), count, bytes, channels, frames,
		                             kMsCoefficients, kMsStandardCoefficients, together.data()),
		          0u);
	}
}
#endif
