// The decoding that defines Float32Convert's results: the sample's word is
// unpacked into bits and summed against tables of powers of two, with the
// leading 1 always assumed.  It serves as the reference that the fast
// conversion is checked against, by the tests and by the exhaustive check
// in bench/.
#ifndef QUORVIN_FLOAT32_TABLES_H
#define QUORVIN_FLOAT32_TABLES_H

#include <cmath>

inline double
Float32Tables(int b0, int b1, int b2, int b3)
{
	static int initialize = 0;
	static double dpowers[23];
	static int epowers[8];
	static int fp[32];
	static double decimal;
	static int exponent;
	static int sign;

	if (!initialize) {
		initialize = 1;
		for (int k = 0; k < 23; k++)
			dpowers[k] = pow(2.0, -k);
		for (int k = 0; k < 8; k++)
			epowers[k] = (int)pow(2.0, k);
	}
	int bytes[4] = { b0, b1, b2, b3 };
	for (int k = 0; k < 32; k++)
		fp[k] = (bytes[k / 8] >> (k % 8)) & 1;

	decimal = 0;
	for (int k = 0; k <= 22; k++)
		decimal += fp[22 - k] * dpowers[k];
	exponent = 0;
	for (int k = 0; k <= 7; k++)
		exponent += fp[23 + k] * epowers[k];
	sign = fp[31] ? -1 : 1;
	return pow(2.0, exponent - 121) * ((decimal + 2) * sign);
}

#endif
