#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <vector>

// Helpers for driving the built Quolbane.vst3 through JUCE's VST3 hosting.
namespace hosttest
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

juce::String bundlePath();

// The plug-in types that JUCE's scanner finds in the bundle.
juce::OwnedArray<juce::PluginDescription> scanBundle();

// A new instance of the bundle's one plug-in, prepared at the given rate and block size unless
// prepare is false. Null (with a test failure) when the host cannot create it.
std::unique_ptr<juce::AudioPluginInstance> createPlugin (bool prepare = true, double rate = sampleRate,
                                                         int maximumBlockSize = blockSize);

// The hosted parameter with this display name, or null.
juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& plugin, const juce::String& name);

// A block of audio with every channel set by the generator; a vector of channels of samples.
using Block = std::vector<std::vector<float>>;

Block makeBlock (int numChannels, int numSamples, float value = 0.0f);
Block impulseBlock (int numChannels, int numSamples);
Block noiseBlock (int numChannels, int numSamples, int seed);

// Runs one block through the plug-in and returns its output.
Block process (juce::AudioProcessor& plugin, const Block& input);

// Runs the given number of silent blocks and returns all output, channel by channel, joined.
Block processSilence (juce::AudioProcessor& plugin, int numChannels, int numBlocks);

bool allFinite (const Block& block);
double energy (const Block& block, int fromSample = 0, int toSample = -1);
float maxAbs (const Block& block);
}
