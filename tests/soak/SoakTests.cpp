#include "processor/ParameterTable.h"
#include "processor/QuolbaneProcessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

// Long offline runs, far faster than real time: random automation of all ten parameters every
// block, random block sizes from 1 to 8192 (past the size announced to prepareToPlay), and a
// full-scale input. The output stays finite and below a fixed bound, and the tail decays once the
// input stops. QUOLBANE_SOAK_SCALE (default 1) scales every duration, for slow instrumented builds.
namespace
{
// +24 dBFS. Minutes of full-scale noise into a long tail build up well above 0 dBFS, like any long
// reverb (these runs peak near +20 dBFS); an unstable network grows without limit and crosses the
// bound within seconds.
constexpr float peakBound = 15.85f;
constexpr int announcedBlock = 512;
constexpr int largestBlock = 8192;

double soakScale()
{
    if (const char* s = std::getenv ("QUOLBANE_SOAK_SCALE"))
        return std::max (0.001, std::atof (s));
    return 1.0;
}

struct RunResult
{
    double secondsSimulated = 0.0;
    float peak = 0.0f;
    std::int64_t nonFinite = 0;
    std::int64_t blocks = 0;
    std::int64_t blocksOverAnnounced = 0;
    int smallestBlock = largestBlock;
    int biggestBlock = 0;
    std::vector<double> tailWindowEnergy;
    juce::String failure;
};

// The input: stretches of full-scale white noise, sines, clicks and silence, peak 1.0 (0 dBFS).
class TestSignal
{
public:
    explicit TestSignal (unsigned seed) : rng (seed) {}

    float next (double sampleRate)
    {
        if (--left <= 0)
        {
            kind = std::uniform_int_distribution<int> (0, 3) (rng);
            left = static_cast<std::int64_t> (sampleRate * std::uniform_real_distribution<double> (0.05, 3.0) (rng));
            phaseStep = std::uniform_real_distribution<double> (20.0, 0.45 * sampleRate) (rng) / sampleRate;
        }
        switch (kind)
        {
            case 0:
                return noise (rng);
            case 1:
                phase = std::fmod (phase + phaseStep, 1.0);
                return static_cast<float> (std::sin (6.283185307179586 * phase));
            case 2:
                return (left % 4801) == 0 ? 1.0f : 0.0f;
            default:
                return 0.0f;
        }
    }

private:
    std::mt19937 rng;
    std::uniform_real_distribution<float> noise{ -1.0f, 1.0f };
    int kind = 0;
    std::int64_t left = 0;
    double phase = 0.0, phaseStep = 0.01;
};

int randomBlockSize (std::mt19937& rng)
{
    // Log-uniform from 1 to 8192, so small and huge blocks both come often.
    const double e = std::uniform_real_distribution<double> (0.0, 13.0) (rng);
    return std::clamp (static_cast<int> (std::pow (2.0, e)), 1, largestBlock);
}

// Every block a new value for each parameter: mostly uniform, often an end of the range.
void automateAll (QuolbaneProcessor& p, std::mt19937& rng)
{
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    for (auto* parameter : p.getParameters())
    {
        const float r = unit (rng);
        parameter->setValueNotifyingHost (r < 0.1f ? 0.0f : r > 0.9f ? 1.0f : unit (rng));
    }
}

// The hardest setting for stability: the longest decay, largest size, deepest modulation.
void setExtremes (QuolbaneProcessor& p, int character)
{
    auto& ps = p.getParameters();
    ps[0]->setValueNotifyingHost (static_cast<float> (character) / 9.0f);
    for (int i : { 1, 2, 3, 6, 7 }) // mix, size, decay, modulation, width at 100 %
        ps[i]->setValueNotifyingHost (1.0f);
    ps[4]->setValueNotifyingHost (0.0f); // no pre-delay
    ps[5]->setValueNotifyingHost (0.0f); // no damping
    ps[8]->setValueNotifyingHost (0.0f); // lowest low cut
    ps[9]->setValueNotifyingHost (1.0f); // highest high cut
}

void runSoak (int character, double sampleRate, double seconds, double tailSeconds, unsigned seed, RunResult& result)
{
    QuolbaneProcessor p;
    p.prepareToPlay (sampleRate, announcedBlock);
    std::mt19937 rng (seed);
    TestSignal signal (seed * 7u + 1u);
    juce::AudioBuffer<float> storage (2, largestBlock);
    juce::MidiBuffer midi;

    const auto total = static_cast<std::int64_t> (seconds * sampleRate);
    const auto extremesFrom = total / 2; // the second half holds the extreme setting, automated less
    std::int64_t done = 0;

    auto measure = [&] (int numSamples)
    {
        for (int ch = 0; ch < 2; ++ch)
        {
            const float* y = storage.getReadPointer (ch);
            for (int n = 0; n < numSamples; ++n)
            {
                if (!std::isfinite (y[n]))
                    ++result.nonFinite;
                else
                    result.peak = std::max (result.peak, std::abs (y[n]));
            }
        }
    };

    while (done < total)
    {
        const int numSamples = static_cast<int> (std::min<std::int64_t> (randomBlockSize (rng), total - done));
        if (done < extremesFrom)
            automateAll (p, rng);
        else if (done - numSamples < extremesFrom || (rng() % 64) == 0)
            setExtremes (p, character);
        else if ((rng() % 8) == 0)
            p.getParameters()[1 + static_cast<int> (rng() % 9)]->setValueNotifyingHost (
                std::uniform_real_distribution<float> (0.0f, 1.0f) (rng));
        if (done < extremesFrom && (rng() % 32) != 0)
            p.getParameters()[0]->setValueNotifyingHost (static_cast<float> (character) / 9.0f);

        for (int n = 0; n < numSamples; ++n)
        {
            const float x = signal.next (sampleRate);
            storage.setSample (0, n, x);
            storage.setSample (1, n, signal.next (sampleRate) * 0.5f + x * 0.5f);
        }

        juce::AudioBuffer<float> block (storage.getArrayOfWritePointers(), 2, numSamples);
        p.processBlock (block, midi);
        measure (numSamples);

        ++result.blocks;
        result.blocksOverAnnounced += numSamples > announcedBlock ? 1 : 0;
        result.smallestBlock = std::min (result.smallestBlock, numSamples);
        result.biggestBlock = std::max (result.biggestBlock, numSamples);
        done += numSamples;
    }

    // The tail: a second of loud input, then silence, parameters held; energy per window falls.
    setExtremes (p, character);
    p.getParameters()[3]->setValueNotifyingHost (0.5f); // a few seconds of decay
    // One-second windows: longer than the longest loop through the network, so the energy of a
    // window does not hinge on where the echoes of one round trip fall.
    const int window = static_cast<int> (sampleRate);
    const int windows = static_cast<int> (tailSeconds);
    for (int w = -1; w < windows; ++w)
    {
        double energy = 0.0;
        for (int left = window; left > 0;)
        {
            const int numSamples = std::min (left, randomBlockSize (rng));
            for (int ch = 0; ch < 2; ++ch)
                for (int n = 0; n < numSamples; ++n)
                    storage.setSample (ch, n, w < 0 ? signal.next (sampleRate) : 0.0f);
            juce::AudioBuffer<float> block (storage.getArrayOfWritePointers(), 2, numSamples);
            p.processBlock (block, midi);
            measure (numSamples);
            for (int ch = 0; ch < 2; ++ch)
                for (int n = 0; n < numSamples; ++n)
                    energy += static_cast<double> (storage.getSample (ch, n)) * storage.getSample (ch, n);
            left -= numSamples;
        }
        if (w >= 0)
            result.tailWindowEnergy.push_back (energy);
    }

    result.secondsSimulated = seconds + tailSeconds + 1.0;
}

// Runs one job per (character, rate) on all cores.
template <typename Job>
void runInParallel (int numJobs, Job job)
{
    std::atomic<int> nextJob{ 0 };
    const int numThreads =
        std::max (1, std::min<int> (numJobs, static_cast<int> (std::thread::hardware_concurrency())));
    std::vector<std::thread> threads;
    for (int t = 0; t < numThreads; ++t)
        threads.emplace_back (
            [&]
            {
                for (int j = nextJob++; j < numJobs; j = nextJob++)
                    job (j);
            });
    for (auto& t : threads)
        t.join();
}

void expectSound (const RunResult& r, const juce::String& what)
{
    EXPECT_EQ (r.nonFinite, 0) << what;
    EXPECT_LE (r.peak, peakBound) << what;

    ASSERT_GE (r.tailWindowEnergy.size(), 4u) << what;
    for (std::size_t i = 1; i < r.tailWindowEnergy.size(); ++i)
        EXPECT_LE (r.tailWindowEnergy[i], r.tailWindowEnergy[i - 1] * 1.1 + 1.0e-30)
            << what << ": tail energy rose in window " << i;
    EXPECT_LT (r.tailWindowEnergy.back(), r.tailWindowEnergy.front() * 0.5 + 1.0e-30) << what << ": tail did not decay";
}

const char* characterName (int index)
{
    return characterTable[static_cast<std::size_t> (index)].name;
}

double toDb (float gain)
{
    return 20.0 * std::log10 (std::max (gain, 1.0e-12f));
}
}

// Ten minutes of audio at 48 kHz for every character, all characters at once.
TEST (Soak, TenMinutesPerCharacterStayFiniteBoundedAndDecay)
{
    const double seconds = 600.0 * soakScale();
    std::vector<RunResult> results (numCharacters);
    runInParallel (numCharacters,
                   [&] (int c) {
                       runSoak (c, 48000.0, seconds, 6.0, 1000u + static_cast<unsigned> (c),
                                results[static_cast<std::size_t> (c)]);
                   });

    double simulated = 0.0;
    std::int64_t blocks = 0, over = 0;
    for (int c = 0; c < numCharacters; ++c)
    {
        const auto& r = results[static_cast<std::size_t> (c)];
        simulated += r.secondsSimulated;
        blocks += r.blocks;
        over += r.blocksOverAnnounced;
        std::printf ("[ figures  ] %-8s %.0f s, peak %.3f (%+.1f dBFS), blocks %d..%d\n", characterName (c),
                     r.secondsSimulated, r.peak, toDb (r.peak), r.smallestBlock, r.biggestBlock);
        expectSound (r, characterName (c));
    }
    std::printf ("[ figures  ] %.2f hours simulated in %lld blocks, %lld longer than the announced %d\n",
                 simulated / 3600.0, static_cast<long long> (blocks), static_cast<long long> (over), announcedBlock);
}

// Every host rate from 8 kHz to 384 kHz, every character.
TEST (Soak, EverySampleRateStaysFiniteBoundedAndDecays)
{
    constexpr double rates[] = { 8000.0, 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 384000.0 };
    constexpr int numRates = static_cast<int> (std::size (rates));
    const double seconds = 30.0 * soakScale();
    std::vector<RunResult> results (static_cast<std::size_t> (numRates * numCharacters));
    runInParallel (numRates * numCharacters,
                   [&] (int j)
                   {
                       runSoak (j % numCharacters, rates[j / numCharacters], seconds, 4.0,
                                77u + static_cast<unsigned> (j), results[static_cast<std::size_t> (j)]);
                   });

    double simulated = 0.0;
    for (int j = 0; j < numRates * numCharacters; ++j)
    {
        const auto& r = results[static_cast<std::size_t> (j)];
        simulated += r.secondsSimulated;
        expectSound (r, juce::String (characterName (j % numCharacters)) + " at " +
                            juce::String (rates[j / numCharacters]));
    }
    for (int i = 0; i < numRates; ++i)
    {
        float peak = 0.0f;
        for (int c = 0; c < numCharacters; ++c)
            peak = std::max (peak, results[static_cast<std::size_t> (i * numCharacters + c)].peak);
        std::printf ("[ figures  ] %6.0f Hz: peak %.3f (%+.1f dBFS)\n", rates[i], peak, toDb (peak));
    }
    std::printf ("[ figures  ] %.2f hours simulated across %d rates\n", simulated / 3600.0, numRates);
}

// One run whose block size changes every block, from 1 to 8192, with a prepareToPlay announcing 512,
// produces the same output as the same input in fixed blocks of 512: nothing depends on the block length.
TEST (Soak, VaryingBlockSizesGiveTheSameOutputAsFixedBlocks)
{
    constexpr double rate = 44100.0;
    constexpr int total = 200000;
    std::vector<float> input (2 * total);
    std::mt19937 rng (3u);
    std::uniform_real_distribution<float> u (-1.0f, 1.0f);
    for (auto& x : input)
        x = u (rng);

    auto render = [&] (bool vary)
    {
        QuolbaneProcessor p;
        p.prepareToPlay (rate, announcedBlock);
        std::vector<float> out (input);
        juce::MidiBuffer midi;
        std::mt19937 sizes (11u);
        for (int done = 0; done < total;)
        {
            const int n = std::min (total - done, vary ? randomBlockSize (sizes) : announcedBlock);
            float* channels[] = { out.data() + done, out.data() + total + done };
            juce::AudioBuffer<float> block (channels, 2, n);
            p.processBlock (block, midi);
            done += n;
        }
        return out;
    };

    EXPECT_TRUE (render (true) == render (false));
}
