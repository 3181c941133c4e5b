#include "engine/DelayLine.h"

#include <gtest/gtest.h>

TEST (DelayLine, PrepareRoundsUpToAPowerOfTwo)
{
    struct Case { int n; int size; };
    for (auto c : { Case { 0, 4 }, Case { -5, 4 }, Case { 1, 4 }, Case { 4, 4 }, Case { 5, 8 }, Case { 8, 8 }, Case { 14246, 16384 }, Case { 16385, 32768 } })
    {
        DelayLine line;
        line.prepare (c.n);
        EXPECT_EQ (line.getSize(), c.size) << c.n;
        EXPECT_EQ (line.getMask(), c.size - 1) << c.n;
    }
}
