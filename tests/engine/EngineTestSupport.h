#pragma once

#include "engine/ReverbEngine.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace enginetest
{
// An engine prepared at a rate with a character and settings.
inline ReverbEngine engineAt (double rate, int character, EngineParameters params = {})
{
    ReverbEngine e;
    e.params = params;
    e.setCharacter (character);
    e.prepare (rate);
    return e;
}

// Cutoff in hertz that OnePole::setCutoff turned into this coefficient (inverse of its formula).
inline double cutoffHzOf (float coef, double sampleRate)
{
    return -std::log (1.0 - static_cast<double> (coef)) * sampleRate / (2.0 * 3.141592653589793);
}

inline float coefFor (float cutoffHz, double sampleRate)
{
    OnePole f;
    f.setCutoff (cutoffHz, sampleRate);
    return f.coef;
}

// Deterministic white noise in [-amplitude, amplitude).
inline void fillNoise (juce::AudioBuffer<float>& buffer, float amplitude, std::uint32_t seed = 12345u)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int n = 0; n < buffer.getNumSamples(); ++n)
        {
            seed = seed * 1664525u + 1013904223u;
            const float u = static_cast<float> (seed >> 8) * 0x1p-24f;
            buffer.setSample (ch, n, (u * 2.0f - 1.0f) * amplitude);
        }
}

// Bitwise comparison of two buffers of the same shape.
inline bool sameSamples (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return false;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int n = 0; n < a.getNumSamples(); ++n)
            if (std::memcmp (a.getReadPointer (ch) + n, b.getReadPointer (ch) + n, sizeof (float)) != 0)
                return false;
    return true;
}

inline bool isSilent (const DelayLine& line)
{
    for (int d = 2; d <= line.getSize() - 3; ++d)
        if (line.readCubic (static_cast<float> (d)) != 0.0f)
            return false;
    return true;
}

// Every delay line of the engine holds only zeros.
inline bool allLinesSilent (const ReverbEngine& e)
{
    bool silent = isSilent (e.preDelayLine) && isSilent (e.earlyLine);
    for (const auto& line : e.fdnLines)
        silent = silent && isSilent (line);
    for (const auto& stage : e.diffuserStages)
        silent = silent && isSilent (stage.line);
    for (const auto& stage : e.coilStages)
        silent = silent && isSilent (stage.line);
    return silent;
}

// Number of getNextValue calls a copy of the smoother needs to reach its target.
template <typename Smoother>
int stepsLeft (Smoother s)
{
    int steps = 0;
    while (s.isSmoothing() && steps < 1 << 24)
    {
        s.getNextValue();
        ++steps;
    }
    return steps;
}

// Ramp length of a smoother, measured on a copy by asking it for a new target.
template <typename Smoother>
int rampSteps (Smoother s)
{
    s.setCurrentAndTargetValue (0.0f);
    s.setTargetValue (1.0f);
    return stepsLeft (s);
}

// Everything prepare, setCharacter and updateCoefficients derive that the sound depends on,
// flattened for comparison.
inline std::vector<double> voicingOf (const ReverbEngine& e)
{
    std::vector<double> v{ e.sampleRate,
                           static_cast<double> (e.currentCharacterIndex),
                           static_cast<double> (e.activeDiffusers),
                           static_cast<double> (e.activeCoilStages),
                           static_cast<double> (e.earlyTapCount),
                           e.modDepthSamples,
                           e.inputHighpass.coef,
                           e.outputLowpassL.coef,
                           e.outputLowpassR.coef,
                           e.earlyLowpassL.coef,
                           e.earlyLowpassR.coef,
                           e.gateHoldSamples,
                           e.gateReleaseCoef,
                           e.mixSmoother.getCurrentValue(),
                           e.mixSmoother.getTargetValue(),
                           e.widthSmoother.getCurrentValue(),
                           e.widthSmoother.getTargetValue() };
    for (std::size_t i = 0; i < static_cast<std::size_t> (e.earlyTapCount); ++i)
    {
        v.push_back (e.earlyTapDelay[i]);
        v.push_back (e.earlyTapGain[i]);
    }
    // Stages that do not run keep whatever gain they had; only the running ones count.
    for (std::size_t i = 0; i < e.diffuserStages.size(); ++i)
    {
        v.push_back (e.diffuserStages[i].delaySamples);
        v.push_back (e.diffuserStages[i].line.getSize());
        if (static_cast<int> (i) < e.activeDiffusers)
            v.push_back (e.diffuserStages[i].gain);
    }
    for (std::size_t i = 0; i < e.coilStages.size(); ++i)
    {
        v.push_back (e.coilStages[i].delaySamples);
        v.push_back (e.coilStages[i].line.getSize());
        if (static_cast<int> (i) < e.activeCoilStages)
            v.push_back (e.coilStages[i].gain);
    }
    for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
    {
        v.push_back (e.fdnDelay[k]);
        v.push_back (e.fdnGain[k]);
        v.push_back (e.fdnDamping[k].coef);
        v.push_back (e.lfoIncrement[k]);
        v.push_back (e.fdnLines[k].getSize());
    }
    v.push_back (e.preDelayLine.getSize());
    v.push_back (e.earlyLine.getSize());
    return v;
}

// The sound in flight apart from line contents: filter memories, phases, gate, write positions.
inline std::vector<double> soundStateOf (const ReverbEngine& e)
{
    std::vector<double> v{ e.inputHighpass.z1,
                           e.outputLowpassL.z1,
                           e.outputLowpassR.z1,
                           e.earlyLowpassL.z1,
                           e.earlyLowpassR.z1,
                           e.gateGain,
                           e.gateHoldCounter,
                           e.gateEnvelope,
                           static_cast<double> (e.preDelayLine.getWriteIndex()),
                           static_cast<double> (e.earlyLine.getWriteIndex()) };
    for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
    {
        v.push_back (e.fdnDamping[k].z1);
        v.push_back (e.lfoPhase[k]);
        v.push_back (e.fdnLines[k].getWriteIndex());
    }
    for (const auto& stage : e.diffuserStages)
        v.push_back (stage.line.getWriteIndex());
    for (const auto& stage : e.coilStages)
        v.push_back (stage.line.getWriteIndex());
    return v;
}

inline int nextPowerOfTwoAtLeast (int n)
{
    int size = 4;
    while (size < n)
        size *= 2;
    return size;
}
}
