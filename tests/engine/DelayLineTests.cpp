#include "AllocationCounter.h"
#include "engine/Allpass.h"
#include "engine/DelayLine.h"
#include "engine/OnePole.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace
{
DelayLine preparedLine (int n)
{
    DelayLine line;
    line.prepare (n);
    return line;
}

// Fills the line with a ramp of distinct values so that a clamped read is told apart.
void fillDistinct (DelayLine& line)
{
    for (int i = 0; i < line.getSize() + 3; ++i)
        line.write (std::sin (static_cast<float> (i) * 0.7f) + static_cast<float> (i) * 0.01f);
}

// Writes `offset` zeros, then 1.0, then k - 1 zeros: the impulse now lies k writes back.
DelayLine lineWithImpulseAt (int size, int k, int offset)
{
    auto line = preparedLine (size);
    for (int i = 0; i < offset; ++i)
        line.write (0.0f);
    line.write (1.0f);
    for (int i = 0; i < k - 1; ++i)
        line.write (0.0f);
    return line;
}
}

TEST (DelayLine, PrepareRoundsUpToAPowerOfTwo)
{
    struct Case
    {
        int n;
        int size;
    };
    for (auto c :
         { Case{ 0, 4 }, Case{ -5, 4 }, Case{ 1, 4 }, Case{ 4, 4 }, Case{ 5, 8 }, Case{ 8, 8 }, Case{ 14246, 16384 },
           Case{ 16384, 16384 }, Case{ 16385, 32768 }, Case{ std::numeric_limits<int>::min(), 4 } })
    {
        DelayLine line;
        line.prepare (c.n);
        EXPECT_EQ (line.getSize(), c.size) << c.n;
        EXPECT_EQ (line.getMask(), c.size - 1) << c.n;
        EXPECT_EQ (line.getWriteIndex(), 0) << c.n;
    }
}

TEST (DelayLine, ConstructedLineIsUnprepared)
{
    DelayLine line;
    EXPECT_FALSE (line.isPrepared());
    EXPECT_EQ (line.getSize(), 0);
    EXPECT_EQ (line.getMask(), 0);
    EXPECT_EQ (line.getWriteIndex(), 0);
}

TEST (DelayLine, SmallerPrepareReusesStorageAndLargerGrowsIt)
{
    DelayLine line;
    line.prepare (16384);
    fillDistinct (line);
    const auto capacity = line.getCapacity();

    {
        AllocationScope allocations;
        line.prepare (8);
        EXPECT_EQ (allocations.count(), 0);
    }
    EXPECT_EQ (line.getSize(), 8);
    EXPECT_EQ (line.getMask(), 7);
    EXPECT_EQ (line.getCapacity(), capacity);
    EXPECT_TRUE (line.readCubic (3.0f) == 0.0f && line.readCubic (5.0f) == 0.0f);

    {
        AllocationScope allocations;
        line.prepare (16000); // back within the old capacity
        EXPECT_EQ (allocations.count(), 0);
    }
    EXPECT_EQ (line.getSize(), 16384);

    line.prepare (40000);
    EXPECT_EQ (line.getSize(), 65536);
    EXPECT_GE (line.getCapacity(), 65536u);
}

TEST (DelayLine, SilentAfterPrepareAndAfterClearSamples)
{
    for (int n : { 4, 8, 100, 4096 })
    {
        auto line = preparedLine (n);
        for (int pass = 0; pass < 2; ++pass)
        {
            fillDistinct (line);
            line.write (1.0f);
            if (pass == 0)
                line.clearSamples();
            else
                line.prepare (n);

            EXPECT_EQ (line.getWriteIndex(), 0);
            EXPECT_EQ (line.getSize(), preparedLine (n).getSize());
            for (float d = 0.0f; d <= static_cast<float> (line.getSize()) + 1.0f; d += 0.25f)
                ASSERT_EQ (line.readCubic (d), 0.0f) << "n " << n << " pass " << pass << " delay " << d;
        }
    }
}

TEST (DelayLine, IntegerDelayReturnsTheImpulseExactly)
{
    // The offsets move the impulse across the wrap of the ring.
    for (int size : { 8, 16, 64 })
        for (int offset : { 0, 3, size - 1, 5 * size + 2 })
            for (int k = 2; k <= size - 3; ++k)
            {
                const auto line = lineWithImpulseAt (size, k, offset);
                for (int j = 2; j <= size - 3; ++j)
                    ASSERT_EQ (line.readCubic (static_cast<float> (j)), j == k ? 1.0f : 0.0f)
                        << "size " << size << " offset " << offset << " impulse " << k << " read " << j;
            }
}

TEST (DelayLine, HalfSampleDelayNextToTheImpulseReturnsNineSixteenths)
{
    for (int size : { 8, 16, 64 })
        for (int offset : { 0, 1, size - 2 })
            for (int k = 3; k <= size - 4; ++k)
            {
                const auto line = lineWithImpulseAt (size, k, offset);
                EXPECT_EQ (line.readCubic (static_cast<float> (k) + 0.5f), 0.5625f) << size << " " << k;
                EXPECT_EQ (line.readCubic (static_cast<float> (k) - 0.5f), 0.5625f) << size << " " << k;
            }
}

TEST (DelayLine, ReadsOutsideTheLineAreClampedToBothEnds)
{
    // A 4-sample line is left out: its upper clamp, size - 3 = 1, lies below the lower clamp of 2.
    for (int size : { 8, 16, 1024 })
    {
        auto line = preparedLine (size);
        fillDistinct (line);
        const auto s = static_cast<float> (size);

        const float low = line.readCubic (2.0f);
        for (float d : { 0.5f, 1.0f, 1.999f, 0.0f, -7.0f, -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN() })
            EXPECT_EQ (line.readCubic (d), low) << "size " << size << " delay " << d;

        const float high = line.readCubic (s - 3.0f);
        for (float d : { s, s - 2.5f, s + 100.0f, 1.0e9f, std::numeric_limits<float>::infinity() })
            EXPECT_EQ (line.readCubic (d), high) << "size " << size << " delay " << d;

        EXPECT_NE (low, high);
        EXPECT_NE (line.readCubic (2.5f), low); // the clamp is not wider than it should be
    }
}

TEST (DelayLine, PrepareAboveTheLargestSizeIsClamped)
{
    // The largest line is 2^30 floats (4 GiB); only run where that fits comfortably.
    long availableKiB = 0;
    std::ifstream meminfo ("/proc/meminfo");
    for (std::string key; meminfo >> key;)
    {
        if (key == "MemAvailable:")
        {
            meminfo >> availableKiB;
            break;
        }
        meminfo.ignore (std::numeric_limits<std::streamsize>::max(), '\n');
    }
    if (availableKiB < 10L * 1024 * 1024)
        GTEST_SKIP() << "needs 10 GiB of free memory, has " << availableKiB / 1024 << " MiB";

    DelayLine line;
    line.prepare (std::numeric_limits<int>::max());
    EXPECT_EQ (line.getSize(), DelayLine::maxSize);
    EXPECT_EQ (line.getMask(), DelayLine::maxSize - 1);

    line.write (1.0f);
    for (int i = 0; i < 9; ++i)
        line.write (0.0f);
    EXPECT_EQ (line.readCubic (10.0f), 1.0f);
    EXPECT_TRUE (std::isfinite (line.readCubic (1.0e12f)));
}

TEST (Allpass, ImpulseResponseFollowsTheDelayedGeometricSeries)
{
    for (int delay : { 2, 3, 7, 100 })
        for (int extra : { 4, 300 })
        {
            Allpass stage;
            stage.gain = 0.5f;
            stage.delaySamples = static_cast<float> (delay);
            stage.line.prepare (delay + extra);

            for (int n = 0; n <= 6 * delay + 3; ++n)
            {
                const float y = stage.processSample (n == 0 ? 1.0f : 0.0f);
                float expected = 0.0f;
                if (n == 0)
                    expected = -0.5f;
                else if (n % delay == 0)
                    expected = 0.75f * std::pow (0.5f, static_cast<float> (n / delay - 1));
                ASSERT_EQ (y, expected) << "delay " << delay << " sample " << n;
            }
        }
}

TEST (Allpass, ConstructedStageDefaults)
{
    Allpass stage;
    EXPECT_EQ (stage.delaySamples, 1.0f);
    EXPECT_EQ (stage.gain, 0.5f);
    EXPECT_FALSE (stage.line.isPrepared());
}

TEST (OnePole, CutoffIsHeldBetweenTenHertzAndJustBelowNyquist)
{
    const auto coefAt48k = [] (float hz)
    {
        OnePole f;
        f.setCutoff (hz, 48000.0);
        return f.coef;
    };
    struct Case
    {
        float askedHz;
        float actsAsHz;
    };
    for (auto c :
         { Case{ 5.0f, 10.0f }, Case{ -100.0f, 10.0f }, Case{ 0.0f, 10.0f }, Case{ 30000.0f, 0.49f * 48000.0f },
           Case{ 1.0e9f, 0.49f * 48000.0f }, Case{ std::numeric_limits<float>::infinity(), 0.49f * 48000.0f } })
        EXPECT_EQ (coefAt48k (c.askedHz), coefAt48k (c.actsAsHz)) << c.askedHz;

    EXPECT_NEAR (coefAt48k (1000.0f), 1.0 - std::exp (-2.0 * 3.141592653589793 * 1000.0 / 48000.0), 1.0e-6);
    EXPECT_NEAR (coefAt48k (1000.0f), 0.123, 0.0005);
    EXPECT_EQ (coefAt48k (1000.0f), 1.0f - std::exp (1000.0f * (-6.2831855f) / 48000.0f));

    const float nanCoef = coefAt48k (std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE (nanCoef > 0.0f && nanCoef < 1.0f) << nanCoef;
}

TEST (OnePole, ConvergesToAConstantAndItsHighPassDecaysToZero)
{
    for (float hz : { 10.0f, 100.0f, 3000.0f, 20000.0f })
    {
        OnePole f;
        EXPECT_EQ (f.coef, 0.5f);
        EXPECT_EQ (f.z1, 0.0f);
        f.setCutoff (hz, 48000.0);

        const float x = 0.7f;
        float previous = 0.0f;
        float y = 0.0f;
        for (int n = 0; n < 48000 * 2; ++n)
        {
            y = f.processSample (x);
            ASSERT_GE (y, previous) << hz; // rises without overshoot
            ASSERT_LE (y, x) << hz;
            previous = y;
        }
        // The step (x - z1) * coef vanishes in rounding once it is below half a unit in the last
        // place of z1, so a low cutoff settles a little short of the constant.
        const float settle = 3.0e-8f / f.coef + 1.0e-7f;
        EXPECT_NEAR (y, x, settle) << hz;
        EXPECT_NEAR (x - y, 0.0f, settle) << hz;
        EXPECT_EQ (f.z1, y);
    }
}
