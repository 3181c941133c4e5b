// The engine's optimised sample loop against the plain reference loop: every output sample and
// the state left behind must be the same, over long renders of every character.

#include "EngineTestSupport.h"
#include "tests/reference/ReferenceProcess.h"

#include <gtest/gtest.h>

#include <random>

namespace
{
struct Render
{
    double sampleRate;
    int channels;
};

// Equal as numbers; a zero may differ in sign only.
bool sameValues (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int n = 0; n < a.getNumSamples(); ++n)
            if (!(a.getSample (ch, n) == b.getSample (ch, n)))
                return false;
    return true;
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

TEST (ReverbEngineReference, OptimisedLoopComputesTheReferenceSamples)
{
    constexpr int blockSizes[] = { 1, 7, 64, 65, 300, 512, 1031 };

    for (const auto render : { Render{ 48000.0, 2 }, Render{ 44100.0, 1 }, Render{ 96000.0, 3 } })
    {
        for (int character = 0; character < numCharacters; ++character)
        {
            SCOPED_TRACE (testing::Message() << characterTable[static_cast<std::size_t> (character)].name << " at "
                                             << render.sampleRate << " Hz, " << render.channels << " channels");
            std::mt19937 rng (static_cast<unsigned> (character + 1));
            ReverbEngine fast, reference;
            for (auto* e : { &fast, &reference })
            {
                e->prepare (render.sampleRate);
                e->setCharacter (character);
            }

            // Four seconds of noise with new settings every block, then a silent tail.
            const int total = static_cast<int> (render.sampleRate * 4.0);
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
                ASSERT_TRUE (sameValues (a, b)) << "block " << block << " at sample " << done;
                done += n;
            }

            EXPECT_EQ (fast.lfoPhase, reference.lfoPhase);
            EXPECT_EQ (fast.gateGain, reference.gateGain);
            for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
            {
                EXPECT_EQ (fast.fdnDamping[k].z1, reference.fdnDamping[k].z1);
                EXPECT_EQ (fast.fdnLines[k].getWriteIndex(), reference.fdnLines[k].getWriteIndex());
            }
        }
    }
}

TEST (ReverbEngineReference, GuardFiresInTheSameBlock)
{
    ReverbEngine fast, reference;
    for (auto* e : { &fast, &reference })
    {
        e->prepare (48000.0);
        e->setCharacter (3);
    }

    for (int block = 0; block < 40; ++block)
    {
        juce::AudioBuffer<float> a (2, 256);
        enginetest::fillNoise (a, 0.5f, static_cast<std::uint32_t> (block + 7));
        if (block == 20)
            a.setSample (1, 100, 3.0e38f); // overflows inside the network a few blocks later
        juce::AudioBuffer<float> b (a);
        fast.process (a);
        referenceProcess (reference, b);
        ASSERT_TRUE (sameValues (a, b)) << "block " << block;
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
    {
        SCOPED_TRACE (testing::Message() << "character " << c.character << ", tap " << c.tapDelay << ", feedback "
                                         << c.feedbackDelay);
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

        for (int block = 0; block < 60; ++block)
        {
            juce::AudioBuffer<float> a (2, 50 + block);
            enginetest::fillNoise (a, block < 40 ? 0.5f : 0.0f, static_cast<std::uint32_t> (block + 3));
            juce::AudioBuffer<float> b (a);
            fast.process (a);
            referenceProcess (reference, b);
            ASSERT_TRUE (sameValues (a, b)) << "block " << block;
        }
    }
}
