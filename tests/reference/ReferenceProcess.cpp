#include "ReferenceProcess.h"

#include <algorithm>
#include <cmath>

void referenceProcess (ReverbEngine& engine, juce::AudioBuffer<float>& buffer)
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    if (numChannels <= 0 || numSamples <= 0 || !engine.isPrepared())
        return;

    float* left = buffer.getWritePointer (0);
    float* right = numChannels > 1 ? buffer.getWritePointer (1) : left;
    const bool stereo = numChannels > 1;

    const auto sr = static_cast<float> (engine.sampleRate);
    float preDelay = engine.params.predelay * 0.001f * sr;
    preDelay = preDelay < 1.0f ? 1.0f : std::min (preDelay, 0.25f * sr);
    const bool gateOn = engine.currentCharacter.gateMs > 0.0f;
    const float earlyLevel = engine.currentCharacter.earlyLevel;

    for (int n = 0; n < numSamples; ++n)
    {
        const float dL = left[n];
        const float dR = right[n];
        const float x = (dR + dL) * 0.5f;

        const float h = x - engine.inputHighpass.processSample (x);

        engine.preDelayLine.write (h);
        const float p = engine.preDelayLine.readCubic (preDelay);

        engine.earlyLine.write (p);
        float eSumL = 0.0f;
        float eSumR = 0.0f;
        for (int j = 0; j < engine.earlyTapCount; ++j)
        {
            const auto tap = static_cast<std::size_t> (j);
            const float t = engine.earlyLine.readCubic (engine.earlyTapDelay[tap]) * engine.earlyTapGain[tap];
            if ((j & 1) == 0)
                eSumL += t;
            else
                eSumR += t;
        }

        float a = p;
        for (int i = 0; i < engine.activeDiffusers; ++i)
            a = engine.diffuserStages[static_cast<std::size_t> (i)].processSample (a);
        for (int i = 0; i < engine.activeCoilStages; ++i)
            a = engine.coilStages[static_cast<std::size_t> (i)].processSample (a);

        std::array<float, ReverbEngine::numLines> o;
        for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
        {
            float phase = engine.lfoPhase[k] + engine.lfoIncrement[k];
            if (phase >= 1.0f)
                phase -= 1.0f;
            engine.lfoPhase[k] = phase;

            const float delay = std::sin (phase * 6.2831855f) * engine.modDepthSamples + engine.fdnDelay[k];
            o[k] = engine.fdnDamping[k].processSample (engine.fdnLines[k].readCubic (delay));
        }

        float sum = 0.0f;
        for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
            sum += o[k];
        const float e = sum * 0.25f;

        for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
            engine.fdnLines[k].write ((o[k] - e) * engine.fdnGain[k] + a);

        const float eL = engine.earlyLowpassL.processSample (eSumL);
        const float eR = engine.earlyLowpassR.processSample (eSumR);

        const float wL = (o[0] + o[2] - o[4] - o[6]) * 0.35f + earlyLevel * eL;
        const float wR = (o[1] - o[3] + o[5] - o[7]) * 0.35f + earlyLevel * eR;

        float wetL = engine.outputLowpassL.processSample (wL);
        float wetR = engine.outputLowpassR.processSample (wR);

        if (gateOn)
        {
            const float ax = std::abs (x);
            const float r = ax > engine.gateEnvelope ? 0.05f : 0.0008f;
            engine.gateEnvelope = engine.gateEnvelope + (ax - engine.gateEnvelope) * r;

            if (engine.gateEnvelope > 0.015f)
                engine.gateHoldCounter = engine.gateHoldSamples;

            if (engine.gateHoldCounter > 0.0f)
            {
                engine.gateHoldCounter = engine.gateHoldCounter - 1.0f;
                engine.gateGain = engine.gateGain + (1.0f - engine.gateGain) * 0.08f;
            }
            else
            {
                engine.gateGain = engine.gateGain * engine.gateReleaseCoef;
            }

            wetL = wetL * engine.gateGain;
            wetR = wetR * engine.gateGain;
        }

        const float w = engine.widthSmoother.getNextValue();
        const float m = engine.mixSmoother.getNextValue();

        const float mid = (wetR + wetL) * 0.5f;
        const float side = (wetL - wetR) * 0.5f * w;

        left[n] = (1.0f - m) * dL + m * (side + mid);
        if (stereo)
            right[n] = (1.0f - m) * dR + m * (mid - side);
    }

    // Non-finite guard: a NaN or infinity anywhere drops the sound in flight and silences the block.
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const float* data = buffer.getReadPointer (ch);
        for (int n = 0; n < numSamples; ++n)
        {
            if (!std::isfinite (data[n]))
            {
                engine.reset();
                buffer.clear();
                return;
            }
        }
    }
}
