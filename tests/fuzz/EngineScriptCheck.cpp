#include "FuzzChecks.h"

#include "engine/ReverbEngine.h"
#include "processor/ParameterTable.h"
#include "processor/QuolbaneProcessor.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace
{
constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

constexpr std::array<float, 16> specialValues{
    nan,   inf,  -inf, 0.0f, -0.0f, 1.17549435e-38f, 1e-45f, 1e-30f, 3.40282347e38f, -3.40282347e38f, 1e30f,
    -1e6f, 1e6f, 0.5f, 1.0f, -1.0f
};

// Host rates plus values a host should never send; the engine keeps its rate for the non-positive ones.
constexpr std::array<double, 16> sampleRates{ 8000.0,
                                              22050.0,
                                              44100.0,
                                              48000.0,
                                              88200.0,
                                              96000.0,
                                              192000.0,
                                              384000.0,
                                              11025.0,
                                              1000.0,
                                              1.0,
                                              0.0,
                                              -48000.0,
                                              std::numeric_limits<double>::quiet_NaN(),
                                              std::numeric_limits<double>::infinity(),
                                              32000.0 };

constexpr int maxBlock = 8192;
constexpr int sampleBudget = maxBlock;

struct Reader
{
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    bool done() const { return pos >= size; }
    std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
    float rawFloat()
    {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= static_cast<std::uint32_t> (byte()) << (8 * i);
        float f;
        std::memcpy (&f, &bits, sizeof f);
        return f;
    }
};

// A value for a parameter: raw bits, a special value, inside the range, or far outside it.
float pickValue (Reader& r, float start, float end)
{
    switch (r.byte() % 4)
    {
        case 0:
            return r.rawFloat();
        case 1:
            return specialValues[r.byte() % specialValues.size()];
        case 2:
            return start + (end - start) * static_cast<float> (r.byte()) / 255.0f;
        default:
            return (r.byte() & 1 ? 1.0f : -1.0f) * std::pow (10.0f, static_cast<float> (r.byte() % 40));
    }
}

void fillInput (Reader& r, juce::AudioBuffer<float>& buffer, int numSamples)
{
    const auto kind = r.byte() % 5;
    std::uint32_t seed = r.byte() + 1u;
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        auto* x = buffer.getWritePointer (ch);
        for (int n = 0; n < numSamples; ++n)
        {
            seed = seed * 1664525u + 1013904223u;
            switch (kind)
            {
                case 0:
                    x[n] = 0.0f;
                    break;
                case 1:
                    x[n] = r.done() ? 0.0f : r.rawFloat();
                    break;
                case 2:
                    x[n] = (seed >> 28) < 2 ? specialValues[(seed >> 8) % specialValues.size()] : 0.0f;
                    break;
                case 3:
                    x[n] = static_cast<float> (seed >> 8) / 8388608.0f - 1.0f;
                    break;
                default:
                    x[n] = n == 0 ? 1.0f : 0.0f;
                    break;
            }
        }
    }
}

std::string firstNonFinite (const juce::AudioBuffer<float>& buffer, int numSamples, int block)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int n = 0; n < numSamples; ++n)
            if (!std::isfinite (buffer.getSample (ch, n)))
                return "block " + std::to_string (block) + ": channel " + std::to_string (ch) + " sample " +
                       std::to_string (n) + " is not finite";
    return {};
}

float* engineField (EngineParameters& p, int k)
{
    std::array<float*, 9> fields{ &p.mix,        &p.size,  &p.decay,  &p.predelay, &p.damping,
                                  &p.modulation, &p.width, &p.lowcut, &p.highcut };
    return fields[static_cast<std::size_t> (k % 9)];
}
}

std::string FuzzChecks::engineScript (const std::uint8_t* data, std::size_t size)
{
    Reader r{ data, size };
    const auto flags = r.byte();
    const bool viaProcessor = (flags & 1) != 0;
    const int numChannels = viaProcessor ? ((flags & 2) != 0 ? 2 : 1) : 1 + (flags >> 1) % 3;
    const bool flushDenormals = (flags & 8) != 0;
    const double firstRate = sampleRates[r.byte() % 8]; // a real host rate to start with

    ReverbEngine engine;
    std::unique_ptr<QuolbaneProcessor> processor;
    if (viaProcessor)
    {
        processor = std::make_unique<QuolbaneProcessor>();
        const auto set = numChannels == 2 ? juce::AudioChannelSet::stereo() : juce::AudioChannelSet::mono();
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (set);
        layout.outputBuses.add (set);
        processor->setBusesLayout (layout);
        processor->prepareToPlay (firstRate, 512);
    }
    else
    {
        engine.prepare (firstRate);
    }

    juce::AudioBuffer<float> buffer (numChannels, maxBlock);
    juce::MidiBuffer midi;
    int samplesLeft = sampleBudget;
    int block = 0;

    while (!r.done() && samplesLeft > 0)
    {
        switch (r.byte() % 5)
        {
            case 0: // character
            {
                const auto b = r.byte();
                if (viaProcessor)
                    processor->getParameters()[0]->setValueNotifyingHost (static_cast<float> (b) / 255.0f);
                else
                    engine.setCharacter (static_cast<std::int8_t> (b));
                break;
            }
            case 1: // one of the nine continuous values
            {
                const int k = r.byte() % 9;
                const auto& info = floatParameterTable[static_cast<std::size_t> (k)];
                if (viaProcessor)
                {
                    // A normalised value, sometimes far outside 0..1 or NaN, as a faulty host might send.
                    processor->getParameters()[k + 1]->setValueNotifyingHost (pickValue (r, 0.0f, 1.0f));
                }
                else
                {
                    *engineField (engine.params, k) =
                        pickValue (r, info.start * info.engineScale, info.end * info.engineScale);
                    engine.updateCoefficients();
                }
                break;
            }
            case 2: // a block
            {
                const int lo = r.byte();
                const int hi = r.byte();
                const int numSamples = juce::jmin ((hi << 8 | lo) % (maxBlock + 1), samplesLeft);
                samplesLeft -= juce::jmax (1, numSamples);
                fillInput (r, buffer, numSamples);

                juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), numChannels, numSamples);
                if (viaProcessor)
                {
                    processor->processBlock (view, midi);
                }
                else if (flushDenormals)
                {
                    juce::ScopedNoDenormals noDenormals;
                    engine.process (view);
                }
                else
                {
                    engine.process (view);
                }

                if (auto failure = firstNonFinite (buffer, numSamples, block++); !failure.empty())
                    return failure;
                break;
            }
            case 3: // a new sample rate
            {
                const double rate = sampleRates[r.byte() % sampleRates.size()];
                if (viaProcessor)
                    processor->prepareToPlay (rate, r.byte() * 32);
                else
                    engine.prepare (rate);
                break;
            }
            default:
                if (viaProcessor)
                    processor->reset();
                else
                    engine.reset();
                break;
        }
    }
    return {};
}
