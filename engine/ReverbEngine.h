#pragma once

#include "Allpass.h"
#include "CharacterPreset.h"
#include "DelayLine.h"
#include "EngineParameters.h"
#include "OnePole.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

// The whole reverb: pre-delay, early reflections, diffusing allpasses, an eight-line modulated
// feedback delay network, tone filters, an optional gate, width and dry/wet mix.
// Only prepare() allocates; everything else is safe on the audio thread.
class ReverbEngine
{
public:
    static constexpr int maxEarlyTaps = 20;
    static constexpr int numDiffusers = 8;
    static constexpr int numCoilStages = 8;
    static constexpr int numLines = 8;

    static constexpr std::array<float, 8> diffuserDelayMs{
        4.77f, 7.31f, 11.13f, 15.73f, 19.31f, 23.79f, 29.17f, 34.61f
    };
    static constexpr std::array<float, 8> coilDelayMs{ 0.71f, 0.93f, 1.19f, 1.37f, 1.63f, 1.87f, 2.11f, 2.33f };
    static constexpr std::array<float, 8> fdnBaseDelayMs{
        23.71f, 29.33f, 34.11f, 41.73f, 47.31f, 53.87f, 61.13f, 67.39f
    };

    // The output gate: the input's envelope falls by this share per sample, the gate holds while
    // the envelope is above the threshold, then closes with this release time.
    static constexpr float gateEnvelopeFall = 0.0008f;
    static constexpr float gateThreshold = 0.015f;
    static constexpr float gateReleaseSeconds = 0.025f;

    ReverbEngine();

    // Sizes every line for the rate and leaves a silent engine voiced by the current character.
    // A rate that is not a positive finite number keeps the rate in force. Throws std::bad_alloc
    // when the storage cannot be had, leaving the engine as it was.
    void prepare (double newSampleRate);
    void reset() noexcept;
    void setCharacter (int index) noexcept;
    void updateCoefficients() noexcept;
    void process (juce::AudioBuffer<float>& buffer) noexcept;

    bool isPrepared() const noexcept { return preDelayLine.isPrepared(); }

    // max(1, nearest integer to ms x 0.001 x sampleRate), formed in single precision.
    static int msToSamples (float ms, double sampleRate) noexcept;

    // Seconds the output rings once the input stops: at least the time it takes to fall 60 dB
    // below its peak after a burst of up to full scale (for the gate, up to +24 dBFS). Worked out
    // from the voicing and the settings alone, in double precision, without an engine.
    static double tailSeconds (const CharacterPreset& character, const EngineParameters& settings,
                               double sampleRate) noexcept;

    // Whether the sample loop may use AVX2 (eight lanes) rather than SSE2 (four): both compute
    // the same samples. The wider loop runs only where the build and the CPU have it.
    static bool wideLanesAvailable() noexcept;
    bool useWideLanes = true;

    double sampleRate = 44100.0;
    EngineParameters params;
    CharacterPreset currentCharacter = characterTable[0];
    int currentCharacterIndex = 0;
    int activeDiffusers = 0;
    int activeCoilStages = 0;

    DelayLine preDelayLine;
    DelayLine earlyLine;
    std::array<float, maxEarlyTaps> earlyTapDelay{};
    std::array<float, maxEarlyTaps> earlyTapGain{};
    int earlyTapCount = 0;

    std::array<Allpass, numDiffusers> diffuserStages;
    std::array<Allpass, numCoilStages> coilStages;
    OnePole earlyLowpassL;
    OnePole earlyLowpassR;

    std::array<DelayLine, numLines> fdnLines;
    std::array<OnePole, numLines> fdnDamping;
    std::array<float, numLines> fdnDelay{};
    std::array<float, numLines> fdnGain{};
    std::array<float, numLines> lfoPhase{};
    std::array<float, numLines> lfoIncrement{};
    float modDepthSamples = 0.0f;

    OnePole inputHighpass;
    OnePole outputLowpassL;
    OnePole outputLowpassR;

    float gateGain = 0.0f;
    float gateHoldCounter = 0.0f;
    float gateHoldSamples = 0.0f;
    float gateReleaseCoef = 0.999f;
    float gateEnvelope = 0.0f;

    juce::SmoothedValue<float, juce::ValueSmoothingTypes::Linear> mixSmoother;
    juce::SmoothedValue<float, juce::ValueSmoothingTypes::Linear> widthSmoother;

private:
    // Calls fn (line, samples) for every delay line with the length it needs at the rate.
    template <typename Fn>
    void forEachLine (double rate, Fn&& fn);

    // What the coefficients were last computed from: a block whose settings did not change skips
    // the 30 powers and exponentials of updateCoefficients.
    struct CoefficientInputs
    {
        EngineParameters params;
        CharacterPreset character;
        double sampleRate = 0.0;
        bool valid = false;
    };
    CoefficientInputs lastCoefficientInputs;
};
