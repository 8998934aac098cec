// Output: labels and dots without printf's cost, and the level report.
#include "output.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// value times 100 or 1000 is exact in a double (a 24-bit mantissa times a
// factor of at most 10 bits), and printf rounds that exact value to the
// nearest integer, ties to even, as nearbyint does.  Values out of that
// path's range (never a real time label) go through printf itself; no
// float takes more than 43 characters there.
size_t
FormatFixed(char *out, float value, int places)
{
	double scaled = (double)value * (places == 2 ? 100.0 : 1000.0);
	if (!(scaled >= 0 && scaled < 1e15) || std::signbit(scaled))
		return (size_t)snprintf(out, 64, places == 2 ? "%.2f" : "%.3f",
		                        (double)value);

	uint64_t units = (uint64_t)nearbyint(scaled);
	char digits[24], *d = digits + sizeof digits;
	for (int i = 0; i < places; i++, units /= 10)
		*--d = (char)('0' + units % 10);
	*--d = '.';
	do
		*--d = (char)('0' + units % 10);
	while ((units /= 10) != 0);
	size_t n = (size_t)(digits + sizeof digits - d);
	memcpy(out, d, n);
	return n;
}

size_t
FormatInt(char *out, int32_t value)
{
	uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
	char digits[12], *d = digits + sizeof digits;
	do
		*--d = (char)('0' + magnitude % 10);
	while ((magnitude /= 10) != 0);
	if (value < 0)
		*--d = '-';
	size_t n = (size_t)(digits + sizeof digits - d);
	memcpy(out, d, n);
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

void
PutDots(int32_t count)
{
	// As large as the output buffer, so that very long rows go out in
	// whole-buffer writes.
	static char dots[1 << 16];

	if (dots[0] != '.')
		memset(dots, '.', sizeof dots);
	while (count > 0) {
		size_t n = count < (int32_t)sizeof dots ? (size_t)count : sizeof dots;
		if (fwrite_unlocked(dots, 1, n, stdout) != n)
			return;
		count -= (int32_t)n;
	}
}

// Levels are computed in double precision and printed in single.  Three
// channels or more get one level each, in file order.
void
Report(uint32_t channels, float magnification, const double *peak)
{
	float gain = 256.0f * magnification;
	float level[8];
	for (uint32_t c = 0; c < channels && c < 8; c++)
		level[c] = (float)(20.0 * log10(peak[c] / 128.0));

	printf("Showing values above %.0f dB\n", (float)(-20.0 * log10((double)gain)));
	if (channels == 1) {
		printf("Peak over interval %.1f dB\n", level[0]);
	} else if (channels == 2) {
		printf("Peaks over interval %.1f L %.1f R\n", level[0], level[1]);
	} else {
		fputs("Peaks over interval", stdout);
		for (uint32_t c = 0; c < channels && c < 8; c++)
			printf(" %.1f", level[c]);
		puts(" dB");
	}
}

void
CheckOutput(void)
{
	if (!ferror_unlocked(stdout))
		return;
	fprintf(stderr, "quorvin1b: cannot write standard output: %s\n",
	        strerror(errno));
	exit(3);
}
