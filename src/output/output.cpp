// SPDX-License-Identifier: MIT
// Output: labels and dots without printf's cost, and the level report.
#include "output/output.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static void PutDots(int32_t count);
static bool Written(size_t wanted, size_t written);

// The error number of the first write that failed; 0 while none has.
static int failure;

// Two digits, stored one by one: the compiler joins them into one store,
// where a memcpy to a place found at run time would be a call to the
// fortified memcpy on every label.
static inline void
PutPair(char *d, const char *pair)
{
	d[0] = pair[0];
	d[1] = pair[1];
}

// value times 100 or 1000 is exact in a double (a 24-bit mantissa times a
// factor of at most 10 bits), and printf rounds that exact value to the
// nearest integer, ties to even.  So does adding and taking away 2^52 for
// values below 2^52.  Values out of that path's range (never a real time
// label) go through printf itself; no float takes more than 44 characters
// there.  The digits are written in place, last first, once their count
// is known: a label built apart and copied after would be read back
// before its bytes reach the cache, a stall on every line.
size_t
FormatFixed(char *out, float value, int places)
{
	static const char pairs[] = "00010203040506070809101112131415161718192021222324"
	                            "25262728293031323334353637383940414243444546474849"
	                            "50515253545556575859606162636465666768697071727374"
	                            "75767778798081828384858687888990919293949596979899";
	double scaled = (double)value * (places == 2 ? 100.0 : 1000.0);
	if (!(scaled >= 0 && scaled < 1e15) || std::signbit(scaled))
		return (size_t)snprintf(out, kFixedBytes, places == 2 ? "%.2f" : "%.3f",
		                        (double)value);

	uint64_t units = (uint64_t)((scaled + 0x1p52) - 0x1p52);
	size_t n = (size_t)places + 2;
	for (uint64_t whole = units / (places == 2 ? 100 : 1000); whole >= 10; whole /= 10)
		n++;
	char *d = out + n;
	if (places == 3) {
		*--d = (char)('0' + units % 10);
		units /= 10;
	}
	PutPair(d -= 2, pairs + 2 * (units % 100));
	units /= 100;
	*--d = '.';
	for (; units >= 100; units /= 100)
		PutPair(d -= 2, pairs + 2 * (units % 100));
	if (units >= 10)
		PutPair(d -= 2, pairs + 2 * units);
	else
		*--d = (char)('0' + units);
	return n;
}

// The digits are written in place, last first, once their count is known.
size_t
FormatInt(char *out, int32_t value)
{
	uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
	size_t n = value < 0 ? 2 : 1;
	for (uint32_t rest = magnitude; rest >= 10; rest /= 10)
		n++;
	char *d = out + n;
	do
		*--d = (char)('0' + magnitude % 10);
	while ((magnitude /= 10) != 0);
	if (value < 0)
		*--d = '-';
	return n;
}

// The dots are counted by a signed 32-bit counter; a value it cannot pass
// prints as many dots as it can count.
int32_t
DotCount(double dots)
{
	if (!(dots >= 1))
		return 0;
	if (dots >= INT32_MAX)
		return INT32_MAX;
	return (int32_t)dots;
}

// Lines are gathered here and leave in large writes.  Whatever else is
// printed after them flushes them first.  A label is written where its
// line goes; dots are copied in whole pieces of kPiece bytes, which may
// run past the line by less than a piece, into the slack at the end.
enum { kLineBytes = 1 << 16 };
static char lines[kLineBytes + kPiece];
static size_t used;

char *
LineLabel(void)
{
	if (used + kLabelBytes > kLineBytes)
		FlushLines();
	return lines + used;
}

int
PutLine(const char *labelEnd, int32_t dots)
{
	static const char row[kPiece + 1] = "................................";
	size_t length = (size_t)(labelEnd - (lines + used)), count = (size_t)dots;

	// Rows too long for the buffer go out a buffer's worth of dots at a
	// time, after the lines before them and the label.
	if (count > kLineBytes / 2) {
		size_t held = used + length;
		used = 0;
		if (Written(held, fwrite_unlocked(lines, 1, held, stdout)))
			PutDots(dots);
		putc_unlocked('\n', stdout);
		return Written(1, ferror_unlocked(stdout) ? 0 : 1) ? '\n' : EOF;
	}
	if (used + length + count + 1 > kLineBytes) {
		bool written = Written(used, fwrite_unlocked(lines, 1, used, stdout));
		memmove(lines, lines + used, length);
		used = 0;
		if (!written)
			return EOF;
	}
	// The bounds were checked just above: the pieces are copied by the
	// compiler's own memcpy, not the fortified one, whose check of each
	// piece at run time is a call that made short lines a quarter slower.
	char *out = lines + used + length;
	for (size_t k = 0; k < count; k += kPiece)
		__builtin_memcpy(out + k, row, kPiece);
	out[count] = '\n';
	used += length + count + 1;
	return failure == 0 ? '\n' : EOF;
}

bool
FlushLines(void)
{
	size_t held = used;
	used = 0;
	return Written(held, fwrite_unlocked(lines, 1, held, stdout));
}

bool
PushOutput(void)
{
	return FlushLines() && Written(1, fflush(stdout) == 0 ? 1 : 0);
}

// Whether standard output took what was written, and has taken everything
// before; the first failure is remembered.
static bool
Written(size_t wanted, size_t written)
{
	if (failure == 0 && (written != wanted || ferror_unlocked(stdout)))
		failure = errno != 0 ? errno : EIO;
	return failure == 0;
}

static void
PutDots(int32_t count)
{
	while (count > 0) {
		size_t n = count < kLineBytes ? (size_t)count : (size_t)kLineBytes;
		memset(lines, '.', n);
		if (!Written(n, fwrite_unlocked(lines, 1, n, stdout)))
			return;
		count -= (int32_t)n;
	}
}

// Levels are computed in double precision and printed in single.
static float
Level(double peak)
{
	return (float)(20.0 * log10(peak / 128.0));
}

// Three channels or more get one level each, in file order.
void
Report(uint32_t channels, float magnification, const double *peak)
{
	FlushLines();
	float gain = 256.0f * magnification;
	printf("Showing values above %.0f dB\n", (float)(-20.0 * log10((double)gain)));
	if (channels == 1) {
		printf("Peak over interval %.1f dB\n", Level(peak[0]));
	} else if (channels == 2) {
		printf("Peaks over interval %.1f L %.1f R\n", Level(peak[0]), Level(peak[1]));
	} else {
		fputs("Peaks over interval", stdout);
		for (uint32_t c = 0; c < channels; c++)
			printf(" %.1f", Level(peak[c]));
		puts(" dB");
	}
}

int
EndOutput(void)
{
	if (FlushLines())
		Written(1, fflush(stdout) == 0 ? 1 : 0);
	return failure;
}
