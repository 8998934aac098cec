// SPDX-License-Identifier: MIT
// Every copy of the vector kernels that this build holds and this
// processor runs, held to the plain references: for every coding and
// channel count a kernel takes, every tail length up to three vectors and
// one, a run longer than any chunk of their narrow sums, four patterns,
// and the samples split over one to three calls that share one peaks
// record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lanes.h"

namespace {

struct Copy {
	const char *name;
	size_t (*units)(const unsigned char *, size_t, Coding, uint64_t *, LanePeaks *);
	size_t (*floats)(const unsigned char *, size_t, double *, LanePeaks *);
};

std::vector<Copy> Copies()
{
	std::vector<Copy> copies = { { "baseline", AddUnitsBaseline, AddFloatsBaseline } };
#ifdef QUORVIN_SSE41_COPY
	if (__builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1"))
		copies.push_back({ "SSE4.1", AddUnitsSse41, AddFloatsSse41 });
#endif
#ifdef QUORVIN_AVX2_COPY
	if (__builtin_cpu_supports("avx2"))
		copies.push_back({ "AVX2", AddUnitsAvx2, AddFloatsAvx2 });
#endif
	return copies;
}

enum Pattern { kRandom, kFullScale, kSilent, kAlternating };
const char *const kPatternNames[] = { "random", "full scale", "silent", "alternating" };

// A sample's bytes, little-endian.  Full scale is the most negative value
// (for floats the largest word); random floats have few enough bits that
// every sum of them is exact in any order.
uint32_t Word(Coding coding, Pattern pattern, size_t k, uint32_t *seed)
{
	static const uint32_t full[kCodings] = { 0, 0x00, 0x00, 0x2A, 0x8000, 0x800000,
	                                         0x80000000, 0xFFFFFFFF };
	static const uint32_t silent[kCodings] = { 0, 0x80, 0xFF, 0xD5, 0, 0, 0, 0 };
	*seed ^= *seed << 13;
	*seed ^= *seed >> 17;
	*seed ^= *seed << 5;
	if (pattern == kRandom && coding == kFloat32)
		return (*seed & 0x80000000) | (100 + (*seed >> 8 & 7)) << 23 | (*seed & 0x7F) << 16;
	if (pattern == kRandom)
		return *seed;
	if (pattern == kAlternating)
		pattern = k % 2 ? kFullScale : kSilent;
	return pattern == kFullScale ? full[coding] : silent[coding];
}

std::vector<unsigned char> Bytes(Coding coding, Pattern pattern, size_t samples)
{
	uint32_t seed = (uint32_t)(samples * 7919 + coding + 1);
	size_t size = FactsOf(coding).bytes;
	std::vector<unsigned char> bytes(samples * size);
	for (size_t k = 0; k < samples; k++) {
		uint32_t w = Word(coding, pattern, k, &seed);
		for (size_t b = 0; b < size; b++)
			bytes[k * size + b] = (unsigned char)(w >> 8 * b);
	}
	return bytes;
}

struct Totals {
	uint64_t units = 0;
	double sum = 0;
	double top[kMaxChannels] = {};
};

// The samples through the kernel in calls pieces of whole frames, as the
// sums call it: a piece too short for the vectors must be refused
// untouched, and then goes to the reference.
Totals ThroughKernel(const Copy &copy, Coding coding, uint32_t channels,
                     const std::vector<unsigned char> &bytes, size_t samples, int calls)
{
	Totals t;
	LanePeaks peaks = {};
	double lane[kSumLanes] = {};
	size_t size = FactsOf(coding).bytes, done = 0;
	for (int call = 1; call <= calls; call++) {
		size_t frames = (samples - done) / channels;
		size_t piece = call == calls ? frames * channels : frames / 2 * channels;
		const unsigned char *p = bytes.data() + done * size;
		LanePeaks before = peaks;
		uint64_t units = t.units;
		size_t taken = coding == kFloat32 ? copy.floats(p, piece, lane, &peaks)
		                                  : copy.units(p, piece, coding, &t.units, &peaks);
		if (taken == 0) {
			EXPECT_TRUE(t.units == units && memcmp(&before, &peaks, sizeof peaks) == 0)
			    << "a refused piece changed the sums or the peaks";
			if (coding == kFloat32)
				AddFloatsReference(p, piece, channels, &t.sum, t.top);
			else
				AddUnitsReference(p, piece, coding, channels, &t.units, t.top);
		} else {
			EXPECT_EQ(taken, piece) << "a kernel took part of its samples";
		}
		done += piece;
	}
	for (double l : lane)
		t.sum += l;
	double top[kMaxChannels];
	LanePeaksOf(&peaks, coding, channels, top);
	for (uint32_t c = 0; c < channels; c++)
		t.top[c] = top[c] > t.top[c] ? top[c] : t.top[c];
	return t;
}

Totals ThroughReference(Coding coding, uint32_t channels, const std::vector<unsigned char> &bytes,
                        size_t samples)
{
	Totals t;
	if (coding == kFloat32)
		AddFloatsReference(bytes.data(), samples, channels, &t.sum, t.top);
	else
		AddUnitsReference(bytes.data(), samples, coding, channels, &t.units, t.top);
	return t;
}

struct Row {
	Coding coding;
	const char *name;
	std::vector<uint32_t> channels;
};

// One case through one copy, in one to three calls.
void Check(const Copy &copy, const Row &row, uint32_t channels, size_t samples,
           Pattern pattern)
{
	std::vector<unsigned char> bytes = Bytes(row.coding, pattern, samples);
	Totals want = ThroughReference(row.coding, channels, bytes, samples);
	for (int calls = 1; calls <= 3; calls++) {
		Totals got = ThroughKernel(copy, row.coding, channels, bytes, samples, calls);
		std::string where = std::string(row.name) + ", " + std::to_string(channels) +
		                    (channels == 1 ? " channel, " : " channels, ") +
		                    std::to_string(samples) + " samples, " +
		                    kPatternNames[pattern] + ", " + std::to_string(calls) + " calls, " +
		                    copy.name + " copy";
		EXPECT_EQ(got.units, want.units) << where;
		EXPECT_EQ(got.sum, want.sum) << where;
		for (uint32_t c = 0; c < channels; c++)
			EXPECT_EQ(got.top[c], want.top[c]) << where << ", peak of channel " << c;
	}
}

}  // namespace

TEST(Kernels, EveryCopyEqualsItsReference)
{
	const Row rows[] = {
		{ kUnsigned8, "8-bit", { 1, 2, 4, 8 } },
		{ kMuLaw, "mu-law", { 1, 2, 4, 8 } },
		{ kALaw, "A-law", { 1, 2, 4, 8 } },
		{ kInt16, "16-bit", { 1, 2, 4 } },
		{ kInt24, "24-bit", { 1, 2 } },
		{ kInt32, "32-bit", { 1, 2 } },
		{ kFloat32, "float", { 1, 2 } },
	};
	// Longer than a chunk of every kernel's narrow sums: 2^15 vectors of
	// 16 samples.
	const size_t kLong = 600000;
	for (const Copy &copy : Copies()) {
		for (const Row &row : rows) {
			// Samples in three 32-byte vectors and one (24-bit: in groups of 8).
			size_t most = row.coding == kInt24 ? 25 : 3 * 32 / FactsOf(row.coding).bytes + 1;
			for (uint32_t channels : row.channels) {
				std::vector<size_t> counts = { kLong };
				for (size_t samples = 0; samples <= most; samples += channels)
					counts.push_back(samples);
				for (size_t samples : counts)
					for (Pattern pattern : { kRandom, kFullScale, kSilent, kAlternating })
						Check(copy, row, channels, samples, pattern);
				// One failing case is enough to tell what broke.
				if (HasFailure())
					return;
			}
		}
	}
}
