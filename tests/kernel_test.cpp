// SPDX-License-Identifier: MIT
// Every copy of the vector kernels that this build holds and this
// processor runs, held to the plain references: for every coding with a
// kernel and channel counts from 1 to the limit, those that share no
// factor with a vector's width among them, every tail length up to three
// vectors and one, runs over two cycles of peaks, a run longer than any
// chunk of their narrow sums, four patterns, and the samples split over
// one to three calls that share one peaks record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "simd/kernels.h"

namespace {

struct Copy {
	const char *name;
	size_t (*units)(const unsigned char *, size_t, Coding, uint32_t, uint64_t *, VectorPeaks *);
	size_t (*floats)(const unsigned char *, size_t, Coding, uint32_t, double *, VectorPeaks *);
	bool runs;   // on this processor
};

const Copy kCopies[] = {
	{ "baseline", AddUnitsBaseline, AddFloatsBaseline, true },
#ifdef QUORVIN_SSE41_COPY
	{ "SSE4.1", AddUnitsSse41, AddFloatsSse41,
	  __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1") },
#endif
#ifdef QUORVIN_AVX2_COPY
	{ "AVX2", AddUnitsAvx2, AddFloatsAvx2, (bool)__builtin_cpu_supports("avx2") },
#endif
};

struct Case {
	Coding coding;
	uint32_t channels;
	size_t samples;
	int pattern;
};
const char *const kPatterns[] = { "random", "full scale", "silent", "alternating" };

// A full-scale sample's word, the most negative value (for floats the
// largest word), or a silent one's.
uint32_t Word(Coding coding, bool loud)
{
	switch (coding) {
	case kUnsigned8:
		return loud ? 0x00 : 0x80;
	case kMuLaw:
		return loud ? 0x00 : 0xFF;
	case kALaw:
		return loud ? 0x2A : 0xD5;
	case kInt16:
	case kInt16Big:
		return loud ? 0x8000 : 0;
	case kInt24:
	case kInt24Big:
		return loud ? 0x800000 : 0;
	case kInt32:
	case kInt32Big:
		return loud ? 0x80000000 : 0;
	default:
		return loud ? 0xFFFFFFFF : 0;
	}
}

// The samples, little-endian.  Random floats have few enough bits that
// every sum of them is exact in any order.
std::vector<unsigned char> Bytes(const Case &c)
{
	uint32_t seed = (uint32_t)c.samples * 7919 + c.coding + 1;
	std::vector<unsigned char> bytes;
	for (size_t k = 0; k < c.samples; k++) {
		seed ^= seed << 13;
		seed ^= seed >> 17;
		seed ^= seed << 5;
		bool loud = c.pattern == 1 || (c.pattern == 3 && k % 2 == 1);
		uint32_t w = Word(c.coding, loud);
		if (c.pattern == 0 && FactsOf(c.coding).kernel == kKernelFloat)
			w = (seed & 0x80000000) | (100 + (seed >> 28 & 7)) << 23 | (seed & 0x7FFF) << 8;
		else if (c.pattern == 0)
			w = seed;
		size_t n = FactsOf(c.coding).bytes;
		for (size_t b = 0; b < n; b++) {
			size_t shift = 8 * (FactsOf(c.coding).bigEndian ? n - 1 - b : b);
			bytes.push_back((unsigned char)(w >> shift));
		}
	}
	return bytes;
}

struct Totals {
	uint64_t units = 0;
	double sum = 0;
	std::vector<double> top = std::vector<double>(kMaxChannels);
};

// The samples through the references, or through a copy's kernels in
// calls pieces of whole frames, as the sums call them: a piece too short
// for the vectors must be refused untouched, and goes to the reference.
Totals Add(const Case &c, const std::vector<unsigned char> &bytes, const Copy *copy, int calls)
{
	Totals t;
	static VectorPeaks peaks, before;
	peaks = {};
	double lane[kSumLanes] = {}, top[kMaxChannels];
	bool floats = FactsOf(c.coding).kernel == kKernelFloat;
	for (size_t done = 0, call = 1; call <= (size_t)calls; call++) {
		size_t frames = (c.samples - done) / c.channels;
		size_t piece = (call == (size_t)calls ? frames : frames / 2) * c.channels;
		const unsigned char *p = bytes.data() + done * FactsOf(c.coding).bytes;
		before = peaks;
		uint64_t units = t.units;
		size_t taken = 0;
		if (copy != nullptr && floats)
			taken = copy->floats(p, piece, c.coding, c.channels, lane, &peaks);
		else if (copy != nullptr)
			taken = copy->units(p, piece, c.coding, c.channels, &t.units, &peaks);
		bool untouched = t.units == units && memcmp(&before, &peaks, sizeof peaks) == 0;
		EXPECT_TRUE(taken == piece || (taken == 0 && untouched)) << "a piece half taken";
		if (taken == 0 && floats)
			AddFloatsReference(p, piece, c.coding, c.channels, &t.sum, t.top.data());
		else if (taken == 0)
			AddUnitsReference(p, piece, c.coding, c.channels, &t.units, t.top.data());
		done += piece;
	}
	for (double l : lane)
		t.sum += l;
	VectorPeaksOf(&peaks, c.coding, c.channels, top);
	t.top.resize(c.channels);
	for (uint32_t j = 0; j < c.channels; j++)
		t.top[j] = top[j] > t.top[j] ? top[j] : t.top[j];
	return t;
}

// The case through the references, then through the copy in one to three
// calls.
void Check(const Copy &copy, const Case &c)
{
	std::vector<unsigned char> bytes = Bytes(c);
	Totals want = Add(c, bytes, nullptr, 1);
	for (int calls = 1; calls <= 3; calls++) {
		Totals got = Add(c, bytes, &copy, calls);
		std::string where = std::string(FactsOf(c.coding).name) + ", " +
		                    std::to_string(c.channels) + " channel(s), " +
		                    std::to_string(c.samples) + " samples, " + kPatterns[c.pattern] +
		                    ", " + std::to_string(calls) + " call(s), " + copy.name + " copy";
		EXPECT_EQ(got.units, want.units) << where;
		EXPECT_EQ(got.sum, want.sum) << where;
		EXPECT_EQ(got.top, want.top) << where << ": the peaks";
	}
}

}  // namespace

TEST(Kernels, EveryCopyEqualsItsReference)
{
	std::vector<uint32_t> channelCounts = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 24, 64 };
	channelCounts.push_back(kMaxChannels - 1);
	channelCounts.push_back(kMaxChannels);
	for (const Copy &copy : kCopies) {
		for (int coding = 0; copy.runs && coding < kCodings; coding++) {
			if (FactsOf((Coding)coding).kernel == kNoKernel)
				continue;
			// Three 32-byte vectors and one sample (24-bit: three steps of 8).
			const CodingFacts &facts = FactsOf((Coding)coding);
			size_t most = facts.kernel == kKernel24 ? 25 : 3 * 32 / facts.bytes + 1;
			for (uint32_t channels : channelCounts) {
				std::vector<size_t> counts = { 33 * channels, 65 * channels };
				for (size_t samples = 0; samples <= most; samples += channels)
					counts.push_back(samples);
				// More than 2^15 vectors of 16 samples.
				if (channels == 1 || channels == 3)
					counts.push_back(600000);
				for (size_t samples : counts)
					for (int pattern = 0; pattern < 4; pattern++)
						Check(copy, { (Coding)coding, channels, samples, pattern });
				// One failing case is enough to tell what broke.
				if (HasFailure())
					return;
			}
		}
	}
}
