// SPDX-License-Identifier: MIT
// ADPCM: the copies of the IMA and MS ADPCM block decoders built for AVX2
// (the build gives this file -mavx2 on x86-64), which decoder.cpp calls
// where the processor has it.  Sixteen channels of blocks at once, in two
// groups of eight, one in each 32-bit lane, in the same 32-bit arithmetic
// as the plain decoders, so that they give the same samples.
#include <immintrin.h>

#include "codecs/adpcm.h"
#include "codecs/adpcm_codes.h"
#include "wave/byte_order.h"
#include "wave/storage.h"

namespace avx2 {
namespace {

enum { kLanes = 8, kGroups = 2, kRound = 8, kCacheLineBytes = 64 };

// The lanes read 8 or 16 blocks at once, more streams than the processor
// fetches ahead by itself, so that each time they took new blocks they
// would start with a wait for memory in every one.  The blocks they take
// next are fetched into the cache instead while these decode, a cache
// line or two each round: Ahead says where they are, and FetchAhead
// fetches round r's share.
struct Ahead {
	const unsigned char *next;   // nullptr after the last blocks
	size_t cacheLines, perRound;
};

inline Ahead
PlanAhead(const unsigned char *next, size_t bytes, size_t rounds)
{
	Ahead a = { next, 0, 0 };
	if (next != nullptr && rounds != 0) {
		a.cacheLines = (bytes + kCacheLineBytes - 1) / kCacheLineBytes;
		a.perRound = (a.cacheLines + rounds - 1) / rounds;
	}
	return a;
}

inline void
FetchAhead(const Ahead &a, size_t r)
{
	for (size_t k = r * a.perRound; k < a.cacheLines && k < (r + 1) * a.perRound; k++)
		_mm_prefetch((const char *)(a.next + k * kCacheLineBytes), _MM_HINT_T0);
}

// Samples 2i and 2i + 1 of each of eight lanes as 16-bit values, lanes 0
// to 3 side by side in the low half, lanes 4 to 7 in the high one: what
// StoreRound takes.
inline __m256i
SamplePairs(__m256i even, __m256i odd)
{
	const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
	                                       0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
	return _mm256_shuffle_epi8(_mm256_packs_epi32(even, odd), order);
}

// Eight samples of each of eight lanes, as SamplePairs gives them, written
// where they go: lane l's samples one after another from out[l] + at in
// mono; in stereo, where lanes 2k and 2k + 1 are the two channels of a
// block, frame after frame from out[2k] + at.
inline void
StoreRound(const __m256i pairs[kRound / 2], unsigned char *const out[kLanes], uint32_t channels,
           size_t at)
{
	__m256i s01 = pairs[0], s23 = pairs[1], s45 = pairs[2], s67 = pairs[3];
	// Samples 0 to 3, then 4 to 7, of lanes 0 and 1 (a and c) or 2 and 3.
	__m256i a = _mm256_unpacklo_epi32(s01, s23), b = _mm256_unpackhi_epi32(s01, s23);
	__m256i c = _mm256_unpacklo_epi32(s45, s67), d = _mm256_unpackhi_epi32(s45, s67);
	// A lane's eight samples in each half: lanes 0 and 4, 1 and 5, 2 and 6,
	// 3 and 7.
	const __m256i row[4] = { _mm256_unpacklo_epi64(a, c), _mm256_unpackhi_epi64(a, c),
		                 _mm256_unpacklo_epi64(b, d), _mm256_unpackhi_epi64(b, d) };
	if (channels == 1) {
		for (int l = 0; l < 4; l++) {
			_mm_storeu_si128((__m128i *)(out[l] + at), _mm256_castsi256_si128(row[l]));
			_mm_storeu_si128((__m128i *)(out[l + 4] + at), _mm256_extracti128_si256(row[l], 1));
		}
		return;
	}
	for (int l = 0; l < 4; l += 2) {
		__m256i first = _mm256_unpacklo_epi16(row[l], row[l + 1]);   // frames 0 to 3
		__m256i last = _mm256_unpackhi_epi16(row[l], row[l + 1]);    // frames 4 to 7
		_mm256_storeu_si256((__m256i *)(out[l] + at), _mm256_permute2x128_si256(first, last, 0x20));
		_mm256_storeu_si256((__m256i *)(out[l + 4] + at),
		                    _mm256_permute2x128_si256(first, last, 0x31));
	}
}

// Where code i of a round stands in a lane's word: two codes a byte, the
// high nibble first, in mono; in stereo a byte a frame, the first
// channel's code in its high nibble, and the round's last four frames in
// a second word.
__m256i
CodeShift(int i, uint32_t channels)
{
	int32_t shift[kLanes];
	for (int l = 0; l < kLanes; l++)
		shift[l] = channels == 1 ? 8 * (i / 2) + (i % 2 ? 0 : 4) : 8 * (i % 4) + (l % 2 ? 0 : 4);
	return _mm256_loadu_si256((const __m256i *)shift);
}

// The words of a round of a group's lanes, whose codes stand at code[l]
// + at: in mono a word of 8 codes a lane; in stereo, where both
// channels of a block read the same bytes, 8 bytes a block, the first
// four in word[0].
inline void
RoundWords(const unsigned char *const code[kLanes], size_t at, uint32_t channels,
           __m256i word[2])
{
	if (channels == 1) {
		uint32_t w[kLanes];
		for (int l = 0; l < kLanes; l++)
			__builtin_memcpy(&w[l], code[l] + at, 4);
		word[0] = word[1] = _mm256_loadu_si256((const __m256i *)w);
		return;
	}
	uint64_t q[kLanes / 2];
	for (int k = 0; k < kLanes / 2; k++)
		__builtin_memcpy(&q[k], code[2 * k] + at, 8);
	__m256i both = _mm256_loadu_si256((const __m256i *)q);
	word[0] = _mm256_permutevar8x32_epi32(both, _mm256_setr_epi32(0, 0, 2, 2, 4, 4, 6, 6));
	word[1] = _mm256_permutevar8x32_epi32(both, _mm256_setr_epi32(1, 1, 3, 3, 5, 5, 7, 7));
}

// rounds rounds of eight MS ADPCM codes of each of kGroups groups of
// lanes.  Each lane keeps its two last samples as a pair of 16-bit halves,
// the last in the low half, as its coefficients are kept, so that one
// multiply-add predicts the next sample.  The groups' chains of samples
// run side by side.
void
DecodeMsRounds(MsLane lane[kGroups * kLanes], size_t rounds, uint32_t channels,
               const Ahead &ahead)
{
	const __m256i low = _mm256_set1_epi32(INT16_MIN), high = _mm256_set1_epi32(INT16_MAX);
	const __m256i least = _mm256_set1_epi32(kMsLeastDelta);
	int32_t adaptation[16];
	for (int i = 0; i < 16; i++)
		adaptation[i] = kMsAdaptation[i];
	const __m256i adaptLow = _mm256_loadu_si256((const __m256i *)adaptation);
	const __m256i adaptHigh = _mm256_loadu_si256((const __m256i *)(adaptation + 8));
	// A code moved up to the top bits, where its sign bit selects the
	// table and where it is taken as a signed value, whose low 3 bits are
	// the code's: a permutation takes them and ignores the rest.
	__m256i up[kRound];
	for (int i = 0; i < kRound; i++)
		up[i] = _mm256_sub_epi32(_mm256_set1_epi32(28), CodeShift(i, channels));
	int32_t pairs[kGroups * kLanes], coefficients[kGroups * kLanes], deltas[kGroups * kLanes];
	unsigned char *out[kGroups * kLanes];
	const unsigned char *codes[kGroups * kLanes];
	for (int l = 0; l < kGroups * kLanes; l++) {
		pairs[l] = (int32_t)((uint32_t)(uint16_t)lane[l].first | (uint32_t)lane[l].second << 16);
		coefficients[l] = (int32_t)((uint32_t)(uint16_t)lane[l].c1 | (uint32_t)lane[l].c2 << 16);
		deltas[l] = lane[l].delta;
		out[l] = lane[l].out;
		codes[l] = lane[l].codes;
	}
	__m256i pair[kGroups], coefficient[kGroups], delta[kGroups];
	for (int g = 0; g < kGroups; g++) {
		pair[g] = _mm256_loadu_si256((const __m256i *)(pairs + g * kLanes));
		coefficient[g] = _mm256_loadu_si256((const __m256i *)(coefficients + g * kLanes));
		delta[g] = _mm256_loadu_si256((const __m256i *)(deltas + g * kLanes));
	}
	size_t advance = channels == 1 ? 4 : 8, stride = 2 * (size_t)channels;
	for (size_t r = 0; r < rounds; r++) {
		__m256i word[kGroups][2], last[kGroups], packed[kGroups][kRound / 2];
		FetchAhead(ahead, r);
		for (int g = 0; g < kGroups; g++)
			RoundWords(codes + g * kLanes, r * advance, channels, word[g]);
#pragma GCC unroll 8
		for (int i = 0; i < kRound; i++)
#pragma GCC unroll 2
			for (int g = 0; g < kGroups; g++) {
				__m256i top = _mm256_sllv_epi32(word[g][i / 4], up[i]);
				__m256i value = _mm256_srai_epi32(top, 28);
				__m256 adapt = _mm256_blendv_ps(
				    _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(adaptLow, value)),
				    _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(adaptHigh, value)),
				    _mm256_castsi256_ps(top));
				__m256i product = _mm256_madd_epi16(pair[g], coefficient[g]);
				__m256i predicted = _mm256_srai_epi32(product, 8);
				__m256i s = _mm256_add_epi32(predicted, _mm256_mullo_epi32(value, delta[g]));
				s = _mm256_min_epi32(_mm256_max_epi32(s, low), high);
				delta[g] = _mm256_mullo_epi32(_mm256_castps_si256(adapt), delta[g]);
				delta[g] = _mm256_max_epi32(_mm256_srai_epi32(delta[g], 8), least);
				pair[g] = _mm256_blend_epi16(_mm256_slli_epi32(pair[g], 16), s, 0x55);
				if (i % 2 == 0)
					last[g] = s;
				else
					packed[g][i / 2] = SamplePairs(last[g], s);
			}
		for (int g = 0; g < kGroups; g++)
			StoreRound(packed[g], out + g * kLanes, channels, r * kRound * stride);
	}
	for (int g = 0; g < kGroups; g++) {
		_mm256_storeu_si256((__m256i *)(pairs + g * kLanes), pair[g]);
		_mm256_storeu_si256((__m256i *)(deltas + g * kLanes), delta[g]);
	}
	for (int l = 0; l < kGroups * kLanes; l++) {
		lane[l].first = (int16_t)(uint16_t)(uint32_t)pairs[l];
		lane[l].second = (int16_t)(uint16_t)((uint32_t)pairs[l] >> 16);
		lane[l].delta = deltas[l];
	}
}

// The lanes of the blocks at blocks: 16 mono blocks, or the two channels
// of 8 stereo ones, whose frames go to out; next is where the blocks the
// lanes take next start.  The rounds in vectors, then the codes past the
// last whole round a lane at a time.
void
DecodeMsLanes(const unsigned char *blocks, uint32_t blockBytes, uint32_t channels,
              uint32_t frames, const int16_t (*coefficients)[2], const unsigned char *next,
              unsigned char *out)
{
	size_t stride = 2 * (size_t)channels, samples = frames - kMsHeaderSamples;
	MsLane lane[kGroups * kLanes];
	for (int l = 0; l < kGroups * kLanes; l++) {
		size_t b = l / channels, ch = l % channels;
		const unsigned char *block = blocks + b * blockBytes;
		unsigned char *o = out + b * frames * stride + 2 * ch;
		lane[l] = StartMsLane(block, channels, (uint32_t)ch, coefficients, o, stride);
	}
	size_t rounds = samples / kRound;
	size_t bytes = (size_t)kGroups * kLanes / channels * blockBytes;
	DecodeMsRounds(lane, rounds, channels, PlanAhead(next, bytes, rounds));
	for (int l = 0; l < kGroups * kLanes; l++)
		for (size_t n = rounds * kRound; n < samples; n++) {
			uint32_t code = channels == 1 ? lane[l].codes[n / 2] >> (n % 2 ? 0 : 4) & 15
			                              : lane[l].codes[n] >> lane[l].shift & 15;
			MsCode(code, lane[l], lane[l].out + n * stride);
		}
}

// IMA ADPCM's two differences of each byte of codes, from each step
// index, by the byte: the first code's (the low nibble) from the row's
// index, the second's from the index the first moves it to.  Their
// magnitudes (at most 61436) in 16 bits each, the first in the low half;
// their signs are the codes' own top bits.  One gather then serves two
// samples.
struct ImaPairs {
	uint32_t magnitudes[(kImaLastStep + 1) * 256];
};

constexpr uint32_t
Magnitude(int32_t diff)
{
	return (uint32_t)(diff < 0 ? -diff : diff);
}

constexpr ImaPairs
MakeImaPairs(void)
{
	ImaPairs t = {};
	for (int index = 0; index <= kImaLastStep; index++)
		for (int byte = 0; byte < 256; byte++) {
			int entry = 16 * index + (byte & 15), next = kImaTable.next[entry];
			uint32_t first = Magnitude(kImaTable.diff[entry]);
			uint32_t second = Magnitude(kImaTable.diff[next + (byte >> 4)]);
			t.magnitudes[256 * index + byte] = first | second << 16;
		}
	return t;
}

constexpr ImaPairs kImaPairs = MakeImaPairs();

// The difference of magnitude, negated where the code's top bit stands at
// bit 31 of sign.  The bit set below it keeps the sign from being zero,
// which would zero the difference.
inline __m256i
Signed(__m256i magnitude, __m256i sign)
{
	return _mm256_sign_epi32(magnitude, _mm256_or_si256(sign, _mm256_set1_epi32(1)));
}

// rounds words of each of kGroups groups of IMA ADPCM lanes, lane l's
// first at words[l] and each round bytes after the one before, its
// samples from out[l] on.  The step index, times 256, moves by a
// permutation of the code and a clamp, and both differences of a byte of
// codes are gathered from kImaPairs: neither waits for a load from the
// sample before, so the groups' chains run side by side.
void
DecodeImaRounds(const unsigned char *const words[kGroups * kLanes],
                unsigned char *const out[kGroups * kLanes], int32_t predictors[kGroups * kLanes],
                int32_t rows[kGroups * kLanes], size_t rounds, size_t round, uint32_t channels,
                const Ahead &ahead)
{
	const __m256i byte = _mm256_set1_epi32(0xFF), half = _mm256_set1_epi32(0xFFFF);
	const __m256i first = _mm256_setzero_si256();
	const __m256i last = _mm256_set1_epi32(256 * kImaLastStep);
	const __m256i low = _mm256_set1_epi32(INT16_MIN), high = _mm256_set1_epi32(INT16_MAX);
	int32_t moves[8];
	for (int i = 0; i < 8; i++)
		moves[i] = 256 * kImaIndexSteps[i];
	const __m256i move = _mm256_loadu_si256((const __m256i *)moves);
	__m256i predictor[kGroups], row[kGroups];
	for (int g = 0; g < kGroups; g++) {
		predictor[g] = _mm256_loadu_si256((const __m256i *)(predictors + g * kLanes));
		row[g] = _mm256_loadu_si256((const __m256i *)(rows + g * kLanes));
	}
	size_t stride = 2 * (size_t)channels;
	for (size_t r = 0; r < rounds; r++) {
		__m256i word[kGroups], packed[kGroups][kRound / 2];
		FetchAhead(ahead, r);
		for (int g = 0; g < kGroups; g++) {
			uint32_t w[kLanes];
			for (int l = 0; l < kLanes; l++)
				__builtin_memcpy(&w[l], words[g * kLanes + l] + r * round, 4);
			word[g] = _mm256_loadu_si256((const __m256i *)w);
		}
#pragma GCC unroll 4
		for (int k = 0; k < kRound / 2; k++)
#pragma GCC unroll 2
			for (int g = 0; g < kGroups; g++) {
				__m256i codes = _mm256_and_si256(word[g], byte);
				word[g] = _mm256_srli_epi32(word[g], 8);
				// The row is clamped to 256 times the last index and the
				// byte is below 256: the entry lies within the table.
				__m256i both =
				    _mm256_i32gather_epi32((const int *)kImaPairs.magnitudes,
				                           _mm256_add_epi32(row[g], codes), 4);
				__m256i second = _mm256_srli_epi32(codes, 4);
				row[g] = _mm256_add_epi32(row[g], _mm256_permutevar8x32_epi32(move, codes));
				row[g] = _mm256_min_epi32(_mm256_max_epi32(row[g], first), last);
				row[g] = _mm256_add_epi32(row[g], _mm256_permutevar8x32_epi32(move, second));
				row[g] = _mm256_min_epi32(_mm256_max_epi32(row[g], first), last);
				__m256i one = Signed(_mm256_and_si256(both, half), _mm256_slli_epi32(codes, 28));
				__m256i two = Signed(_mm256_srli_epi32(both, 16), _mm256_slli_epi32(codes, 24));
				__m256i even = _mm256_add_epi32(predictor[g], one);
				even = _mm256_min_epi32(_mm256_max_epi32(even, low), high);
				__m256i odd = _mm256_add_epi32(even, two);
				predictor[g] = _mm256_min_epi32(_mm256_max_epi32(odd, low), high);
				packed[g][k] = SamplePairs(even, predictor[g]);
			}
		for (int g = 0; g < kGroups; g++)
			StoreRound(packed[g], out + g * kLanes, channels, (1 + r * kRound) * stride);
	}
}

// The lanes of the IMA ADPCM blocks at blocks, as for MS ADPCM, whose
// frames go to out: the header's sample, then a round a word.
void
DecodeImaLanes(const unsigned char *blocks, uint32_t blockBytes, uint32_t channels,
               uint32_t frames, const unsigned char *next, unsigned char *out)
{
	size_t stride = 2 * (size_t)channels;
	const unsigned char *words[kGroups * kLanes];
	unsigned char *to[kGroups * kLanes];
	int32_t predictors[kGroups * kLanes], rows[kGroups * kLanes];
	for (int l = 0; l < kGroups * kLanes; l++) {
		size_t b = l / channels, ch = l % channels;
		const unsigned char *header = blocks + b * blockBytes + kImaHeaderBytes * ch;
		words[l] = blocks + b * blockBytes + kImaHeaderBytes * channels + kImaWordBytes * ch;
		to[l] = out + b * frames * stride + 2 * ch;
		predictors[l] = (int16_t)Le16(header);
		rows[l] = 256 * ImaFirstIndex(header);
		Put16(to[l], predictors[l]);
	}
	size_t rounds = (frames - 1) / kImaWordSamples;
	size_t bytes = (size_t)kGroups * kLanes / channels * blockBytes;
	DecodeImaRounds(words, to, predictors, rows, rounds, (size_t)kImaWordBytes * channels,
	                channels, PlanAhead(next, bytes, rounds));
}

// Where the blocks that the lanes take at time t + 1 of times start, each
// time's bytes long; nullptr after the last time.
const unsigned char *
NextBlocks(const unsigned char *blocks, size_t t, size_t times, size_t bytes)
{
	return t + 1 < times ? blocks + (t + 1) * bytes : nullptr;
}

}  // namespace
}  // namespace avx2

size_t
DecodeImaBlocksAvx2(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                    uint32_t channels, uint32_t frames, unsigned char *out)
{
	if ((channels != 1 && channels != 2) || frames <= 1 || (frames - 1) % kImaWordSamples != 0)
		return 0;
	size_t each = avx2::kGroups * avx2::kLanes / channels, times = count / each;
	size_t stride = 2 * (size_t)channels;
	for (size_t t = 0; t < times; t++)
		avx2::DecodeImaLanes(blocks + t * each * blockBytes, blockBytes, channels, frames,
		                     avx2::NextBlocks(blocks, t, times, each * blockBytes),
		                     out + t * each * frames * stride);
	return times * each;
}

size_t
DecodeMsBlocksAvx2(const unsigned char *blocks, size_t count, uint32_t blockBytes,
                   uint32_t channels, uint32_t frames, const int16_t (*coefficients)[2],
                   uint32_t pairs, unsigned char *out)
{
	if ((channels != 1 && channels != 2) || frames <= kMsHeaderSamples)
		return 0;
	size_t each = avx2::kGroups * avx2::kLanes / channels, times = count / each;
	for (size_t j = 0; j < times * each * channels; j++)
		if (blocks[j / channels * blockBytes + j % channels] >= pairs)
			return 0;
	size_t stride = 2 * (size_t)channels;
	for (size_t t = 0; t < times; t++)
		avx2::DecodeMsLanes(blocks + t * each * blockBytes, blockBytes, channels, frames,
		                    coefficients, avx2::NextBlocks(blocks, t, times, each * blockBytes),
		                    out + t * each * frames * stride);
	return times * each;
}
