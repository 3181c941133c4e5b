#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace enginetest;

TEST (ReverbEngineLifecycle, LineSizesAndRampLengthAtCommonRates)
{
    struct Case
    {
        double rate;
        int fdnAsked, fdnSize, preAsked, preSize, earlyAsked, earlySize;
        std::array<int, 8> diffuser, coil;
        int smootherSteps;
    };
    const Case cases[] = {
        { 8000.0,
          2584,
          4096,
          2400,
          4096,
          1600,
          2048,
          { 38, 58, 89, 126, 154, 190, 233, 277 },
          { 6, 7, 10, 11, 13, 15, 17, 19 },
          160 },
        { 44100.0,
          14246,
          16384,
          13230,
          16384,
          8820,
          16384,
          { 210, 322, 491, 694, 852, 1049, 1286, 1526 },
          { 31, 41, 52, 60, 72, 82, 93, 103 },
          882 },
        { 48000.0,
          15506,
          16384,
          14400,
          16384,
          9600,
          16384,
          { 229, 351, 534, 755, 927, 1142, 1400, 1661 },
          { 34, 45, 57, 66, 78, 90, 101, 112 },
          960 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.rate);
        EXPECT_EQ (ReverbEngine::msToSamples (323.038f, c.rate), c.fdnAsked);
        EXPECT_EQ (ReverbEngine::msToSamples (300.0f, c.rate), c.preAsked);
        EXPECT_EQ (ReverbEngine::msToSamples (200.0f, c.rate), c.earlyAsked);

        ReverbEngine e;
        e.prepare (c.rate);
        EXPECT_EQ (e.sampleRate, c.rate);
        for (const auto& line : e.fdnLines)
            EXPECT_EQ (line.getSize(), c.fdnSize);
        EXPECT_EQ (e.preDelayLine.getSize(), c.preSize);
        EXPECT_EQ (e.earlyLine.getSize(), c.earlySize);

        for (std::size_t k = 0; k < 8; ++k)
        {
            EXPECT_EQ (e.diffuserStages[k].delaySamples, static_cast<float> (c.diffuser[k])) << k;
            EXPECT_EQ (e.diffuserStages[k].line.getSize(), nextPowerOfTwoAtLeast (c.diffuser[k] + 4)) << k;
            EXPECT_EQ (e.coilStages[k].delaySamples, static_cast<float> (c.coil[k])) << k;
            EXPECT_EQ (e.coilStages[k].line.getSize(), nextPowerOfTwoAtLeast (c.coil[k] + 4)) << k;
        }

        EXPECT_EQ (rampSteps (e.mixSmoother), c.smootherSteps);
        EXPECT_EQ (rampSteps (e.widthSmoother), c.smootherSteps);
    }
}

TEST (ReverbEngineLifecycle, AllpassLinesAt48kHzHoldTheirDelayPlusFour)
{
    const std::array<int, 8> diffuserSizes{ 256, 512, 1024, 1024, 1024, 2048, 2048, 2048 };
    const std::array<int, 8> coilSizes{ 64, 64, 64, 128, 128, 128, 128, 128 };
    ReverbEngine e;
    e.prepare (48000.0);
    for (std::size_t k = 0; k < 8; ++k)
    {
        EXPECT_EQ (e.diffuserStages[k].line.getSize(), diffuserSizes[k]) << k;
        EXPECT_EQ (e.coilStages[k].line.getSize(), coilSizes[k]) << k;
        // The stage delay stays below the read clamp of its line.
        EXPECT_LE (e.diffuserStages[k].delaySamples, static_cast<float> (diffuserSizes[k] - 3)) << k;
        EXPECT_LE (e.coilStages[k].delaySamples, static_cast<float> (coilSizes[k] - 3)) << k;
    }
}

TEST (ReverbEngineLifecycle, MsToSamplesRoundsHalvesAwayAndNeverGivesLessThanOne)
{
    struct Case
    {
        float ms;
        double rate;
        int samples;
    };
    const float inf = std::numeric_limits<float>::infinity();
    for (auto c : { Case{ 0.3f, 1000.0, 1 }, Case{ 4.77f, 44100.0, 210 }, Case{ 500.0f, 5.0, 3 },
                    Case{ 1000.0f, 48000.0, 48000 }, Case{ 0.0f, 48000.0, 1 }, Case{ -20.0f, 48000.0, 1 },
                    Case{ 2.33f, 48000.0, 112 }, Case{ std::numeric_limits<float>::quiet_NaN(), 48000.0, 1 },
                    Case{ inf, 48000.0, std::numeric_limits<int>::max() }, Case{ -inf, 48000.0, 1 },
                    Case{ 1.0e30f, 48000.0, std::numeric_limits<int>::max() } })
        EXPECT_EQ (ReverbEngine::msToSamples (c.ms, c.rate), c.samples) << c.ms << " ms at " << c.rate;
}

TEST (ReverbEngineLifecycle, ConstructedEngineHasNothingApplied)
{
    ReverbEngine e;
    EXPECT_FALSE (e.isPrepared());
    EXPECT_EQ (e.sampleRate, 44100.0);
    EXPECT_EQ (e.currentCharacterIndex, 0);
    EXPECT_STREQ (e.currentCharacter.name, "Foil");
    EXPECT_EQ (e.activeDiffusers, 0);
    EXPECT_EQ (e.activeCoilStages, 0);
    EXPECT_EQ (e.earlyTapCount, 0);
    EXPECT_EQ (e.fdnGain[0], 0.0f);
    EXPECT_EQ (e.gateReleaseCoef, 0.999f);
    EXPECT_EQ (e.mixSmoother.getCurrentValue(), 0.0f);
    EXPECT_EQ (e.mixSmoother.getTargetValue(), 0.0f);
    EXPECT_FALSE (e.mixSmoother.isSmoothing());
    EXPECT_EQ (e.params.mix, 0.35f);
    EXPECT_EQ (e.params.highcut, 9000.0f);
}

TEST (ReverbEngineLifecycle, PrepareLeavesSmoothersStandingAtTheSettings)
{
    ReverbEngine e;
    e.params.mix = 0.8f;
    e.params.width = 0.25f;
    e.prepare (48000.0);
    EXPECT_EQ (e.mixSmoother.getCurrentValue(), 0.8f);
    EXPECT_EQ (e.widthSmoother.getCurrentValue(), 0.25f);
    EXPECT_FALSE (e.mixSmoother.isSmoothing());
    EXPECT_FALSE (e.widthSmoother.isSmoothing());
    EXPECT_EQ (e.activeDiffusers, 8); // Foil applied
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ (e.lfoPhase[i], static_cast<float> (i) / 8.0f);
}

TEST (ReverbEngineLifecycle, PreparingAgainAtAnotherRateMatchesAFreshEngine)
{
    ReverbEngine e;
    e.setCharacter (2);
    e.prepare (44100.0);
    const auto tapsAt44k = e.earlyTapDelay;
    juce::AudioBuffer<float> noise (2, 4410);
    fillNoise (noise, 0.5f);
    e.process (noise);

    e.prepare (96000.0);
    ReverbEngine fresh;
    fresh.setCharacter (2);
    fresh.prepare (96000.0);

    EXPECT_EQ (e.fdnLines[0].getSize(), 32768);
    EXPECT_EQ (voicingOf (e), voicingOf (fresh));
    EXPECT_EQ (soundStateOf (e), soundStateOf (fresh));
    EXPECT_TRUE (allLinesSilent (e));
    EXPECT_NEAR (e.earlyTapDelay[5], tapsAt44k[5] * 96000.0f / 44100.0f, 0.01f);

    juce::AudioBuffer<float> a (2, 9600);
    fillNoise (a, 0.5f, 99u);
    juce::AudioBuffer<float> b (a);
    e.process (a);
    fresh.process (b);
    EXPECT_TRUE (sameSamples (a, b));
}

TEST (ReverbEngineLifecycle, ResetDropsTheSoundAndKeepsTheVoicing)
{
    for (int character : { 2, 6 }) // Hall, and Gate for the gate state
    {
        SCOPED_TRACE (characterTable[static_cast<std::size_t> (character)].name);
        ReverbEngine e;
        e.params.mix = 1.0f;
        e.setCharacter (character);
        e.prepare (48000.0);

        juce::AudioBuffer<float> noise (2, 4800);
        fillNoise (noise, 0.5f);
        e.process (noise);
        const auto voicing = voicingOf (e);
        ASSERT_FALSE (allLinesSilent (e));

        e.reset();
        EXPECT_EQ (voicingOf (e), voicing);
        EXPECT_TRUE (allLinesSilent (e));
        EXPECT_EQ (e.gateGain, 0.0f);
        EXPECT_EQ (e.gateHoldCounter, 0.0f);
        EXPECT_EQ (e.gateEnvelope, 0.0f);

        ReverbEngine fresh;
        fresh.params.mix = 1.0f;
        fresh.setCharacter (character);
        fresh.prepare (48000.0);
        EXPECT_EQ (soundStateOf (e), soundStateOf (fresh));

        juce::AudioBuffer<float> silence (2, 2400);
        silence.clear();
        e.process (silence);
        for (int ch = 0; ch < 2; ++ch)
            for (int n = 0; n < silence.getNumSamples(); ++n)
                ASSERT_EQ (silence.getSample (ch, n), 0.0f);

        // From here the reset engine and a fresh one render the same sound.
        juce::AudioBuffer<float> a (2, 4800);
        fillNoise (a, 0.5f, 7u);
        juce::AudioBuffer<float> b (a);
        fresh.process (silence);
        e.process (a);
        fresh.process (b);
        EXPECT_TRUE (sameSamples (a, b));
    }
}

TEST (ReverbEngineLifecycle, UnusableSampleRateKeepsTheRateInForce)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : { 0.0, -0.0, -48000.0, nan, inf, -inf })
    {
        SCOPED_TRACE (bad);
        ReverbEngine fresh;
        fresh.prepare (bad);
        EXPECT_EQ (fresh.sampleRate, 44100.0);
        EXPECT_EQ (fresh.fdnLines[0].getSize(), 16384);

        ReverbEngine e;
        e.setCharacter (3);
        e.prepare (48000.0);
        const auto voicing = voicingOf (e);
        e.prepare (bad);
        EXPECT_EQ (e.sampleRate, 48000.0);
        EXPECT_EQ (voicingOf (e), voicing);

        juce::AudioBuffer<float> block (2, 4800);
        fillNoise (block, 0.5f);
        e.process (block);
        float energy = 0.0f;
        for (int n = 0; n < block.getNumSamples(); ++n)
        {
            ASSERT_TRUE (std::isfinite (block.getSample (0, n)) && std::isfinite (block.getSample (1, n)));
            energy += block.getSample (0, n) * block.getSample (0, n);
        }
        EXPECT_GT (energy, 0.0f);
    }
}

TEST (ReverbEngineLifecycle, OddPositiveRatesNeverCrashOrLeakNonFiniteOutput)
{
    // Rates a host would never send; the engine must stay memory-safe and finite.
    for (double rate : { 1.0e-300, 1.0, 100.0, 1000.0, 384000.0 })
    {
        SCOPED_TRACE (rate);
        ReverbEngine e;
        e.params.mix = 1.0f;
        for (int character = 0; character < numCharacters; ++character)
        {
            e.setCharacter (character);
            e.prepare (rate);
            juce::AudioBuffer<float> block (2, 2000);
            fillNoise (block, 1.0f);
            e.process (block);
            for (int ch = 0; ch < 2; ++ch)
                for (int n = 0; n < block.getNumSamples(); ++n)
                    ASSERT_TRUE (std::isfinite (block.getSample (ch, n))) << character << " " << n;
        }
    }
}

TEST (ReverbEngineLifecycle, ProcessBeforePrepareLeavesTheBufferUnchanged)
{
    ReverbEngine e;
    const auto voicing = voicingOf (e);
    const auto state = soundStateOf (e);
    for (int channels : { 1, 2, 3 })
    {
        juce::AudioBuffer<float> block (channels, 256);
        fillNoise (block, 0.9f);
        const juce::AudioBuffer<float> before (block);
        e.process (block);
        EXPECT_TRUE (sameSamples (block, before)) << channels;
    }
    EXPECT_EQ (voicingOf (e), voicing);
    EXPECT_EQ (soundStateOf (e), state);
}
