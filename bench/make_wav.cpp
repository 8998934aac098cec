// Writes a benchmark file: a tone with a slow swell and a little noise.
// Usage: make_wav PATH BITS CHANNELS RATE SECONDS   (BITS 16, 24 or 32 = float)
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "../tests/wav_writer.h"

int main(int argc, char *argv[])
{
	if (argc != 6) {
		fprintf(stderr, "usage: make_wav PATH BITS CHANNELS RATE SECONDS\n");
		return 2;
	}
	int bits = atoi(argv[2]), channels = atoi(argv[3]);
	uint32_t rate = (uint32_t)atol(argv[4]);
	uint64_t frames = (uint64_t)(atof(argv[5]) * rate);
	uint64_t bytes = frames * channels * (bits / 8);
	FILE *f = fopen(argv[1], "wb");
	if (f == NULL || bytes > 0xFFFFFFFFu) {
		perror(argv[1]);
		return 1;
	}
	std::string out = WavHeader(rate, (uint16_t)channels, (uint16_t)bits,
	                            (uint32_t)bytes, bits == 32 ? 3 : 1);
	uint32_t seed = 1;
	for (uint64_t i = 0; i < frames; i++) {
		double t = (double)i / rate;
		double level = 0.5 + 0.45 * sin(t * 0.7);
		for (int c = 0; c < channels; c++) {
			seed = seed * 1664525u + 1013904223u;
			double x = level * sin(2 * M_PI * (440.0 + 110 * c) * t) +
			           ((double)(seed >> 16) / 65536.0 - 0.5) * 0.01;
			if (bits == 32) {
				float v = (float)x;
				uint32_t w;
				memcpy(&w, &v, 4);
				PutLE(out, w, 4);
			} else {
				double full = bits == 16 ? 32767.0 : 8388607.0;
				PutLE(out, (uint64_t)(int64_t)lround(x * full), bits / 8);
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
