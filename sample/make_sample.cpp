// SPDX-License-Identifier: MIT
// Writes the shipped sample: four seconds of 8 kHz 16-bit mono, a rising
// run of plucked notes that swells and fades, so the picture shows beats
// with their decays and an overall arc.
#include <cmath>
#include <cstdio>

#include "../tests/wav_writer.h"

int main(int argc, char *argv[])
{
	const char *path = argc > 1 ? argv[1] : "sample.wav";
	const int rate = 8000, seconds = 4, notes = 16;
	std::vector<int64_t> samples;
	for (int i = 0; i < rate * seconds; i++) {
		double t = (double)i / rate;
		int note = (int)(t * notes / seconds);
		double since = t - (double)note * seconds / notes;
		double pitch = 220.0 * pow(2.0, (note % 8) / 12.0 * 2);
		double arc = sin(M_PI * (note + 0.5) / notes);
		double level = arc * exp(-since * 9.0);
		samples.push_back((int64_t)lround(30000.0 * level *
		                                  sin(2 * M_PI * pitch * t)));
	}
	if (!WriteFile(path, Wav(rate, 1, 16, IntSamples(samples, 2)))) {
		perror(path);
		return 1;
	}
	return 0;
}
