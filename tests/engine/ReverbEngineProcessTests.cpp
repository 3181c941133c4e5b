#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace enginetest;

namespace
{

EngineParameters withMix (float mix)
{
    EngineParameters p;
    p.mix = mix;
    return p;
}

constexpr int foil = 0, chamber = 1, hall = 2, gate = 6;
}

TEST (ReverbEngineProcess, EmptyBuffersChangeNothing)
{
    auto e = engineAt (48000.0, hall);
    juce::AudioBuffer<float> noise (2, 4800);
    fillNoise (noise, 0.5f);
    e.process (noise);
    e.params.mix = 0.9f;
    e.updateCoefficients();
    juce::AudioBuffer<float> part (2, 100);
    fillNoise (part, 0.5f, 3u);
    e.process (part); // mix ramp now in progress

    const auto voicing = voicingOf (e);
    const auto state = soundStateOf (e);
    const int mixStepsLeft = stepsLeft (e.mixSmoother);
    const float held = e.fdnLines[0].readCubic (333.0f);
    ASSERT_GT (mixStepsLeft, 0);

    struct Shape
    {
        int channels;
        int samples;
    };
    for (auto shape : { Shape{ 0, 512 }, Shape{ 2, 0 }, Shape{ 1, 0 }, Shape{ 0, 0 }, Shape{ 4, 0 } })
    {
        juce::AudioBuffer<float> empty (shape.channels, shape.samples);
        empty.clear();
        e.process (empty);
        EXPECT_EQ (empty.getNumChannels(), shape.channels);
        EXPECT_EQ (empty.getNumSamples(), shape.samples);
    }
    EXPECT_EQ (voicingOf (e), voicing);
    EXPECT_EQ (soundStateOf (e), state);
    EXPECT_EQ (stepsLeft (e.mixSmoother), mixStepsLeft);
    EXPECT_EQ (e.fdnLines[0].readCubic (333.0f), held);
}

TEST (ReverbEngineProcess, MonoBufferIsTheLeftOfAStereoPairWithEqualChannels)
{
    for (int character : { foil, hall, 5, gate })
    {
        auto mono = engineAt (48000.0, character, withMix (0.6f));
        auto stereo = engineAt (48000.0, character, withMix (0.6f));
        juce::AudioBuffer<float> m (1, 9600);
        fillNoise (m, 0.5f);
        juce::AudioBuffer<float> s (2, 9600);
        s.copyFrom (0, 0, m, 0, 0, 9600);
        s.copyFrom (1, 0, m, 0, 0, 9600);

        mono.process (m);
        stereo.process (s);
        for (int n = 0; n < 9600; ++n)
            ASSERT_EQ (m.getSample (0, n), s.getSample (0, n)) << character << " sample " << n;
        EXPECT_EQ (soundStateOf (mono), soundStateOf (stereo));
    }
}

TEST (ReverbEngineProcess, ChannelsBeyondTheSecondKeepTheirInput)
{
    auto wide = engineAt (48000.0, hall, withMix (0.5f));
    auto pair = engineAt (48000.0, hall, withMix (0.5f));
    juce::AudioBuffer<float> four (4, 4800);
    fillNoise (four, 0.5f);
    const juce::AudioBuffer<float> input (four);
    juce::AudioBuffer<float> two (2, 4800);
    two.copyFrom (0, 0, input, 0, 0, 4800);
    two.copyFrom (1, 0, input, 1, 0, 4800);

    wide.process (four);
    pair.process (two);
    for (int n = 0; n < 4800; ++n)
    {
        ASSERT_EQ (four.getSample (0, n), two.getSample (0, n)) << n;
        ASSERT_EQ (four.getSample (1, n), two.getSample (1, n)) << n;
        ASSERT_EQ (four.getSample (2, n), input.getSample (2, n)) << n;
        ASSERT_EQ (four.getSample (3, n), input.getSample (3, n)) << n;
    }
}

TEST (ReverbEngineProcess, BlockLengthDoesNotChangeTheSound)
{
    auto whole = engineAt (44100.0, chamber, withMix (0.7f));
    auto pieces = engineAt (44100.0, chamber, withMix (0.7f));
    juce::AudioBuffer<float> a (2, 9000);
    fillNoise (a, 0.5f);
    juce::AudioBuffer<float> b (a);

    whole.process (a);
    int start = 0;
    for (int length : { 1, 7, 64, 1000, 5000, 2928 })
    {
        juce::AudioBuffer<float> view (b.getArrayOfWritePointers(), 2, start, length);
        pieces.process (view);
        start += length;
    }
    ASSERT_EQ (start, 9000);
    EXPECT_TRUE (sameSamples (a, b));
}

TEST (ReverbEngineProcess, PreDelayZeroDelaysTheHighPassedInputByOneSample)
{
    EngineParameters p;
    p.predelay = 0.0f;
    auto e = engineAt (48000.0, hall, p);
    juce::AudioBuffer<float> block (2, 10);
    block.clear();
    block.setSample (0, 0, 1.0f);
    block.setSample (1, 0, 0.5f); // mono sum x = 0.75
    e.process (block);

    // The early line holds p, one write per sample: p[n] lies 10 - n writes back.
    const float c = e.inputHighpass.coef;
    const float z0 = (0.75f - 0.0f) * c + 0.0f;      // high-pass memory after the impulse
    const float h0 = 0.75f - z0;                     // high-passed impulse
    const float h1 = 0.0f - ((0.0f - z0) * c + z0);  // the sample after it, x = 0
    EXPECT_EQ (e.earlyLine.readCubic (10.0f), 0.0f); // p[0]
    EXPECT_EQ (e.earlyLine.readCubic (9.0f), h0);    // p[1] = h[0]
    EXPECT_EQ (e.earlyLine.readCubic (8.0f), h1);    // p[2] = h[1]
}

TEST (ReverbEngineProcess, PreDelayIsLimitedToAQuarterSecond)
{
    struct Case
    {
        float ms;
        int delaySamples;
    };
    for (auto c :
         { Case{ 0.0f, 1 }, Case{ 0.01f, 1 }, Case{ -50.0f, 1 }, Case{ std::numeric_limits<float>::quiet_NaN(), 1 },
           Case{ 10.0f, 479 }, Case{ 250.0f, 11999 }, Case{ 300.0f, 11999 }, Case{ 1.0e6f, 11999 } })
    {
        EngineParameters p;
        p.predelay = c.ms;
        auto e = engineAt (48000.0, hall, p);
        const int length = c.delaySamples + 20;
        juce::AudioBuffer<float> block (2, length);
        block.clear();
        block.setSample (0, 0, 1.0f);
        block.setSample (1, 0, 1.0f);
        e.process (block);

        int loudest = 0;
        float peak = 0.0f;
        for (int back = 2; back <= length; ++back)
        {
            const float v = std::abs (e.earlyLine.readCubic (static_cast<float> (back)));
            if (v > peak)
            {
                peak = v;
                loudest = back;
            }
        }
        EXPECT_EQ (length - loudest, c.delaySamples) << c.ms << " ms";
        EXPECT_GT (peak, 0.9f) << c.ms << " ms";
    }
}

TEST (ReverbEngineProcess, MixZeroReturnsTheInputExactlyWhileTheTailBuilds)
{
    auto e = engineAt (48000.0, hall);
    e.params.mix = 0.0f;
    e.updateCoefficients();
    juce::AudioBuffer<float> ramp (2, 960);
    fillNoise (ramp, 0.5f, 1u);
    e.process (ramp);
    ASSERT_FALSE (e.mixSmoother.isSmoothing());

    juce::AudioBuffer<float> block (2, 4800);
    fillNoise (block, 0.5f, 2u);
    const juce::AudioBuffer<float> input (block);
    e.process (block);
    EXPECT_TRUE (sameSamples (block, input));
    EXPECT_FALSE (allLinesSilent (e));
    EXPECT_NE (e.outputLowpassL.z1, 0.0f);
}

TEST (ReverbEngineProcess, WidthScalesTheSideOfTheWetSignal)
{
    for (float width : { 0.0f, 0.5f, 1.0f })
    {
        EngineParameters p;
        p.mix = 1.0f;
        p.width = width;
        auto e = engineAt (48000.0, hall, p);
        juce::AudioBuffer<float> input (2, 6000);
        fillNoise (input, 0.5f);

        double sideEnergy = 0.0;
        for (int n = 0; n < input.getNumSamples(); ++n)
        {
            // One sample per call, so the wet signal can be read from the output low-pass memories.
            juce::AudioBuffer<float> one (2, 1);
            one.setSample (0, 0, input.getSample (0, n));
            one.setSample (1, 0, input.getSample (1, n));
            e.process (one);
            const float wetL = e.outputLowpassL.z1;
            const float wetR = e.outputLowpassR.z1;
            const float left = one.getSample (0, 0);
            const float right = one.getSample (1, 0);
            const float tolerance = 2.0e-7f * (std::abs (wetL) + std::abs (wetR)) + 1.0e-30f;

            if (width == 0.0f)
            {
                ASSERT_EQ (left, right) << n;
            }
            ASSERT_NEAR (left, (wetL + wetR) * 0.5f + (wetL - wetR) * 0.5f * width, tolerance) << width << " " << n;
            ASSERT_NEAR (right, (wetL + wetR) * 0.5f - (wetL - wetR) * 0.5f * width, tolerance) << width << " " << n;
            if (width == 1.0f)
            {
                ASSERT_NEAR (left, wetL, tolerance) << n;
                ASSERT_NEAR (right, wetR, tolerance) << n;
            }
            sideEnergy += static_cast<double> (left - right) * (left - right);
        }
        if (width > 0.0f)
        {
            EXPECT_GT (sideEnergy, 1.0e-3) << width;
        }
    }
}

TEST (ReverbEngineProcess, WetSumsTapTheLinesWithAlternatingSigns)
{
    // Sample by sample the line outputs o[k] are the damping memories, the early sums the early
    // low-pass memories, and the output low-passes must step on the sums formed from them.
    for (int character : { foil, chamber })
    {
        auto e = engineAt (48000.0, character, withMix (1.0f));
        juce::AudioBuffer<float> input (2, 4000);
        fillNoise (input, 0.5f);
        for (int n = 0; n < input.getNumSamples(); ++n)
        {
            const float lastL = e.outputLowpassL.z1;
            const float lastR = e.outputLowpassR.z1;
            juce::AudioBuffer<float> one (2, 1);
            one.setSample (0, 0, input.getSample (0, n));
            one.setSample (1, 0, input.getSample (1, n));
            e.process (one);

            const auto& o = e.fdnDamping;
            const float level = e.currentCharacter.earlyLevel;
            const float wL = (o[0].z1 + o[2].z1 - o[4].z1 - o[6].z1) * 0.35f + level * e.earlyLowpassL.z1;
            const float wR = (o[1].z1 - o[3].z1 + o[5].z1 - o[7].z1) * 0.35f + level * e.earlyLowpassR.z1;
            const float c = e.outputLowpassL.coef;
            const float tolerance = 1.0e-6f * (std::abs (wL) + std::abs (wR) + std::abs (lastL) + std::abs (lastR));
            ASSERT_NEAR (e.outputLowpassL.z1, lastL + (wL - lastL) * c, tolerance) << character << " " << n;
            ASSERT_NEAR (e.outputLowpassR.z1, lastR + (wR - lastR) * c, tolerance) << character << " " << n;
        }
    }
}

TEST (ReverbEngineProcess, NonFiniteSampleSilencesTheBlockAndResetsTheEngine)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : { nan, inf, -inf })
        for (float mix : { 0.0f, 0.35f, 1.0f })
            for (int channel : { 0, 1 })
            {
                SCOPED_TRACE (testing::Message() << "value " << bad << " mix " << mix << " channel " << channel);
                auto e = engineAt (48000.0, gate, withMix (mix));
                juce::AudioBuffer<float> noise (2, 2400);
                fillNoise (noise, 0.5f);
                e.process (noise);
                ASSERT_NE (e.gateGain, 0.0f);
                const auto voicing = voicingOf (e);

                juce::AudioBuffer<float> block (2, 512);
                fillNoise (block, 0.5f, 5u);
                block.setSample (channel, 100, bad);
                e.process (block);

                for (int ch = 0; ch < 2; ++ch)
                    for (int n = 0; n < 512; ++n)
                        ASSERT_EQ (block.getSample (ch, n), 0.0f) << ch << " " << n;

                const auto fresh = engineAt (48000.0, gate, withMix (mix));
                EXPECT_EQ (soundStateOf (e), soundStateOf (fresh));
                EXPECT_TRUE (allLinesSilent (e));
                EXPECT_EQ (voicingOf (e), voicing);

                juce::AudioBuffer<float> silence (2, 256);
                silence.clear();
                e.process (silence);
                for (int n = 0; n < 256; ++n)
                    ASSERT_EQ (silence.getSample (0, n), 0.0f);
            }
}

TEST (ReverbEngineProcess, OverflowInsideTheNetworkIsSilencedOnceItReachesTheOutput)
{
    // Finite input whose mono sum overflows: the dry output of that block stays finite, so the
    // block passes; the infinity travels through the pre-delay and the guard fires when it
    // comes out of the wet path.
    auto e = engineAt (48000.0, hall, withMix (0.35f));
    juce::AudioBuffer<float> block (2, 512);
    block.clear();
    block.setSample (0, 100, 3.0e38f);
    block.setSample (1, 100, 3.0e38f);
    e.process (block);
    for (int n = 0; n < 512; ++n)
        ASSERT_TRUE (std::isfinite (block.getSample (0, n)) && std::isfinite (block.getSample (1, n)));

    int silencedBlocks = 0;
    for (int b = 1; b <= 4; ++b)
    {
        fillNoise (block, 0.5f, static_cast<std::uint32_t> (b));
        e.process (block);
        bool allZero = true;
        for (int n = 0; n < 512; ++n)
        {
            ASSERT_TRUE (std::isfinite (block.getSample (0, n)) && std::isfinite (block.getSample (1, n)));
            allZero = allZero && block.getSample (0, n) == 0.0f && block.getSample (1, n) == 0.0f;
        }
        if (allZero)
        {
            ++silencedBlocks;
            // Pre-delay 20 ms: the infinity leaves it 959 samples after sample 100, in block 2.
            EXPECT_EQ (b, 2);
        }
    }
    EXPECT_EQ (silencedBlocks, 1);
    EXPECT_TRUE (std::isfinite (e.inputHighpass.z1));
    EXPECT_TRUE (std::isfinite (e.gateEnvelope));
}

TEST (ReverbEngineProcess, GuardScansChannelsBeyondTheSecond)
{
    auto e = engineAt (48000.0, hall);
    juce::AudioBuffer<float> block (3, 512);
    fillNoise (block, 0.5f);
    block.setSample (2, 511, std::numeric_limits<float>::quiet_NaN());
    e.process (block);
    for (int ch = 0; ch < 3; ++ch)
        for (int n = 0; n < 512; ++n)
            ASSERT_EQ (block.getSample (ch, n), 0.0f) << ch << " " << n;
    EXPECT_TRUE (allLinesSilent (e));
}

TEST (ReverbEngineProcess, GateStaysSilentUntilTheEnvelopePassesItsThreshold)
{
    auto e = engineAt (48000.0, gate, withMix (1.0f));
    const auto processOne = [&e] (float x)
    {
        juce::AudioBuffer<float> one (2, 1);
        one.setSample (0, 0, x);
        one.setSample (1, 0, x);
        e.process (one);
        return one.getSample (0, 0);
    };

    // Silence, then a level whose envelope settles below 0.015: the wet signal stays shut.
    for (int n = 0; n < 4800; ++n)
        ASSERT_EQ (processOne (0.0f), 0.0f);
    for (int n = 0; n < 48000; ++n)
    {
        ASSERT_EQ (processOne (0.012f), 0.0f) << n;
        ASSERT_EQ (e.gateGain, 0.0f) << n;
    }
    ASSERT_FALSE (allLinesSilent (e)); // the network itself runs

    // A louder input opens the gate at the first sample where the envelope passes 0.015.
    int opened = -1;
    for (int n = 0; n < 100 && opened < 0; ++n)
    {
        processOne (0.05f);
        if (e.gateEnvelope > 0.015f)
            opened = n;
        else
            ASSERT_EQ (e.gateGain, 0.0f) << n;
    }
    ASSERT_GE (opened, 0);
    EXPECT_NEAR (e.gateGain, 0.08f, 1.0e-7f);
    for (int n = 0; n < 4800; ++n)
        processOne (0.05f);
    EXPECT_GT (e.gateGain, 0.999f);

    // After the input stops: hold while the envelope falls, 10560.001 samples more, then release.
    int lastAbove = 0;
    int n = 0;
    float previous = e.gateGain;
    for (;; ++n)
    {
        processOne (0.0f);
        if (e.gateEnvelope > 0.015f)
            lastAbove = n;
        if (e.gateGain < previous)
            break;
        previous = e.gateGain;
        ASSERT_LT (n, 48000);
    }
    EXPECT_EQ (n - lastAbove, 10561);
    EXPECT_EQ (e.gateGain, previous * e.gateReleaseCoef);
}

TEST (ReverbEngineProcess, FoilEarlySumsAreSilent)
{
    auto e = engineAt (48000.0, chamber, withMix (1.0f));
    juce::AudioBuffer<float> noise (2, 4800);
    fillNoise (noise, 0.5f);
    e.process (noise);
    ASSERT_NE (e.earlyLowpassL.z1, 0.0f);

    e.setCharacter (foil);
    const float before = std::abs (e.earlyLowpassL.z1);
    e.process (noise);
    EXPECT_LT (std::abs (e.earlyLowpassL.z1), before * 1.0e-6f);
    EXPECT_LT (std::abs (e.earlyLowpassR.z1), before * 1.0e-6f);
}

TEST (ReverbEngineProcess, ExtremeSettingsStayFiniteAndBounded)
{
    EngineParameters longest{ 1.0f, 2.0f, 20.0f, 250.0f, 0.0f, 1.0f, 1.0f, 20.0f, 20000.0f };
    EngineParameters beyond{ 1.0f, 50.0f, 1.0e6f, 1.0e6f, -3.0f, 40.0f, 1.0f, 1.0f, 1.0e6f };
    for (const auto& p : { longest, beyond })
        for (int character = 0; character < numCharacters; ++character)
        {
            auto e = engineAt (48000.0, character, p);
            juce::AudioBuffer<float> block (2, 48000);
            fillNoise (block, 1.0f);
            for (int pass = 0; pass < 2; ++pass) // a second of noise, then a second of tail
            {
                e.process (block);
                const float peak = block.getMagnitude (0, block.getNumSamples());
                EXPECT_TRUE (std::isfinite (peak));
                EXPECT_LT (peak, 50.0f) << character;
                block.clear();
            }
        }
}
