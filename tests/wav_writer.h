// Builds WAV files in memory for the tests, the sample and the benchmark.
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

// The canonical 44-byte header: "fmt " at 12, "data" at 36, frames at 44.
inline std::string WavHeader(uint32_t rate, uint16_t channels, uint16_t bits,
                             uint32_t dataBytes, uint16_t format = 1)
{
	std::string h = "RIFF";
	PutLE(h, 36 + (uint64_t)dataBytes, 4);
	h += "WAVEfmt ";
	PutLE(h, 16, 4);
	PutLE(h, format, 2);
	PutLE(h, channels, 2);
	PutLE(h, rate, 4);
	PutLE(h, (uint64_t)rate * channels * bits / 8, 4);
	PutLE(h, channels * bits / 8, 2);
	PutLE(h, bits, 2);
	h += "data";
	PutLE(h, dataBytes, 4);
	return h;
}

// Integer samples of `bytes` bytes each, little-endian two's complement.
inline std::string IntSamples(const std::vector<int64_t> &values, int bytes)
{
	std::string s;
	for (int64_t v : values)
		PutLE(s, (uint64_t)v, bytes);
	return s;
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

inline std::string Wav(uint32_t rate, uint16_t channels, uint16_t bits,
                       const std::string &data)
{
	return WavHeader(rate, channels, bits, (uint32_t)data.size(),
	                 bits == 32 ? 3 : 1) + data;
}

inline bool WriteFile(const std::string &path, const std::string &bytes)
{
	FILE *f = fopen(path.c_str(), "wb");
	if (f == NULL)
		return false;
	bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
	return fclose(f) == 0 && ok;
}

#endif
