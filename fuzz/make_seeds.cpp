// Writes the fuzzing seed corpus: small valid and broken WAV files.
// Usage: make_seeds DIR
#include <cmath>
#include <string>
#include <vector>

#include "../tests/wav_writer.h"

static std::vector<int64_t>
Tone(size_t count, int bits)
{
	std::vector<int64_t> v;
	double full = (double)((int64_t)1 << (bits - 1)) - 1;
	for (size_t i = 0; i < count; i++)
		v.push_back((int64_t)(full * sin((double)i / 5.0) * (double)(i % 50) / 50.0));
	return v;
}

static std::string
Floats(size_t count)
{
	std::vector<float> v;
	for (size_t i = 0; i < count; i++)
		v.push_back((float)sin((double)i / 5.0) * (float)(i % 7));
	v[3] = INFINITY;
	v[5] = NAN;
	v[7] = -0.0f;
	return FloatSamples(v);
}

int main(int argc, char *argv[])
{
	if (argc != 2) {
		fprintf(stderr, "usage: make_seeds DIR\n");
		return 2;
	}
	std::string dir = std::string(argv[1]) + "/";
	std::string s16 = Wav(1000, 1, 16, IntSamples(Tone(200, 16), 2));
	std::string fake = s16.substr(0, 36) + "LIST" + IntSamples({ 12 }, 4) + "data" +
	                   IntSamples({ 2 }, 4) + std::string("\x00\x40xx", 4) + s16.substr(36);
	std::string odd = "RIFF" + IntSamples({ 0 }, 5) + s16.substr(12);
	std::string huge = s16, topRate = s16, slow = s16;
	huge.replace(40, 4, "\xff\xff\xff\xff");
	topRate[27] = '\x80';
	slow[24] = 5;
	slow[25] = 0;
	struct { const char *name; std::string bytes; } seeds[] = {
		{ "s16_mono.wav", s16 },
		{ "s16_stereo.wav", Wav(8000, 2, 16, IntSamples(Tone(400, 16), 2)) },
		{ "s24_mono.wav", Wav(1000, 1, 24, IntSamples(Tone(200, 24), 3)) },
		{ "s24_stereo.wav", Wav(48000, 2, 24, IntSamples(Tone(300, 24), 3)) },
		{ "f32_mono.wav", Wav(1000, 1, 32, Floats(100)) },
		{ "f32_stereo.wav", Wav(44100, 2, 32, Floats(200)) },
		{ "i32_as_float.wav", Wav(1000, 1, 32, IntSamples(Tone(100, 32), 4)) },
		{ "u8.wav", Wav(100, 1, 8, std::string(100, '\x80')) },
		{ "four_channels.wav", Wav(1000, 4, 16, IntSamples(Tone(400, 16), 2)) },
		{ "three_by_24.wav", Wav(1000, 3, 24, IntSamples(Tone(90, 24), 3)) },
		{ "fake_data.wav", fake },
		{ "odd_tags.wav", odd },
		{ "huge_size.wav", huge },
		{ "top_bit_rate.wav", topRate },
		{ "rate_5.wav", slow },
		{ "header_only.wav", s16.substr(0, 44) },
		{ "cut_header.wav", s16.substr(0, 30) },
		{ "four_bits.wav", Wav(1000, 1, 4, std::string(50, '\x11')) },
		{ "empty.wav", "" },
	};
	for (const auto &s : seeds)
		if (!WriteFile(dir + s.name, s.bytes)) {
			perror((dir + s.name).c_str());
			return 1;
		}
	return 0;
}
