// SPDX-License-Identifier: MIT
// Codings: the ways a wave file's samples may be coded, and in one table
// the facts of each that the decoders, the sums and the vector kernels
// read.  Integer codings are added in whole units, each `unit` amplitude
// units (full scale is 128 amplitude units); the others as doubles.
// What is defined here lies in an unnamed namespace, so that each source
// file has its own: the kernels' copies for wider instruction sets
// include it, and a definition shared between them could be the one
// compiled for the widest.
#ifndef QUORVIN_WAVE_CODINGS_H
#define QUORVIN_WAVE_CODINGS_H

#include <cstdint>

enum Coding {
	kRefused,     // a layout the scan cannot decode
	kUnsigned8,   // 8-bit unsigned, 128 is silence
	kMuLaw,       // 8-bit G.711 mu-law
	kALaw,        // 8-bit G.711 A-law
	kInt16,       // 16 to 23 bits, whatever the format code says
	kInt24,       // 24 to 31 bits, whatever the format code says
	kInt32,       // 32 to 39 bits of integer PCM
	kFloat32,     // 32 to 39 bits of any other code, through Float32Convert
	kIntWide,     // 40 to 71 bits of integer PCM
	kFloat64,     // IEEE double
	// The same, big-endian (RIFX files): the bytes of each sample, most
	// significant first.
	kInt16Big,
	kInt24Big,
	kInt32Big,
	kFloat32Big,
	kIntWideBig,
	kFloat64Big,
	kCodings
};

// The one channel limit; every other bound of a frame's size follows
// from it.  Samples take at most kMaxSampleBytes bytes.
enum {
	kMaxChannels = 1024,
	kMaxSampleBytes = 8,
	kMaxFrameBytes = kMaxChannels * kMaxSampleBytes,
};

// The vector kernel that adds a coding's samples (kernel_bodies.h), or none:
// then they are added as doubles, one by one.
enum Kernel { kNoKernel, kKernelU8, kKernelMuLaw, kKernelALaw, kKernel16, kKernel24,
	      kKernel32, kKernelFloat };

// What an element of a kernel's peaks (VectorPeaks) holds.  Marked elements
// have their top bit set once a sample reached them, so that 0 means none
// did: a G.711 key or a float word of 0 is not silence.
enum PeakEncoding {
	kPeakNone,
	kPeakUnits,         // the largest magnitude, in units
	kPeakMarkedKey,     // 0x80 | the largest 7-bit G.711 key (segment and step)
	kPeakMarkedWord,    // 2^31 | the largest float word without its sign
};

struct CodingFacts {
	Coding coding;            // the row's own, in the order of the enum
	const char *name;
	bool bigEndian;
	uint32_t bytes;           // bytes a decoder reads a sample from (0: the header's)
	Kernel kernel;
	uint32_t peakBytes;       // the size of an element of the kernel's peaks
	PeakEncoding peak;
	double unit;              // the amplitude of a unit; 0: added as doubles
	uint64_t maxUnits;        // the largest magnitude of one sample, in units
	uint64_t exactSamples;    // the longest line whose units add up exactly
};

// Units are powers of two, so that a sum of units times its unit is the
// sum of the amplitudes exactly.  A line holds up to 2^32 - 1 frames of up
// to kMaxChannels samples.
constexpr uint64_t kLineSamples = (uint64_t)UINT32_MAX * kMaxChannels;

// The sum of a line's units, times the unit, is the sum of its samples'
// amplitudes as doubles while it stays below 2^53: 8-bit lines always,
// G.711 and 16-bit lines of up to 2^38 samples, 24-bit lines of up to 2^30
// and 32-bit lines of up to 2^22.  Longer lines are added as doubles, one
// by one.
namespace {

constexpr CodingFacts kCodingFacts[kCodings] = {
	// big-endian, bytes, kernel, peak element, unit, largest, exact line
	{ kRefused, "refused", false, 0, kNoKernel, 0, kPeakNone, 0, 0, 0 },
	{ kUnsigned8, "8-bit", false, 1, kKernelU8, 1, kPeakUnits, 1.0, 128, kLineSamples },
	{ kMuLaw, "mu-law", false, 1, kKernelMuLaw, 1, kPeakMarkedKey, 0x1p-8, 32124, 1ULL << 38 },
	{ kALaw, "A-law", false, 1, kKernelALaw, 1, kPeakMarkedKey, 0x1p-8, 32256, 1ULL << 38 },
	{ kInt16, "16-bit", false, 2, kKernel16, 2, kPeakUnits, 0x1p-8, 1 << 15, 1ULL << 38 },
	{ kInt24, "24-bit", false, 3, kKernel24, 4, kPeakUnits, 0x1p-16, 1 << 23, 1 << 30 },
	{ kInt32, "32-bit", false, 4, kKernel32, 4, kPeakUnits, 0x1p-24, 1u << 31, 1 << 22 },
	{ kFloat32, "float", false, 4, kKernelFloat, 4, kPeakMarkedWord, 0, 0, 0 },
	{ kIntWide, "40- to 64-bit", false, 0, kNoKernel, 0, kPeakNone, 0, 0, 0 },
	{ kFloat64, "double", false, 8, kNoKernel, 0, kPeakNone, 0, 0, 0 },
	{ kInt16Big, "16-bit big-endian", true, 2, kKernel16, 2, kPeakUnits, 0x1p-8, 1 << 15,
	  1ULL << 38 },
	{ kInt24Big, "24-bit big-endian", true, 3, kKernel24, 4, kPeakUnits, 0x1p-16, 1 << 23,
	  1 << 30 },
	{ kInt32Big, "32-bit big-endian", true, 4, kKernel32, 4, kPeakUnits, 0x1p-24, 1u << 31,
	  1 << 22 },
	{ kFloat32Big, "float big-endian", true, 4, kKernelFloat, 4, kPeakMarkedWord, 0, 0, 0 },
	{ kIntWideBig, "40- to 64-bit big-endian", true, 0, kNoKernel, 0, kPeakNone, 0, 0, 0 },
	{ kFloat64Big, "double big-endian", true, 8, kNoKernel, 0, kPeakNone, 0, 0, 0 },
};

constexpr bool
InEnumOrder(void)
{
	for (int c = 0; c < kCodings; c++)
		if (kCodingFacts[c].coding != c)
			return false;
	return true;
}
static_assert(InEnumOrder(), "row c of the table is coding c's");

constexpr bool
LinesExact(void)
{
	for (const CodingFacts &f : kCodingFacts)
		if (f.maxUnits != 0 && f.exactSamples > (1ULL << 53) / f.maxUnits)
			return false;
	return true;
}
static_assert(LinesExact(), "every line added in units stays below 2^53 units");

// Every sample fits a frame of kMaxSampleBytes a channel, and every
// kernel's peak element is 1, 2 or 4 bytes (a kernel keeps its peaks in
// slots of VectorPeaks, accumulators.h, of at most 32 bytes).
constexpr bool
FactsFit(void)
{
	for (const CodingFacts &f : kCodingFacts)
		if (f.bytes > kMaxSampleBytes || (f.kernel != kNoKernel) != (f.peakBytes != 0) ||
		    (f.peakBytes != 0 && f.peakBytes != 1 && f.peakBytes != 2 && f.peakBytes != 4))
			return false;
	return true;
}
static_assert(FactsFit(), "samples fit a frame, peak elements a slot");

// Always inlined, so that the kernels' copies keep no function of their
// own.
__attribute__((always_inline)) inline const CodingFacts &
FactsOf(Coding coding)
{
	return kCodingFacts[coding];
}

}  // namespace

#endif
