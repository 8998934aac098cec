// SPDX-License-Identifier: MIT
// Files read through a decoder against their twins, end to end: each must
// print exactly what the same samples print stored plainly, from the file
// and through a pipe.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "e2e.h"
#include "wav_writer.h"

namespace {

std::string Slurp(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), {});
}

// A GSM 06.10 file of the bytes, 65 to a block.
std::string Gsm(const std::string &blocks)
{
	Format f = PcmFormat(8000, 1, 0, 0x31);
	f.blockAlign = 65;
	f.byteRate = 1625;
	f.extension = Le(2, 2) + Le(320, 2);
	return Wav(f, blocks);
}

}  // namespace

// Files sox writes in the compressed codings and the containers, each
// against its twin: sox's decoding as 16-bit PCM, trimmed to the fact
// chunk's count (sox pads the last block), or the same samples in a
// little-endian RIFF file (sox reads its own Wave64 floats wrongly: the
// twin comes from the source).  Mono, stereo and six channels; files cut
// inside a block (sox drops a GSM block cut short, of which the program
// draws the first half: its twin is the whole file's, trimmed); GSM blocks
// of all ones and all zeros; RF64 and BW64 files whose data size stands in
// their ds64 chunk, with a chunk after the audio.  Each over the whole
// file, from a start inside a block, and in lines of one frame across
// the end of a block (505 frames of IMA ADPCM, 500 of MS, 320 of GSM).
TEST(Decoded, EachPrintsItsTwin)
{
	if (Shell("command -v sox").status != 0)
		GTEST_SKIP() << "sox makes the files and their twins";
	std::string dir = Dir(), cd = "cd " + dir + " && ";
	for (int channels : { 1, 2, 6 }) {
		std::string make = "sox -n -r 8000 -c " + std::to_string(channels) +
		                   " -b 16 src" + std::to_string(channels) +
		                   ".wav synth 1.2 noise fade q 0.3 1.2 0.4 gain -3";
		ASSERT_EQ(Shell(cd + make).status, 0);
	}
	const std::string twin16 = "sox coded.wav -e signed -b 16 twin.wav";
	const std::string trimmed = twin16 + " trim 0 9600s";
	const std::string ones(65 * 8, '\xff'), zeros(65 * 8, '\0');
	std::string random;
	for (uint32_t seed = 1; random.size() < 65 * 40;)
		random += (char)((seed = seed * 1664525u + 1013904223u) >> 24);
	// One second of a tone at 8 kHz, as RF64 writes it: a ds64 chunk with
	// the true data size, a data chunk whose size says 0xFFFFFFFF, and a
	// chunk after the audio.
	std::string tone;
	for (int i = 0; i < 8000; i++)
		tone += Le((uint64_t)(int64_t)(8000 * ((i / 20) % 2 ? 1 : -1)), 2);
	const Format mono = PcmFormat(8000, 1, 16);
	std::string ds64 = Chunk("ds64", Le(0, 8) + Le(tone.size(), 8) + Le(8000, 8) + Le(0, 4));
	std::string rf64 = ds64 + FormatChunk(mono) + SizedChunk("data", 0xFFFFFFFF, tone) +
	                   Chunk("LIST", "INFO" + Chunk("ICMT", std::string(3990, 'x')));
	const Strings wholeFile = { "0", "inf" }, inBlock = { "0.3", "0.9", "7", "2" };
	const Strings imaEdge = { "0.0625", "0.064", "1", "256" };
	const Strings msEdge = { "0.062", "0.0635", "1", "256" };
	const Strings gsmEdge = { "0.0395", "0.0405", "1", "256" };
	struct {
		const char *name;
		std::string coded, make, twin;
		std::vector<Strings> args;
	} rows[] = {
		{ "IMA mono", "", "sox src1.wav -e ima-adpcm coded.wav", trimmed,
		  { wholeFile, inBlock, imaEdge } },
		{ "IMA stereo", "", "sox src2.wav -e ima-adpcm coded.wav", trimmed, { wholeFile, imaEdge } },
		{ "IMA 6 channels", "", "sox src6.wav -e ima-adpcm coded.wav", trimmed,
		  { wholeFile, inBlock } },
		{ "IMA cut", "", "sox src2.wav -e ima-adpcm all.wav && head -c -600 all.wav >coded.wav",
		  twin16, { wholeFile } },
		{ "MS mono", "", "sox src1.wav -e ms-adpcm coded.wav", trimmed,
		  { wholeFile, inBlock, msEdge } },
		{ "MS stereo", "", "sox src2.wav -e ms-adpcm coded.wav", trimmed, { wholeFile, msEdge } },
		{ "MS 6 channels", "", "sox src6.wav -e ms-adpcm coded.wav", trimmed,
		  { wholeFile, inBlock } },
		// The format lists no pairs (its count, at 40, says 0), which sox
		// refuses: the standard seven, which sox lists.
		{ "MS, standard pairs", "", "sox src1.wav -e ms-adpcm all.wav && cp all.wav coded.wav && "
		  "printf '\\0\\0' | dd of=coded.wav bs=1 seek=40 conv=notrunc status=none",
		  "sox all.wav -e signed -b 16 twin.wav trim 0 9600s", { wholeFile } },
		{ "MS cut", "", "sox src1.wav -e ms-adpcm all.wav && head -c -357 all.wav >coded.wav",
		  twin16, { wholeFile } },
		{ "GSM", "", "sox src1.wav -e gsm-full-rate coded.wav", twin16,
		  { wholeFile, inBlock, gsmEdge } },
		{ "GSM cut", "", "sox src1.wav -e gsm-full-rate all.wav && head -c -20 all.wav >coded.wav",
		  "sox all.wav -e signed -b 16 twin.wav trim 0 9440s", { wholeFile } },
		{ "GSM all ones", Gsm(ones), "", twin16, { { "0", "inf", "1", "256" } } },
		{ "GSM all zeros", Gsm(zeros), "", twin16, { { "0", "inf", "1", "256" } } },
		{ "GSM random blocks", Gsm(random), "", twin16, { { "0", "inf", "1", "8" } } },
		{ "RIFX 16-bit", "", "sox src2.wav -B coded.wav", "sox coded.wav -L twin.wav",
		  { wholeFile, inBlock } },
		{ "RIFX 24-bit", "", "sox src6.wav -b 24 -B coded.wav", "sox coded.wav -L twin.wav",
		  { wholeFile } },
		{ "RIFX float", "", "sox src2.wav -e float -B coded.wav", "sox coded.wav -L twin.wav",
		  { wholeFile, { "0", "1", "1" } } },
		{ "RIFX double", "", "sox src1.wav -e float -b 64 -B coded.wav",
		  "sox coded.wav -L twin.wav", { wholeFile } },
		{ "Wave64", "", "sox src2.wav coded.w64", "cp src2.wav twin.wav", { wholeFile, inBlock } },
		{ "Wave64 float", "", "sox src6.wav -e float coded.w64", "sox src6.wav -e float twin.wav",
		  { wholeFile } },
		{ "Wave64 IMA", "", "sox src2.wav -e ima-adpcm coded.w64",
		  "sox coded.w64 -e signed -b 16 twin.wav", { wholeFile, imaEdge } },
		{ "RF64", Riff(rf64, "RF64"), "", "", { wholeFile } },
		{ "BW64", Riff(rf64, "BW64"), "", "", { wholeFile } },
	};
	for (const auto &row : rows) {
		std::string coded = row.coded, twin = Wav(mono, tone);
		std::string codedPath = row.make.find("w64") != std::string::npos ? "coded.w64" : "coded.wav";
		if (!coded.empty()) {
			ASSERT_TRUE(WriteFile(dir + "coded.wav", coded));
		} else {
			ASSERT_EQ(Shell(cd + row.make).status, 0) << row.name;
		}
		if (!row.twin.empty()) {
			ASSERT_EQ(Shell(cd + row.twin + " 2>/dev/null").status, 0) << row.name;
			twin = Slurp(dir + "twin.wav");
		}
		coded = Slurp(dir + codedPath);
		for (const Strings &args : row.args) {
			Result got = Outcome(dir, coded, args), want = Outcome(dir, twin, args);
			EXPECT_EQ(std::make_pair(got.out, got.status), std::make_pair(want.out, want.status))
			    << row.name << ", " << args[0] << " " << args[1];
			EXPECT_EQ(want.status, 0) << row.name;
		}
	}
}
