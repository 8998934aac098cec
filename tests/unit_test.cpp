// SPDX-License-Identifier: MIT
// The small functions and their arithmetic corners, where the end-to-end
// tests would need many runs to reach them.
#include <gtest/gtest.h>

#include <cmath>

#include "output/output.h"

// Dots values no file of the end-to-end tests reaches: the counter's end.
TEST(DotCount, BoundedByTheCounter)
{
	EXPECT_EQ(DotCount(2147483646.5), 2147483646);
	EXPECT_EQ(DotCount(2147483647.0), INT32_MAX);
	EXPECT_EQ(DotCount(INFINITY), INT32_MAX);
}
