// The engine's optimised sample loop against the plain reference loop, over long renders of every
// character. The fast loop evaluates the modulation sine with its own polynomial (within about a
// unit in the last place of the C library's) and the steady early taps as four-point filters, so
// its output differs from the reference by rounding only: the error's energy must stay 100 dB
// below the signal's, and no sample may be off by more than -60 dB of the render's peak.

#include "EngineTestSupport.h"
#include "tests/reference/ReferenceProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace
{
struct Render
{
    double sampleRate;
    int channels;
    bool wideLanes; // the AVX2 loop where the CPU has it, else the SSE2 loop
};

constexpr bool laneWidths[] = { false, true };

// Accumulated difference between the fast loop's output and the reference's.
struct Deviation
{
    double errorEnergy = 0.0, signalEnergy = 0.0, maxError = 0.0, peak = 0.0;

    void add (const juce::AudioBuffer<float>& fast, const juce::AudioBuffer<float>& reference)
    {
        for (int ch = 0; ch < fast.getNumChannels(); ++ch)
            for (int n = 0; n < fast.getNumSamples(); ++n)
            {
                const double r = reference.getSample (ch, n);
                const double e = static_cast<double> (fast.getSample (ch, n)) - r;
                errorEnergy += e * e;
                signalEnergy += r * r;
                maxError = std::max (maxError, std::abs (e));
                peak = std::max (peak, std::abs (r));
            }
    }

    double errorDb() const { return 10.0 * std::log10 (std::max (errorEnergy, 1.0e-300) / signalEnergy); }
    double maxErrorDb() const { return 20.0 * std::log10 (std::max (maxError, 1.0e-300) / peak); }
    bool withinTolerance() const { return !(errorDb() > -100.0) && !(maxErrorDb() > -60.0); }
};

bool silent (const juce::AudioBuffer<float>& b)
{
    return b.getMagnitude (0, b.getNumSamples()) == 0.0f;
}

void randomise (EngineParameters& p, std::mt19937& rng)
{
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    p.mix = unit (rng);
    p.size = 0.25f + 1.75f * unit (rng);
    p.decay = 0.2f + 19.8f * unit (rng) * unit (rng);
    p.predelay = 250.0f * unit (rng);
    p.damping = unit (rng);
    p.modulation = unit (rng);
    p.width = unit (rng);
    p.lowcut = 20.0f + 980.0f * unit (rng);
    p.highcut = 1000.0f + 19000.0f * unit (rng);
}
}

TEST (ReverbEngineReference, OptimisedLoopMatchesTheReference)
{
    constexpr int blockSizes[] = { 1, 7, 64, 65, 300, 512, 1031 };

    // The lowest rates give lines shorter than a chunk plus the pre-delay or a tap.
    for (const auto render : { Render{ 48000.0, 2, true }, Render{ 48000.0, 2, false }, Render{ 44100.0, 1, true },
                               Render{ 96000.0, 3, false }, Render{ 200.0, 2, true }, Render{ 400.0, 2, false } })
    {
        for (int character = 0; character < numCharacters; ++character)
        {
            SCOPED_TRACE (testing::Message() << characterTable[static_cast<std::size_t> (character)].name << " at "
                                             << render.sampleRate << " Hz, " << render.channels << " channels"
                                             << (render.wideLanes ? ", wide lanes" : ""));
            std::mt19937 rng (static_cast<unsigned> (character + 1));
            ReverbEngine fast, reference;
            for (auto* e : { &fast, &reference })
            {
                e->prepare (render.sampleRate);
                e->setCharacter (character);
            }
            fast.useWideLanes = render.wideLanes;

            // Four seconds of noise (and no fewer than 24000 samples) with new settings every
            // fifth block, then a silent tail.
            Deviation deviation;
            const int total = std::max (static_cast<int> (render.sampleRate * 4.0), 24000);
            int done = 0;
            int block = 0;
            while (done < total)
            {
                const int n =
                    std::min (blockSizes[static_cast<std::size_t> (block++) % std::size (blockSizes)], total - done);
                if (block % 5 == 0)
                    randomise (fast.params, rng);
                reference.params = fast.params;
                fast.updateCoefficients();
                reference.updateCoefficients();

                juce::AudioBuffer<float> a (render.channels, n);
                enginetest::fillNoise (a, done < total / 2 ? 0.8f : 0.0f, static_cast<std::uint32_t> (done + 1));
                juce::AudioBuffer<float> b (a);

                juce::ScopedNoDenormals noDenormals;
                fast.process (a);
                referenceProcess (reference, b);
                deviation.add (a, b);
                done += n;
            }
            EXPECT_TRUE (deviation.withinTolerance())
                << "error " << deviation.errorDb() << " dB, largest " << deviation.maxErrorDb() << " dB";

            // The oscillators and the gate do not depend on the sine: they stay exact.
            EXPECT_EQ (fast.lfoPhase, reference.lfoPhase);
            EXPECT_EQ (fast.gateGain, reference.gateGain);
            for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
            {
                EXPECT_NEAR (fast.fdnDamping[k].z1, reference.fdnDamping[k].z1, 1.0e-5f);
                EXPECT_EQ (fast.fdnLines[k].getWriteIndex(), reference.fdnLines[k].getWriteIndex());
            }
        }
    }
}

TEST (ReverbEngineReference, GuardFiresInTheSameBlock)
{
    for (const bool wide : laneWidths)
    {
        SCOPED_TRACE (wide ? "wide lanes" : "narrow lanes");
        ReverbEngine fast, reference;
        for (auto* e : { &fast, &reference })
        {
            e->prepare (48000.0);
            e->setCharacter (3);
        }
        fast.useWideLanes = wide;

        Deviation deviation;
        bool fired = false;
        for (int block = 0; block < 40; ++block)
        {
            juce::AudioBuffer<float> a (2, 256);
            enginetest::fillNoise (a, 0.5f, static_cast<std::uint32_t> (block + 7));
            if (block == 20)
                a.setSample (1, 100, 3.0e38f); // overflows inside the network a few blocks later
            juce::AudioBuffer<float> b (a);
            fast.process (a);
            referenceProcess (reference, b);
            ASSERT_EQ (silent (a), silent (b)) << "block " << block;
            fired = fired || silent (a);
            if (block < 20)
                deviation.add (a, b);
        }
        EXPECT_TRUE (fired);
        EXPECT_TRUE (deviation.withinTolerance()) << deviation.errorDb() << " dB";
    }
}

// Short pre-delays, taps and feedback delays take the loop's one-sample-at-a-time paths.
TEST (ReverbEngineReference, ShortDelaysMatchTheReference)
{
    struct Case
    {
        int character;
        float predelayMs;
        float tapDelay;
        float feedbackDelay;
    };
    constexpr Case cases[] = { { 1, 0.0f, 0.0f, 0.0f },
                               { 3, 0.05f, 2.5f, 0.0f },
                               { 5, 20.0f, 0.0f, 3.5f },
                               { 6, 0.0f, 2.0f, 2.0f },
                               { 2, 0.3f, 7.0f, 6.0f } };

    for (const auto& c : cases)
    for (const bool wide : laneWidths)
    {
        SCOPED_TRACE (testing::Message() << "character " << c.character << ", tap " << c.tapDelay << ", feedback "
                                         << c.feedbackDelay << (wide ? ", wide lanes" : ""));
        ReverbEngine fast, reference;
        for (auto* e : { &fast, &reference })
        {
            e->params.predelay = c.predelayMs;
            e->prepare (8000.0);
            e->setCharacter (c.character);
            for (int j = 0; j < e->earlyTapCount && c.tapDelay > 0.0f; ++j)
                e->earlyTapDelay[static_cast<std::size_t> (j)] = c.tapDelay + 0.25f * static_cast<float> (j);
            for (std::size_t k = 0; k < ReverbEngine::numLines && c.feedbackDelay > 0.0f; ++k)
                e->fdnDelay[k] = c.feedbackDelay + static_cast<float> (k);
        }
        fast.useWideLanes = wide;

        Deviation deviation;
        for (int block = 0; block < 60; ++block)
        {
            juce::AudioBuffer<float> a (2, 50 + block);
            enginetest::fillNoise (a, block < 40 ? 0.5f : 0.0f, static_cast<std::uint32_t> (block + 3));
            juce::AudioBuffer<float> b (a);
            fast.process (a);
            referenceProcess (reference, b);
            deviation.add (a, b);
        }
        EXPECT_TRUE (deviation.withinTolerance())
            << "error " << deviation.errorDb() << " dB, largest " << deviation.maxErrorDb() << " dB";
    }
}

// The AVX2 and SSE2 loops run the same operations lane for lane: their samples are identical.
TEST (ReverbEngineReference, WideAndNarrowLanesComputeTheSameSamples)
{
    if (!ReverbEngine::wideLanesAvailable())
        GTEST_SKIP() << "this CPU or build has no AVX2 loop";

    constexpr int blockSizes[] = { 1, 13, 64, 200, 512 };
    for (int character = 0; character < numCharacters; ++character)
    {
        SCOPED_TRACE (characterTable[static_cast<std::size_t> (character)].name);
        std::mt19937 rng (static_cast<unsigned> (character + 11));
        ReverbEngine wide, narrow;
        for (auto* e : { &wide, &narrow })
        {
            e->prepare (48000.0);
            e->setCharacter (character);
        }
        narrow.useWideLanes = false;

        for (int block = 0; block < 300; ++block)
        {
            if (block % 7 == 0)
                randomise (wide.params, rng);
            narrow.params = wide.params;
            wide.updateCoefficients();
            narrow.updateCoefficients();

            juce::AudioBuffer<float> a (2, blockSizes[static_cast<std::size_t> (block) % std::size (blockSizes)]);
            enginetest::fillNoise (a, block < 200 ? 0.7f : 0.0f, static_cast<std::uint32_t> (block + 5));
            juce::AudioBuffer<float> b (a);
            wide.process (a);
            narrow.process (b);
            for (int ch = 0; ch < 2; ++ch)
                for (int n = 0; n < a.getNumSamples(); ++n)
                    ASSERT_EQ (a.getSample (ch, n), b.getSample (ch, n)) << "block " << block << ", sample " << n;
        }
    }
}
