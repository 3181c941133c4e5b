#include "processor/QuolbaneProcessor.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

// Independent instances share nothing: run side by side on many threads, each gives exactly the
// output that one instance alone gives for the same input and automation.
namespace
{
std::vector<float> renderScript (unsigned seed)
{
    constexpr double rate = 48000.0;
    constexpr int total = 5 * 48000;
    QuolbaneProcessor p;
    p.prepareToPlay (rate, 512);

    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    std::vector<float> out (2 * static_cast<std::size_t> (total));
    for (auto& x : out)
        x = unit (rng) * 2.0f - 1.0f;

    juce::MidiBuffer midi;
    for (int done = 0; done < total;)
    {
        for (auto* parameter : p.getParameters())
            if (rng() % 4 == 0)
                parameter->setValueNotifyingHost (unit (rng));
        const int n = std::min (total - done, 1 + static_cast<int> (rng() % 4096));
        float* channels[] = { out.data() + done, out.data() + total + done };
        juce::AudioBuffer<float> block (channels, 2, n);
        p.processBlock (block, midi);
        done += n;
    }
    return out;
}
}

TEST (ParallelInstances, ProduceExactlyTheOutputOfOneInstanceAlone)
{
    constexpr unsigned seed = 2024u;
    const auto alone = renderScript (seed);

    const int numThreads = std::max (4, static_cast<int> (std::thread::hardware_concurrency()));
    std::vector<std::vector<float>> outputs (static_cast<std::size_t> (numThreads));
    std::vector<std::thread> threads;
    for (int t = 0; t < numThreads; ++t)
        threads.emplace_back ([&outputs, t] { outputs[static_cast<std::size_t> (t)] = renderScript (seed); });
    for (auto& t : threads)
        t.join();

    for (int t = 0; t < numThreads; ++t)
        EXPECT_TRUE (outputs[static_cast<std::size_t> (t)] == alone) << "thread " << t;
}
