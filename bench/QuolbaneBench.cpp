// Benchmark: cost of the engine, of the processor's block processing and of JUCE's own reverb
// as the baseline, in ns per frame (median of repeated runs), printed as Markdown tables.

#include "engine/ReverbEngine.h"
#include "processor/QuolbaneProcessor.h"
#include "tests/reference/ReferenceProcess.h"

#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace
{
struct Settings
{
    int repetitions = 7;
    double secondsPerRun = 0.25;
};

juce::AudioBuffer<float> makeNoise (int channels, int samples)
{
    juce::AudioBuffer<float> noise (channels, samples);
    std::mt19937 rng (1234);
    std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
    for (int ch = 0; ch < channels; ++ch)
        for (int n = 0; n < samples; ++n)
            noise.setSample (ch, n, dist (rng));
    return noise;
}

// Runs processBlock-like work over noise and returns the median ns per frame.
double measure (const Settings& settings, double sampleRate, int channels, int blockSize,
                const std::function<void (juce::AudioBuffer<float>&)>& processBlock)
{
    const int framesPerRun = std::max (blockSize, static_cast<int> (settings.secondsPerRun * sampleRate));
    const int blocksPerRun = std::max (1, framesPerRun / blockSize);
    const auto source = makeNoise (channels, blockSize * 16);
    juce::AudioBuffer<float> block (channels, blockSize);

    std::vector<double> results;
    for (int r = 0; r < settings.repetitions; ++r)
    {
        // The whole run is timed, input copies included, as a host would feed the blocks.
        const auto start = std::chrono::steady_clock::now();
        for (int b = 0; b < blocksPerRun; ++b)
        {
            const int offset = (b % 16) * blockSize;
            for (int ch = 0; ch < channels; ++ch)
                block.copyFrom (ch, 0, source, ch, offset, blockSize);
            processBlock (block);
        }
        const auto end = std::chrono::steady_clock::now();
        const double nanoseconds = std::chrono::duration<double, std::nano> (end - start).count();
        results.push_back (nanoseconds / (static_cast<double> (blocksPerRun) * blockSize));
    }

    std::sort (results.begin(), results.end());
    return results[results.size() / 2];
}

// The engine's own loop (AVX2 where the CPU has it, or forced to SSE2), or the plain reference
// loop that computes the same samples but for rounding.
enum class Loop
{
    fastest,
    sse2,
    reference
};

double measureEngine (const Settings& s, int character, double sampleRate, int channels, int blockSize,
                      Loop loop = Loop::fastest)
{
    ReverbEngine engine;
    engine.prepare (sampleRate);
    engine.setCharacter (character);
    engine.useWideLanes = loop == Loop::fastest;
    const bool reference = loop == Loop::reference;
    return measure (s, sampleRate, channels, blockSize,
                    [&engine, reference] (juce::AudioBuffer<float>& buffer)
                    {
                        juce::ScopedNoDenormals noDenormals;
                        engine.updateCoefficients();
                        if (reference)
                            referenceProcess (engine, buffer);
                        else
                            engine.process (buffer);
                    });
}

double measureProcessor (const Settings& s, int character, double sampleRate, int channels, int blockSize)
{
    QuolbaneProcessor processor;
    const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    processor.setBusesLayout ({ { set }, { set } });
    auto* choice = processor.valueTreeState.getParameter ("character");
    choice->setValueNotifyingHost (choice->convertTo0to1 (static_cast<float> (character)));
    processor.prepareToPlay (sampleRate, blockSize);
    juce::MidiBuffer midi;
    return measure (s, sampleRate, channels, blockSize,
                    [&] (juce::AudioBuffer<float>& buffer) { processor.processBlock (buffer, midi); });
}

double measureJuceReverb (const Settings& s, double sampleRate, int channels, int blockSize)
{
    juce::dsp::Reverb reverb;
    reverb.prepare ({ sampleRate, static_cast<juce::uint32> (blockSize), static_cast<juce::uint32> (channels) });
    return measure (s, sampleRate, channels, blockSize,
                    [&reverb] (juce::AudioBuffer<float>& buffer)
                    {
                        juce::ScopedNoDenormals noDenormals;
                        juce::dsp::AudioBlock<float> audio (buffer);
                        reverb.process (juce::dsp::ProcessContextReplacing<float> (audio));
                    });
}

// Median time of one setCharacter from one character to another, in microseconds: the voicing,
// the coefficients and the clearing of the allpass stages that join. The caches are flushed
// first, as after a host's other work.
double measureCharacterSwitch (const Settings& s, double sampleRate, int from, int to)
{
    ReverbEngine engine;
    engine.prepare (sampleRate);
    std::vector<char> sweep (64 << 20);
    std::vector<double> results;
    for (int r = 0; r < 10 * s.repetitions + 1; ++r)
    {
        engine.setCharacter (from);
        std::fill (sweep.begin(), sweep.end(), static_cast<char> (r));
        asm volatile ("" : : "r"(sweep.data()) : "memory"); // the sweep must really happen
        const auto start = std::chrono::steady_clock::now();
        engine.setCharacter (to);
        const auto end = std::chrono::steady_clock::now();
        results.push_back (std::chrono::duration<double, std::micro> (end - start).count());
    }
    std::sort (results.begin(), results.end());
    return results[results.size() / 2];
}

std::size_t delayStorageBytes (const ReverbEngine& e)
{
    std::size_t samples = static_cast<std::size_t> (e.preDelayLine.getSize() + e.earlyLine.getSize());
    for (const auto& line : e.fdnLines)
        samples += static_cast<std::size_t> (line.getSize());
    for (const auto& stage : e.diffuserStages)
        samples += static_cast<std::size_t> (stage.line.getSize());
    for (const auto& stage : e.coilStages)
        samples += static_cast<std::size_t> (stage.line.getSize());
    return samples * sizeof (float);
}
}

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    Settings settings;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--quick")
    {
        settings.repetitions = 1;
        settings.secondsPerRun = 0.01;
    }

    // A short table for work on the engine: every character, stereo, blocks of 512.
    if (mode == "--engine")
    {
        const double baseline = measureJuceReverb (settings, 48000.0, 2, 512);
        std::printf ("| character | ns per frame | vs juce::dsp::Reverb (%.1f ns) | SSE2 loop |\n|---|---|---|---|\n",
                     baseline);
        for (int c = 0; c < numCharacters; ++c)
        {
            const double ns = measureEngine (settings, c, 48000.0, 2, 512);
            const double narrow = measureEngine (settings, c, 48000.0, 2, 512, Loop::sse2);
            std::printf ("| %s | %.1f | %.2f | %.1f |\n", characterTable[static_cast<std::size_t> (c)].name, ns,
                         ns / baseline, narrow);
        }
        return 0;
    }

    const std::vector<int> blockSizes{ 1, 32, 512, 4096 };
    const double rate = 48000.0;

    const double baseline = measureJuceReverb (settings, rate, 2, 512);
    std::printf ("## Engine, 48 kHz, ns per frame (juce::dsp::Reverb stereo, blocks of 512: %.1f ns)\n\n", baseline);
    std::printf ("The engine runs its AVX2 loop%s; the SSE2 column is the loop for CPUs without AVX2.\n\n",
                 ReverbEngine::wideLanesAvailable() ? "" : " (not on this CPU or build: both columns are SSE2)");
    std::printf ("| character | channels | block 1 | block 32 | block 512 | block 4096 | 512 vs juce::dsp::Reverb "
                 "| SSE2 loop, 512 | reference loop, 512 | 512 vs reference |\n");
    std::printf ("|---|---|---|---|---|---|---|---|---|---|\n");
    for (int c = 0; c < numCharacters; ++c)
    {
        for (int channels : { 2, 1 })
        {
            std::printf ("| %s | %d |", characterTable[static_cast<std::size_t> (c)].name, channels);
            double at512 = 0.0;
            for (int bs : blockSizes)
            {
                const double ns = measureEngine (settings, c, rate, channels, bs);
                if (bs == 512)
                    at512 = ns;
                std::printf (" %.1f |", ns);
            }
            const double narrow = measureEngine (settings, c, rate, channels, 512, Loop::sse2);
            const double reference = measureEngine (settings, c, rate, channels, 512, Loop::reference);
            std::printf (" %.2f | %.1f | %.1f | %.2f |\n", at512 / baseline, narrow, reference, at512 / reference);
        }
    }

    std::printf (
        "\n## Engine, \"Hall\" stereo, blocks of 512, by sample rate\n\n| sample rate | ns per frame |\n|---|---|\n");
    for (double sr : { 44100.0, 48000.0, 96000.0, 192000.0 })
        std::printf ("| %.0f | %.1f |\n", sr, measureEngine (settings, 2, sr, 2, 512));

    std::printf ("\n## QuolbaneProcessor::processBlock, \"Hall\", 48 kHz, ns per frame\n\n");
    std::printf ("| channels | block 1 | block 32 | block 512 | block 4096 |\n|---|---|---|---|---|\n");
    for (int channels : { 2, 1 })
    {
        std::printf ("| %d |", channels);
        for (int bs : blockSizes)
            std::printf (" %.1f |", measureProcessor (settings, 2, rate, channels, bs));
        std::printf ("\n");
    }

    std::printf ("\n## juce::dsp::Reverb (default parameters), 48 kHz, ns per frame\n\n");
    std::printf ("| channels | block 1 | block 32 | block 512 | block 4096 |\n|---|---|---|---|---|\n");
    for (int channels : { 2, 1 })
    {
        std::printf ("| %d |", channels);
        for (int bs : blockSizes)
            std::printf (" %.1f |", measureJuceReverb (settings, rate, channels, bs));
        std::printf ("\n");
    }

    std::printf ("\n## Character switch (setCharacter), microseconds\n\n| switch | stages that join | 48000 Hz | "
                 "192000 Hz |\n|---|---|---|---|\n");
    struct Switch
    {
        int from, to;
        const char* joining;
    };
    for (const auto& sw : { Switch{ 2, 4, "none" }, Switch{ 5, 0, "6 diffusers" }, Switch{ 0, 5, "8 coil stages" },
                            Switch{ 4, 3, "5 diffusers" } })
        std::printf ("| %s to %s | %s | %.1f | %.1f |\n", characterTable[static_cast<std::size_t> (sw.from)].name,
                     characterTable[static_cast<std::size_t> (sw.to)].name, sw.joining,
                     measureCharacterSwitch (settings, 48000.0, sw.from, sw.to),
                     measureCharacterSwitch (settings, 192000.0, sw.from, sw.to));

    std::printf ("\n## Delay storage per instance and time of prepare\n\n| sample rate | storage (KiB) | prepare (us) "
                 "|\n|---|---|---|\n");
    for (double sr : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        ReverbEngine engine;
        const auto start = std::chrono::steady_clock::now();
        engine.prepare (sr);
        const auto end = std::chrono::steady_clock::now();
        std::printf ("| %.0f | %.1f | %.1f |\n", sr, static_cast<double> (delayStorageBytes (engine)) / 1024.0,
                     std::chrono::duration<double, std::micro> (end - start).count());
    }

    return 0;
}
