#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace hosttest
{
juce::String bundlePath()
{
    return QUOLBANE_VST3_BUNDLE;
}

juce::OwnedArray<juce::PluginDescription> scanBundle()
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, bundlePath());
    return types;
}

std::unique_ptr<juce::AudioPluginInstance> createPlugin (bool prepare, double rate, int maximumBlockSize)
{
    const auto types = scanBundle();
    if (types.size() != 1)
    {
        ADD_FAILURE() << "expected one plug-in in " << bundlePath() << ", found " << types.size();
        return nullptr;
    }

    juce::VST3PluginFormat format;
    juce::String error;
    auto plugin = format.createInstanceFromDescription (*types[0], rate, maximumBlockSize, error);
    if (plugin == nullptr)
    {
        ADD_FAILURE() << "the host could not create the plug-in: " << error;
        return nullptr;
    }

    if (prepare)
    {
        plugin->setRateAndBufferSizeDetails (rate, maximumBlockSize);
        plugin->prepareToPlay (rate, maximumBlockSize);
    }
    return plugin;
}

juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& plugin, const juce::String& name)
{
    for (auto* parameter : plugin.getParameters())
        if (parameter->getName (100) == name)
            return parameter;
    return nullptr;
}

Block makeBlock (int numChannels, int numSamples, float value)
{
    return Block (static_cast<size_t> (numChannels), std::vector<float> (static_cast<size_t> (numSamples), value));
}

Block impulseBlock (int numChannels, int numSamples)
{
    auto block = makeBlock (numChannels, numSamples);
    for (auto& channel : block)
        channel[0] = 1.0f;
    return block;
}

Block noiseBlock (int numChannels, int numSamples, int seed)
{
    juce::Random random (seed);
    auto block = makeBlock (numChannels, numSamples);
    for (auto& channel : block)
        for (auto& sample : channel)
            sample = random.nextFloat() - 0.5f;
    return block;
}

Block process (juce::AudioProcessor& plugin, const Block& input)
{
    const auto numInputs = plugin.getTotalNumInputChannels();
    const auto numOutputs = plugin.getTotalNumOutputChannels();
    const auto numSamples = input.empty() ? 0 : static_cast<int> (input[0].size());
    const auto numChannels = juce::jmax (numInputs, numOutputs);

    juce::AudioBuffer<float> buffer (numChannels, numSamples);
    buffer.clear();
    for (int ch = 0; ch < juce::jmin (numInputs, static_cast<int> (input.size())); ++ch)
        buffer.copyFrom (ch, 0, input[static_cast<size_t> (ch)].data(), numSamples);

    juce::MidiBuffer midi;
    plugin.processBlock (buffer, midi);

    auto output = makeBlock (numOutputs, numSamples);
    for (int ch = 0; ch < numOutputs; ++ch)
        std::copy (buffer.getReadPointer (ch), buffer.getReadPointer (ch) + numSamples,
                   output[static_cast<size_t> (ch)].begin());
    return output;
}

Block processSilence (juce::AudioProcessor& plugin, int numChannels, int numBlocks)
{
    Block joined (static_cast<size_t> (plugin.getTotalNumOutputChannels()));
    const auto silence = makeBlock (numChannels, blockSize);
    for (int i = 0; i < numBlocks; ++i)
    {
        const auto out = process (plugin, silence);
        for (size_t ch = 0; ch < joined.size(); ++ch)
            joined[ch].insert (joined[ch].end(), out[ch].begin(), out[ch].end());
    }
    return joined;
}

bool allFinite (const Block& block)
{
    for (const auto& channel : block)
        for (auto sample : channel)
            if (!std::isfinite (sample))
                return false;
    return true;
}

double energy (const Block& block, int fromSample, int toSample)
{
    double sum = 0.0;
    for (const auto& channel : block)
    {
        const auto end =
            toSample < 0 ? static_cast<int> (channel.size()) : juce::jmin (toSample, static_cast<int> (channel.size()));
        for (int i = fromSample; i < end; ++i)
            sum += static_cast<double> (channel[static_cast<size_t> (i)]) * channel[static_cast<size_t> (i)];
    }
    return sum;
}

float maxAbs (const Block& block)
{
    float m = 0.0f;
    for (const auto& channel : block)
        for (auto sample : channel)
            m = juce::jmax (m, std::abs (sample));
    return m;
}
}
