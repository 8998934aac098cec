// Decoding of 32-bit floating-point samples: the bytes are assembled into
// the sample's word, which Float32Word decodes.
#include "float32.h"

double
Float32Convert(int b0, int b1, int b2, int b3)
{
	return Float32Word((uint32_t)(b0 & 0xFF) | (uint32_t)(b1 & 0xFF) << 8 |
	                   (uint32_t)(b2 & 0xFF) << 16 | (uint32_t)(b3 & 0xFF) << 24);
}
