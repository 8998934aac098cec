#include "float32.h"

#include <cmath>

double
Float32Convert(int b0, int b1, int b2, int b3)
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
