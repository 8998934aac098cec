// SPDX-License-Identifier: MIT
// The decoding stage: frames stored as the sums take them pass through,
// and compressed blocks are decoded a few at a time, so that their frames
// are summed while they are in the cache.
#include "codecs/decoder.h"

#include <cstring>

#include "codecs/adpcm.h"

// Compressed blocks are decoded into kDecodedBytes, at least one block and
// as many more as fit kDecodedPiece.  No block decodes to more than
// kDecodedBytes: 65,535 bytes of ADPCM hold under 2^17 16-bit samples.
enum { kDecodedBytes = 1 << 18, kDecodedPiece = 1 << 16 };
static_assert(2 * (kMsHeaderSamples + 2 * (65535 - kMsHeaderBytes)) <= kDecodedBytes &&
              2 * (1 + (65535 - kImaHeaderBytes) / kImaWordBytes * kImaWordSamples) <=
                  kDecodedBytes,
              "a block's frames fit the room for them");
static unsigned char decoded[kDecodedBytes];

static void DecodeBlock(Decoder *d, const unsigned char *block, uint32_t frames,
                        unsigned char *out);

void
StartDecoder(const Wave *wave, const Storage *storage, Decoder *d)
{
	d->storage = *storage;
	d->channels = wave->channels;
	d->frameBytes = storage->codec >= kImaAdpcm ? 2 * wave->channels : wave->frameBytes;
	d->coefficientCount = kMsStandardCoefficients;
	memcpy(d->coefficients, kMsCoefficients, sizeof kMsCoefficients);
	if (wave->coefficientCount != 0) {
		d->coefficientCount = wave->coefficientCount;
		memcpy(d->coefficients, wave->coefficients, sizeof d->coefficients);
	}
	StartGsm(&d->gsm);
	d->avx2 = false;
#ifdef QUORVIN_AVX2_COPY
	d->avx2 = __builtin_cpu_supports("avx2");
#endif
}

bool
PassesThrough(const Decoder *d)
{
	return d->storage.codec == kAsStored;
}

const unsigned char *
DecodeBlocks(Decoder *d, const unsigned char *p, size_t bytes, size_t *used, uint32_t *frames)
{
	const Storage *s = &d->storage;
	size_t blockBytes = s->blockBytes, perBlock = (size_t)s->blockFrames * d->frameBytes;
	*frames = 0;
	*used = 0;
	if (s->codec == kAsStored) {
		*frames = (uint32_t)(bytes / d->frameBytes);
		*used = (size_t)*frames * d->frameBytes;
		return p;
	}
	if (bytes < blockBytes) {
		*frames = PartialFrames(s, d->channels, bytes);
		*used = bytes;
		if (*frames != 0)
			DecodeBlock(d, p, *frames, decoded);
		return decoded;
	}
	size_t count = bytes / blockBytes, most = kDecodedPiece / perBlock;
	count = count < most ? count : most > 0 ? most : 1;
	*used = count * blockBytes;
	*frames = (uint32_t)(count * s->blockFrames);
	if (s->codec == kImaAdpcm) {
		size_t done = 0;
#ifdef QUORVIN_AVX2_COPY
		if (d->avx2)
			done = DecodeImaBlocksAvx2(p, count, s->blockBytes, d->channels, s->blockFrames,
			                           decoded);
#endif
		DecodeImaBlocks(p + done * blockBytes, count - done, s->blockBytes, d->channels,
		                s->blockFrames, decoded + done * perBlock);
		return decoded;
	}
	if (s->codec == kMsAdpcm) {
		size_t done = 0;
#ifdef QUORVIN_AVX2_COPY
		if (d->avx2)
			done = DecodeMsBlocksAvx2(p, count, s->blockBytes, d->channels, s->blockFrames,
			                          d->coefficients, d->coefficientCount, decoded);
#endif
		DecodeMsBlocks(p + done * blockBytes, count - done, s->blockBytes, d->channels,
		               s->blockFrames, d->coefficients, d->coefficientCount,
		               decoded + done * perBlock);
		return decoded;
	}
	for (size_t b = 0; b < count; b++)
		DecodeBlock(d, p + b * blockBytes, s->blockFrames, decoded + b * perBlock);
	return decoded;
}

static void
DecodeBlock(Decoder *d, const unsigned char *block, uint32_t frames, unsigned char *out)
{
	switch (d->storage.codec) {
	case kImaAdpcm:
		DecodeImaBlock(block, d->channels, frames, out);
		break;
	case kMsAdpcm:
		DecodeMsBlock(block, d->channels, frames, d->coefficients, d->coefficientCount, out);
		break;
	case kGsm610:
		DecodeGsmBlock(&d->gsm, block, frames, out);
		break;
	case kAsStored:
		break;
	}
}
