// SPDX-License-Identifier: MIT
// Storage: the codings read as they are stored, or through a codec, and
// the frames they hold.
#include "wave/storage.h"

#include "wave/decode.h"

enum { kMsAdpcmCode = 0x0002, kImaAdpcmCode = 0x0011, kGsm610Code = 0x0031 };

static bool ChooseCodec(const Wave *wave, Storage *storage);
static uint32_t Capacity(Codec codec, uint32_t channels, uint32_t blockBytes);
static uint64_t FramesOf(const Storage *storage, uint32_t channels, uint64_t bytes);

bool
ChooseStorage(const Wave *wave, Storage *storage)
{
	storage->coding = ChooseCoding(wave->bitsPerSample, wave->formatCode, wave->channels,
	                               wave->bigEndian);
	storage->codec = kAsStored;
	storage->blockBytes = wave->frameBytes;
	storage->blockFrames = 1;
	if (storage->coding == kRefused && !ChooseCodec(wave, storage))
		return false;
	storage->frames = FramesOf(storage, wave->channels, wave->dataBytes);
	// Encoders fill the last block: the fact chunk says how many of its
	// frames are the recording's.
	if (storage->codec >= kImaAdpcm && wave->factFrames < storage->frames)
		storage->frames = wave->factFrames;
	return true;
}

// Compressed codings have fewer than 8 bits a sample (GSM says 0): at 8
// bits or more a format code is read as the table of codings reads it.
static bool
ChooseCodec(const Wave *wave, Storage *storage)
{
	uint32_t channels = wave->channels, bits = wave->bitsPerSample;
	if (wave->bigEndian || bits >= 8 || channels < 1 || channels > kMaxChannels)
		return false;
	if (wave->formatCode == kImaAdpcmCode && bits == 4)
		storage->codec = kImaAdpcm;
	else if (wave->formatCode == kMsAdpcmCode && bits == 4)
		storage->codec = kMsAdpcm;
	else if (wave->formatCode == kGsm610Code && channels == 1 && wave->blockAlign == kGsmBlockBytes)
		storage->codec = kGsm610;
	else
		return false;
	uint32_t capacity = Capacity(storage->codec, channels, wave->blockAlign);
	uint32_t perBlock = wave->samplesPerBlock != 0 ? wave->samplesPerBlock : capacity;
	if (capacity == 0 || perBlock > capacity ||
	    (storage->codec == kGsm610 && perBlock != kGsmBlockFrames))
		return false;
	storage->coding = kInt16;
	storage->blockBytes = wave->blockAlign;
	storage->blockFrames = perBlock;
	return true;
}

// The frames a block of blockBytes holds; 0 where it cannot hold its
// header.
static uint32_t
Capacity(Codec codec, uint32_t channels, uint32_t blockBytes)
{
	uint32_t header = (codec == kImaAdpcm ? kImaHeaderBytes : kMsHeaderBytes) * channels;
	if (codec == kGsm610)
		return kGsmBlockFrames;
	if (blockBytes < header)
		return 0;
	if (codec == kImaAdpcm)
		return 1 + (blockBytes - header) / (kImaWordBytes * channels) * kImaWordSamples;
	return kMsHeaderSamples + (blockBytes - header) * 2 / channels;
}

uint32_t
PartialFrames(const Storage *storage, uint32_t channels, size_t bytes)
{
	uint32_t frames = 0;
	if (storage->codec == kGsm610)
		frames = bytes >= kGsmFirstHalfBytes ? kGsmHalfFrames : 0;
	else if (storage->codec == kImaAdpcm || storage->codec == kMsAdpcm)
		frames = Capacity(storage->codec, channels, (uint32_t)bytes);
	return frames < storage->blockFrames ? frames : storage->blockFrames;
}

// Every whole block's frames, and those of a last one cut short, up to
// 2^64 - 1.
static uint64_t
FramesOf(const Storage *storage, uint32_t channels, uint64_t bytes)
{
	uint64_t blocks = bytes / storage->blockBytes, rest = bytes % storage->blockBytes;
	if (blocks > (UINT64_MAX - storage->blockFrames) / storage->blockFrames)
		return UINT64_MAX;
	return blocks * storage->blockFrames + PartialFrames(storage, channels, (size_t)rest);
}
