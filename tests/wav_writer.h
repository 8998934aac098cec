// SPDX-License-Identifier: MIT
// Builds WAV files in memory, for the tests, the sample, the benchmark and
// the fuzzing seeds: chunks by name, fields by name, sizes counted here
// unless given.
#ifndef QUORVIN_TESTS_WAV_WRITER_H
#define QUORVIN_TESTS_WAV_WRITER_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// value as bytes little-endian bytes.
inline std::string Le(uint64_t value, int bytes)
{
	std::string s;
	for (int i = 0; i < bytes; i++)
		s.push_back((char)(value >> (8 * i)));
	return s;
}

// Integer samples of bytes bytes each, little-endian two's complement.
inline std::string IntSamples(const std::vector<int64_t> &values, int bytes)
{
	std::string s;
	for (int64_t v : values)
		s += Le((uint64_t)v, bytes);
	return s;
}

inline std::string FloatSamples(const std::vector<float> &values)
{
	std::string s;
	for (float v : values) {
		uint32_t bits;
		memcpy(&bits, &v, 4);
		s += Le(bits, 4);
	}
	return s;
}

// The fields of a format chunk.  Block size and byte rate follow from the
// others unless given; the extension is the bytes after the bits per
// sample, its size first, as they are to stand.
struct Format {
	uint16_t code = 1;
	uint16_t channels = 1;
	uint32_t rate = 1000;
	uint16_t bits = 16;
	uint16_t blockAlign = 0;
	uint32_t byteRate = 0;
	std::string extension;
};

inline Format PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits, uint16_t code = 1)
{
	Format f;
	f.rate = rate;
	f.channels = channels;
	f.bits = bits;
	f.code = code;
	return f;
}

inline std::string FormatBody(const Format &f)
{
	uint16_t align = f.blockAlign != 0 ? f.blockAlign : (uint16_t)(f.channels * f.bits / 8);
	uint32_t byteRate = f.byteRate != 0 ? f.byteRate : f.rate * align;
	return Le(f.code, 2) + Le(f.channels, 2) + Le(f.rate, 4) + Le(byteRate, 4) + Le(align, 2) +
	       Le(f.bits, 2) + f.extension;
}

// A chunk whose size field says size, whatever its body holds, with no pad.
inline std::string SizedChunk(const std::string &name, uint64_t size, const std::string &body)
{
	return name + Le(size, 4) + body;
}

// A chunk as a RIFF file lays it out: name, size, body, and a pad byte
// after an odd size.
inline std::string Chunk(const std::string &name, const std::string &body)
{
	return SizedChunk(name, body.size(), body + std::string(body.size() % 2, '\0'));
}

inline std::string FormatChunk(const Format &f)
{
	return Chunk("fmt ", FormatBody(f));
}

// A RIFF file of the chunks (magic RF64 or BW64, form other than WAVE, as
// given).
inline std::string Riff(const std::string &chunks, const std::string &magic = "RIFF",
                        const std::string &form = "WAVE")
{
	return magic + Le(4 + chunks.size(), 4) + form + chunks;
}

// Everything before the frames of a canonical file: its format chunk,
// then a data chunk of dataBytes.
inline std::string WavHead(const Format &f, uint32_t dataBytes)
{
	return "RIFF" + Le(4 + 24 + 8 + (uint64_t)dataBytes, 4) + "WAVE" + FormatChunk(f) + "data" +
	       Le(dataBytes, 4);
}

inline std::string Wav(const Format &f, const std::string &data)
{
	return Riff(FormatChunk(f) + Chunk("data", data));
}

// 32-bit samples are floats.
inline std::string Wav(uint32_t rate, uint16_t channels, uint16_t bits, const std::string &data)
{
	return Wav(PcmFormat(rate, channels, bits, bits == 32 ? 3 : 1), data);
}

// A RIFX file: the canonical layout, every field and each sample of
// sampleBytes big-endian.
inline std::string Rifx(const Format &f, const std::string &samples, size_t sampleBytes)
{
	std::string body = FormatBody(f), fields, data;
	for (size_t at : { 0, 2, 4, 8, 12, 14 }) {
		size_t n = at == 4 || at == 8 ? 4 : 2;
		fields += std::string(body.rbegin() + (body.size() - at - n), body.rbegin() + (body.size() - at));
	}
	for (size_t at = 0; at + sampleBytes <= samples.size(); at += sampleBytes)
		data += std::string(samples.rbegin() + (samples.size() - at - sampleBytes),
		                    samples.rbegin() + (samples.size() - at));
	std::string size = Le(data.size(), 4), riff = Le(36 + data.size(), 4);
	return "RIFX" + std::string(riff.rbegin(), riff.rend()) + "WAVEfmt " + std::string(3, '\0') +
	       "\x10" + fields + "data" + std::string(size.rbegin(), size.rend()) + data;
}

// A Wave64 file: chunks named by the Sony format's GUIDs, with 64-bit
// sizes that count their headers, each at a multiple of 8.
inline std::string W64Chunk(const std::string &name, const std::string &body)
{
	static const char sony[] = "\xf3\xac\xd3\x11\x8c\xd1\x00\xc0\x4f\x8e\xdb\x8a";
	return name + std::string(sony, 12) + Le(24 + body.size(), 8) + body +
	       std::string((8 - body.size() % 8) % 8, '\0');
}

inline std::string W64(const Format &f, const std::string &data)
{
	static const char riff[] = "riff\x2e\x91\xcf\x11\xa5\xd6\x28\xdb\x04\xc1\x00\x00";
	std::string chunks = W64Chunk("fmt ", FormatBody(f)) + W64Chunk("data", data);
	return std::string(riff, 16) + Le(40 + chunks.size(), 8) + W64Chunk("wave", "").substr(0, 16) +
	       chunks;
}

inline bool WriteFile(const std::string &path, const std::string &bytes)
{
	FILE *f = fopen(path.c_str(), "wb");
	bool written = f != NULL && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
	return f != NULL && fclose(f) == 0 && written;
}

#endif
