// SPDX-License-Identifier: MIT
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

// Bytes that step through every value, in an order set by step.
static std::string
Bytes(size_t count, unsigned step)
{
	std::string s;
	for (size_t i = 0; i < count; i++)
		s.push_back((char)(i * step));
	return s;
}

static std::string
Doubles(size_t count)
{
	std::string s;
	for (size_t i = 0; i < count; i++) {
		double v = i == 7 ? NAN : i == 9 ? -INFINITY : sin((double)i / 3.0) * (double)(i % 5);
		uint64_t bits;
		memcpy(&bits, &v, 8);
		s += Le(bits, 8);
	}
	return s;
}

int main(int argc, char *argv[])
{
	if (argc != 2) {
		fprintf(stderr, "usage: make_seeds DIR\n");
		return 2;
	}
	std::string dir = std::string(argv[1]) + "/";
	const Format mono = PcmFormat(1000, 1, 16);
	std::string tone = IntSamples(Tone(200, 16), 2), fmt = FormatChunk(mono);
	std::string s16 = Wav(mono, tone);
	std::string fake = Riff(fmt + SizedChunk("LIST", 12, SizedChunk("data", 2, "\x00\x40xx")) +
	                        Chunk("data", tone));
	std::string odd = "RIFF" + std::string(5, '\0') + fmt + Chunk("data", tone);
	std::string huge = Riff(fmt + SizedChunk("data", 0xFFFFFFFF, tone));
	// An extensible format chunk whose sub-format says mu-law.
	Format extensible = PcmFormat(8000, 1, 8, 0xFFFE);
	extensible.extension = Le(22, 2) + Le(8, 2) + Le(4, 4) + Le(7, 2) + std::string(14, '\0');
	// The chunks of s16 behind 20,000 bytes of padding, as BW64.
	std::string padded = Riff(Chunk("JUNK", std::string(20000, '\0')) + fmt + Chunk("data", tone),
	                          "BW64");
	// Compressed codings: IMA ADPCM of one and two channels, MS ADPCM with
	// its coefficients listed, GSM 06.10; big-endian and Wave64 files;
	// RF64 whose data size stands in its ds64 chunk, a chunk after the audio.
	// The stereo ADPCM files hold more than the 8 blocks that the AVX2
	// decoders take at once.
	Format ima = PcmFormat(8000, 1, 4, 0x11), ima2 = PcmFormat(8000, 2, 4, 0x11);
	ima.blockAlign = 36;
	ima.extension = Le(2, 2) + Le(65, 2);
	ima2.blockAlign = 72;
	Format ms = PcmFormat(8000, 2, 4, 2), gsm = PcmFormat(8000, 1, 0, 0x31);
	ms.blockAlign = 46;
	ms.extension = Le(32, 2) + Le(34, 2) + Le(7, 2) + IntSamples({ 256, 0, 512, -256, 0, 0, 192, 64,
	                                                             240, 0, 460, -208, 392, -232 }, 2);
	gsm.blockAlign = 65;
	gsm.extension = Le(2, 2) + Le(320, 2);
	std::string fact = Chunk("fact", Le(100, 4)), msFact = Chunk("fact", Le(300, 4)), msData;
	for (unsigned k = 0; k < 10; k++)
		msData += "\x01\x04" + Bytes(44, 37 + 2 * k);
	std::string ds64 = Chunk("ds64", Le(0, 8) + Le(tone.size(), 8) + Le(200, 8) + Le(0, 4));
	std::string rf64 = Riff(ds64 + fmt + SizedChunk("data", 0xFFFFFFFF, tone) +
	                        Chunk("LIST", "INFO" + Chunk("ICMT", std::string(300, 'x'))), "RF64");
	struct { const char *name; std::string bytes; } seeds[] = {
		{ "ima_mono.wav", Riff(FormatChunk(ima) + fact + Chunk("data", Bytes(36 * 4, 29))) },
		{ "ima_stereo.wav", Wav(ima2, Bytes(72 * 10 + 20, 31)) },
		{ "ms_stereo.wav", Riff(FormatChunk(ms) + msFact + Chunk("data", msData)) },
		{ "gsm.wav", Wav(gsm, Bytes(65 * 3 + 40, 41)) },
		{ "rifx_s16.wav", Rifx(mono, tone, 2) },
		{ "rifx_s24.wav", Rifx(PcmFormat(48000, 2, 24), IntSamples(Tone(300, 24), 3), 3) },
		{ "rifx_f32.wav", Rifx(PcmFormat(1000, 1, 32, 3), Floats(100), 4) },
		{ "w64_s16.wav", W64(PcmFormat(8000, 2, 16), IntSamples(Tone(400, 16), 2)) },
		{ "w64_ima.wav", W64(ima2, Bytes(72 * 3, 43)) },
		{ "rf64_ds64.wav", rf64 },
		{ "s16_mono.wav", s16 },
		{ "s16_stereo.wav", Wav(8000, 2, 16, IntSamples(Tone(400, 16), 2)) },
		{ "s24_mono.wav", Wav(1000, 1, 24, IntSamples(Tone(200, 24), 3)) },
		{ "s24_stereo.wav", Wav(48000, 2, 24, IntSamples(Tone(300, 24), 3)) },
		{ "f32_mono.wav", Wav(1000, 1, 32, Floats(100)) },
		{ "f32_stereo.wav", Wav(44100, 2, 32, Floats(200)) },
		{ "i32_as_float.wav", Wav(1000, 1, 32, IntSamples(Tone(100, 32), 4)) },
		{ "u8.wav", Wav(100, 1, 8, std::string(100, '\x80')) },
		{ "u8_stereo.wav", Wav(PcmFormat(1000, 2, 8), Bytes(400, 3)) },
		{ "u8_six.wav", Wav(PcmFormat(1000, 6, 8), Bytes(600, 5)) },
		{ "mulaw.wav", Wav(PcmFormat(8000, 1, 8, 7), Bytes(300, 7)) },
		{ "alaw_stereo.wav", Wav(PcmFormat(8000, 2, 8, 6), Bytes(400, 11)) },
		{ "alaw_eight.wav", Wav(PcmFormat(8000, 8, 8, 6), Bytes(800, 13)) },
		// Lines of 9600 samples, longer than a chunk of the 8-bit sums.
		{ "u8_long.wav", Wav(PcmFormat(192000, 1, 8), Bytes(10000, 17)) },
		{ "i32.wav", Wav(PcmFormat(1000, 2, 32), IntSamples(Tone(200, 32), 4)) },
		{ "i40.wav", Wav(PcmFormat(1000, 1, 40), IntSamples(Tone(100, 40), 5)) },
		{ "i64.wav", Wav(PcmFormat(1000, 1, 64), IntSamples(Tone(100, 63), 8)) },
		{ "f64.wav", Wav(PcmFormat(1000, 1, 64, 3), Doubles(100)) },
		{ "extensible.wav", Wav(extensible, Bytes(200, 9)) },
		{ "three_by_16.wav", Wav(1000, 3, 16, IntSamples(Tone(300, 16), 2)) },
		{ "four_channels.wav", Wav(1000, 4, 16, IntSamples(Tone(400, 16), 2)) },
		{ "three_by_24.wav", Wav(1000, 3, 24, IntSamples(Tone(90, 24), 3)) },
		{ "six_by_24.wav", Wav(48000, 6, 24, IntSamples(Tone(600, 24), 3)) },
		{ "u8_1024.wav", Wav(PcmFormat(8000, 1024, 8), Bytes(3072, 7)) },
		{ "padded.wav", padded },
		{ "fake_data.wav", fake },
		{ "odd_tags.wav", odd },
		{ "huge_size.wav", huge },
		{ "top_bit_rate.wav", Wav(PcmFormat(0x800003E8, 1, 16), tone) },
		{ "rate_5.wav", Wav(PcmFormat(5, 1, 16), tone) },
		{ "header_only.wav", WavHead(mono, 400) },
		{ "cut_header.wav", WavHead(mono, 400).substr(0, 30) },
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
