// SPDX-License-Identifier: MIT
// Builds WAV files in memory, for the tests, the sample, the benchmark and
// the fuzzing seeds.
#ifndef QUORVIN_WAV_WRITER_H
#define QUORVIN_WAV_WRITER_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline void PutLE(std::string &s, uint64_t value, int bytes)
{
	for (int i = 0; i < bytes; i++)
		s.push_back((char)(value >> (8 * i)));
}

// Integer samples of `bytes` bytes each, little-endian two's complement.
inline std::string IntSamples(const std::vector<int64_t> &values, int bytes)
{
	std::string s;
	for (int64_t v : values)
		PutLE(s, (uint64_t)v, bytes);
	return s;
}

// The canonical 44-byte header: "fmt " at 12, "data" at 36, frames at 44.
inline std::string WavHeader(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t dataBytes,
                             uint16_t format = 1)
{
	return "RIFF" + IntSamples({ 36 + (int64_t)dataBytes }, 4) + "WAVEfmt " +
	       IntSamples({ 16 }, 4) + IntSamples({ format, channels }, 2) +
	       IntSamples({ rate, (int64_t)rate * channels * bits / 8 }, 4) +
	       IntSamples({ channels * bits / 8, bits }, 2) + "data" + IntSamples({ dataBytes }, 4);
}

inline std::string FloatSamples(const std::vector<float> &values)
{
	std::string s;
	for (float v : values) {
		uint32_t bits;
		memcpy(&bits, &v, 4);
		PutLE(s, bits, 4);
	}
	return s;
}

// 32-bit samples are floats.
inline std::string Wav(uint32_t rate, uint16_t channels, uint16_t bits, const std::string &data)
{
	return WavHeader(rate, channels, bits, (uint32_t)data.size(), bits == 32 ? 3 : 1) + data;
}

inline bool WriteFile(const std::string &path, const std::string &bytes)
{
	FILE *f = fopen(path.c_str(), "wb");
	return f != NULL && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && fclose(f) == 0;
}

#endif
