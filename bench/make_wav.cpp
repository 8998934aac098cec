// SPDX-License-Identifier: MIT
// Writes a benchmark file: a tone with a slow swell and a little noise.
// Usage: make_wav PATH CODING CHANNELS RATE SECONDS
//   CODING: u8, mulaw, alaw, s16, s24, s32, f32 or f64
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../tests/wav_writer.h"

// G.711 encoders of a 16-bit value.
static unsigned
MuLaw(int pcm)
{
	int sign = pcm < 0 ? 0x80 : 0, magnitude = std::min(std::abs(pcm), 32635) + 0x84, exponent = 7;
	for (int mask = 0x4000; (magnitude & mask) == 0 && exponent > 0; mask >>= 1)
		exponent--;
	return ~(sign | exponent << 4 | (magnitude >> (exponent + 3) & 15)) & 0xFF;
}

static unsigned
ALaw(int pcm)
{
	int sign = pcm >= 0 ? 0x80 : 0, magnitude = std::min(std::abs(pcm), 32767), segment = 0;
	while (segment < 7 && magnitude >= (256 << segment))
		segment++;
	int step = segment == 0 ? magnitude >> 4 : magnitude >> (segment + 3) & 15;
	return (sign | segment << 4 | step) ^ 0x55;
}

int main(int argc, char *argv[])
{
	const char *codings[] = { "u8", "mulaw", "alaw", "s16", "s24", "s32", "f32", "f64" };
	const int bits[] = { 8, 8, 8, 16, 24, 32, 32, 64 }, formats[] = { 1, 7, 6, 1, 1, 1, 3, 3 };
	int coding = 0;
	while (argc == 6 && coding < 8 && strcmp(argv[2], codings[coding]) != 0)
		coding++;
	if (argc != 6 || coding == 8) {
		fprintf(stderr, "usage: make_wav PATH u8|mulaw|alaw|s16|s24|s32|f32|f64 CHANNELS RATE "
		                "SECONDS\n");
		return 2;
	}
	int channels = atoi(argv[3]), bytesPerSample = bits[coding] / 8;
	uint32_t rate = (uint32_t)atol(argv[4]);
	uint64_t frames = (uint64_t)(atof(argv[5]) * rate);
	uint64_t bytes = frames * channels * bytesPerSample;
	FILE *f = fopen(argv[1], "wb");
	if (f == NULL || bytes > 0xFFFFFFFFu) {
		perror(argv[1]);
		return 1;
	}
	std::string out = WavHead(PcmFormat(rate, (uint16_t)channels, (uint16_t)bits[coding],
	                                    (uint16_t)formats[coding]), (uint32_t)bytes);
	uint32_t seed = 1;
	for (uint64_t i = 0; i < frames; i++) {
		double t = (double)i / rate;
		double level = 0.5 + 0.45 * sin(t * 0.7);
		for (int c = 0; c < channels; c++) {
			seed = seed * 1664525u + 1013904223u;
			double x = level * sin(2 * M_PI * (440.0 + 110 * c) * t) +
			           ((double)(seed >> 16) / 65536.0 - 0.5) * 0.01;
			int pcm16 = (int)lround(x * 32767.0);
			if (formats[coding] == 3 && bits[coding] == 64) {
				uint64_t w;
				memcpy(&w, &x, 8);
				out += Le(w, 8);
			} else if (formats[coding] == 3) {
				float v = (float)x;
				uint32_t w;
				memcpy(&w, &v, 4);
				out += Le(w, 4);
			} else if (coding <= 2) {
				out.push_back((char)(coding == 0 ? lround(x * 127.0) + 128 : coding == 1 ? MuLaw(pcm16) : ALaw(pcm16)));
			} else {
				double full = (double)((1LL << (bits[coding] - 1)) - 1);
				out += Le((uint64_t)(int64_t)llround(x * full), bytesPerSample);
			}
		}
		if (out.size() >= (1 << 20)) {
			fwrite(out.data(), 1, out.size(), f);
			out.clear();
		}
	}
	fwrite(out.data(), 1, out.size(), f);
	return fclose(f) == 0 ? 0 : 1;
}
