// The engine's sample loop. It computes exactly what a plain sample-by-sample loop over the
// building blocks computes (same operations in the same order per value), arranged for speed:
// - the eight feedback lines run as two 4-lane SSE2 vectors;
// - the early-reflection taps run four at a time;
// - the allpass stages, which sit outside the feedback loop, run one stage at a time over chunks
//   of samples, reading their whole-sample delays directly (the cubic read is the identity there);
// - per-block constants are computed once, outside the loops.

#include "ReverbEngine.h"

#include <xsimd/xsimd.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace
{
using f4 = xsimd::batch<float, xsimd::sse2>;
using i4 = xsimd::batch<std::int32_t, xsimd::sse2>;

constexpr int chunkSize = 64;
constexpr int maxTapSlots = 20; // the tap limit, already a multiple of four

// Catmull-Rom interpolation, operation for operation as DelayLine::readCubic.
inline f4 interpolate (f4 ym1, f4 y0, f4 y1, f4 y2, f4 t) noexcept
{
    const f4 c3 = (y0 - y1) * f4 (1.5f) + (y2 - ym1) * f4 (0.5f);
    const f4 c2 = ((ym1 - y0 * f4 (2.5f)) + (y1 + y1)) - y2 * f4 (0.5f);
    const f4 c1 = (y1 - ym1) * f4 (0.5f);
    return ((c3 * t + c2) * t + c1) * t + y0;
}

// The delay clamp of DelayLine::readCubic: [2, size - 3], NaN to 2.
inline f4 clampDelay (f4 delay, f4 top) noexcept
{
    return xsimd::select (delay >= f4 (2.0f), xsimd::select (delay < top, delay, top), f4 (2.0f));
}

// Four lanes of cubic reads, each lane from its own buffer at its own (clamped) delay.
struct LaneSource
{
    const float* data[4];
    int mask[4];
    f4 writeIndex;
    f4 size;
};

inline f4 readLanes (const LaneSource& src, f4 clampedDelay) noexcept
{
    f4 pos = src.writeIndex - clampedDelay;
    pos = xsimd::select (pos < f4 (0.0f), pos + src.size, pos);
    const i4 i = xsimd::to_int (pos);
    const f4 t = pos - xsimd::to_float (i);

    alignas (16) std::int32_t idx[4];
    i.store_aligned (idx);
    alignas (16) float ym1[4], y0[4], y1[4], y2[4];
    for (int l = 0; l < 4; ++l)
    {
        const float* d = src.data[l];
        const int m = src.mask[l];
        ym1[l] = d[(idx[l] - 1) & m];
        y0[l] = d[idx[l] & m];
        y1[l] = d[(idx[l] + 1) & m];
        y2[l] = d[(idx[l] + 2) & m];
    }
    return interpolate (f4::load_aligned (ym1), f4::load_aligned (y0), f4::load_aligned (y1), f4::load_aligned (y2), t);
}

inline f4 gather (const float* values, int first) noexcept
{
    return f4::load_unaligned (values + first);
}

// One allpass stage over a chunk, in place. Whole-sample delays inside the line read directly.
void runStage (Allpass& stage, float* samples, int count) noexcept
{
    const float delay = stage.delaySamples;
    const int size = stage.line.getSize();
    const bool wholeSample = delay >= 2.0f && delay <= static_cast<float> (size - 3) &&
                             delay == static_cast<float> (static_cast<int> (delay));
    if (!wholeSample)
    {
        for (int n = 0; n < count; ++n)
            samples[n] = stage.processSample (samples[n]);
        return;
    }

    const int d = static_cast<int> (delay);
    const float g = stage.gain;
    float* data = stage.line.data();
    const int mask = stage.line.getMask();
    int writeIndex = stage.line.getWriteIndex();
    for (int n = 0; n < count; ++n)
    {
        const float delayed = data[(writeIndex - d) & mask];
        const float w = delayed * g + samples[n];
        data[writeIndex] = w;
        writeIndex = (writeIndex + 1) & mask;
        samples[n] = delayed - w * g;
    }
    stage.line.setWriteIndex (writeIndex);
}
}

void ReverbEngine::process (juce::AudioBuffer<float>& buffer) noexcept
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    if (numChannels <= 0 || numSamples <= 0 || !isPrepared())
        return;

    float* left = buffer.getWritePointer (0);
    float* right = numChannels > 1 ? buffer.getWritePointer (1) : left;
    const bool stereo = numChannels > 1;

    const auto sr = static_cast<float> (sampleRate);
    float preDelay = params.predelay * 0.001f * sr;
    preDelay = preDelay < 1.0f ? 1.0f : std::min (preDelay, 0.25f * sr);
    const bool gateOn = currentCharacter.gateMs > 0.0f;
    const float earlyLevel = currentCharacter.earlyLevel;

    // Early taps: clamped once, padded to whole groups of four with silent taps.
    const int tapCount = std::clamp (earlyTapCount, 0, maxEarlyTaps);
    const int tapGroups = (tapCount + 3) / 4;
    alignas (16) float tapDelay[maxTapSlots];
    alignas (16) float tapGain[maxTapSlots];
    const f4 earlyTop (static_cast<float> (earlyLine.getSize()) - 3.0f);
    for (int j = 0; j < tapGroups * 4; ++j)
    {
        tapDelay[j] = j < tapCount ? earlyTapDelay[static_cast<std::size_t> (j)] : 2.0f;
        tapGain[j] = j < tapCount ? earlyTapGain[static_cast<std::size_t> (j)] : 0.0f;
    }
    for (int g = 0; g < tapGroups; ++g)
        clampDelay (f4::load_aligned (tapDelay + 4 * g), earlyTop).store_aligned (tapDelay + 4 * g);

    // The feedback lanes live in registers for the whole block.
    alignas (16) float lane[numLines];
    const auto loadLanes = [&lane] (auto value, f4& low, f4& high)
    {
        for (std::size_t k = 0; k < numLines; ++k)
            lane[k] = value (k);
        low = f4::load_aligned (lane);
        high = f4::load_aligned (lane + 4);
    };
    f4 phaseLo, phaseHi, incLo, incHi, delayLo, delayHi, gainLo, gainHi, zLo, zHi, coefLo, coefHi, topLo, topHi;
    loadLanes ([this] (std::size_t k) { return lfoPhase[k]; }, phaseLo, phaseHi);
    loadLanes ([this] (std::size_t k) { return lfoIncrement[k]; }, incLo, incHi);
    loadLanes ([this] (std::size_t k) { return fdnDelay[k]; }, delayLo, delayHi);
    loadLanes ([this] (std::size_t k) { return fdnGain[k]; }, gainLo, gainHi);
    loadLanes ([this] (std::size_t k) { return fdnDamping[k].z1; }, zLo, zHi);
    loadLanes ([this] (std::size_t k) { return fdnDamping[k].coef; }, coefLo, coefHi);
    loadLanes ([this] (std::size_t k) { return static_cast<float> (fdnLines[k].getSize()) - 3.0f; }, topLo, topHi);
    const f4 depth (modDepthSamples);

    LaneSource fdnLow{}, fdnHigh{};
    float* fdnData[numLines];
    int fdnMask[numLines];
    int fdnWrite[numLines];
    for (std::size_t k = 0; k < numLines; ++k)
    {
        fdnData[k] = fdnLines[k].data();
        fdnMask[k] = fdnLines[k].getMask();
        fdnWrite[k] = fdnLines[k].getWriteIndex();
        auto& src = k < 4 ? fdnLow : fdnHigh;
        src.data[k % 4] = fdnData[k];
        src.mask[k % 4] = fdnMask[k];
        lane[k] = static_cast<float> (fdnLines[k].getSize());
    }
    fdnLow.size = f4::load_aligned (lane);
    fdnHigh.size = f4::load_aligned (lane + 4);

    LaneSource early{};
    for (int l = 0; l < 4; ++l)
    {
        early.data[l] = earlyLine.data();
        early.mask[l] = earlyLine.getMask();
    }
    early.size = f4 (static_cast<float> (earlyLine.getSize()));

    alignas (16) float mono[chunkSize], diffused[chunkSize], earlyL[chunkSize], earlyR[chunkSize];
    alignas (16) float tap[maxTapSlots];
    alignas (16) float o[numLines], feedback[numLines], writeIndex[numLines];

    for (int start = 0; start < numSamples; start += chunkSize)
    {
        const int count = std::min (chunkSize, numSamples - start);
        float* outL = left + start;
        float* outR = right + start;

        // Input high-pass, pre-delay and early reflections.
        for (int n = 0; n < count; ++n)
        {
            const float x = (outR[n] + outL[n]) * 0.5f;
            mono[n] = x;
            const float h = x - inputHighpass.processSample (x);
            preDelayLine.write (h);
            const float p = preDelayLine.readCubic (preDelay);
            diffused[n] = p;

            earlyLine.write (p);
            early.writeIndex = f4 (static_cast<float> (earlyLine.getWriteIndex()));
            for (int g = 0; g < tapGroups; ++g)
                (readLanes (early, f4::load_aligned (tapDelay + 4 * g)) * f4::load_aligned (tapGain + 4 * g))
                    .store_aligned (tap + 4 * g);

            float sumL = 0.0f;
            float sumR = 0.0f;
            for (int j = 0; j < tapCount; j += 2)
                sumL += tap[j];
            for (int j = 1; j < tapCount; j += 2)
                sumR += tap[j];
            earlyL[n] = sumL;
            earlyR[n] = sumR;
        }

        // Diffusion: no feedback reaches it, so each stage can run over the whole chunk.
        for (int i = 0; i < std::clamp (activeDiffusers, 0, numDiffusers); ++i)
            runStage (diffuserStages[static_cast<std::size_t> (i)], diffused, count);
        for (int i = 0; i < std::clamp (activeCoilStages, 0, numCoilStages); ++i)
            runStage (coilStages[static_cast<std::size_t> (i)], diffused, count);

        for (int n = 0; n < count; ++n)
        {
            // Modulated feedback reads, eight lanes.
            phaseLo = phaseLo + incLo;
            phaseLo = xsimd::select (phaseLo >= f4 (1.0f), phaseLo - f4 (1.0f), phaseLo);
            phaseHi = phaseHi + incHi;
            phaseHi = xsimd::select (phaseHi >= f4 (1.0f), phaseHi - f4 (1.0f), phaseHi);

            // The sine stays the C library's, so the loop computes exactly the scalar result.
            alignas (16) float angle[numLines], sine[numLines];
            (phaseLo * f4 (6.2831855f)).store_aligned (angle);
            (phaseHi * f4 (6.2831855f)).store_aligned (angle + 4);
            for (std::size_t k = 0; k < numLines; ++k)
                sine[k] = std::sin (angle[k]);

            for (std::size_t k = 0; k < numLines; ++k)
                writeIndex[k] = static_cast<float> (fdnWrite[k]);
            fdnLow.writeIndex = f4::load_aligned (writeIndex);
            fdnHigh.writeIndex = f4::load_aligned (writeIndex + 4);

            const f4 yLo = readLanes (fdnLow, clampDelay (gather (sine, 0) * depth + delayLo, topLo));
            const f4 yHi = readLanes (fdnHigh, clampDelay (gather (sine, 4) * depth + delayHi, topHi));
            zLo = (yLo - zLo) * coefLo + zLo;
            zHi = (yHi - zHi) * coefHi + zHi;
            zLo.store_aligned (o);
            zHi.store_aligned (o + 4);

            // Householder mixing, summed in index order, and the feedback writes.
            const float sum = ((((((o[0] + o[1]) + o[2]) + o[3]) + o[4]) + o[5]) + o[6]) + o[7];
            const f4 e (sum * 0.25f);
            const f4 a (diffused[n]);
            ((zLo - e) * gainLo + a).store_aligned (feedback);
            ((zHi - e) * gainHi + a).store_aligned (feedback + 4);
            for (std::size_t k = 0; k < numLines; ++k)
            {
                fdnData[k][fdnWrite[k]] = feedback[k];
                fdnWrite[k] = (fdnWrite[k] + 1) & fdnMask[k];
            }

            // Early and output low-passes, gate, width and mix.
            const float eL = earlyLowpassL.processSample (earlyL[n]);
            const float eR = earlyLowpassR.processSample (earlyR[n]);
            const float wL = (o[0] + o[2] - o[4] - o[6]) * 0.35f + earlyLevel * eL;
            const float wR = (o[1] - o[3] + o[5] - o[7]) * 0.35f + earlyLevel * eR;
            float wetL = outputLowpassL.processSample (wL);
            float wetR = outputLowpassR.processSample (wR);

            if (gateOn)
            {
                const float ax = std::abs (mono[n]);
                const float r = ax > gateEnvelope ? 0.05f : 0.0008f;
                gateEnvelope = gateEnvelope + (ax - gateEnvelope) * r;

                if (gateEnvelope > 0.015f)
                    gateHoldCounter = gateHoldSamples;

                if (gateHoldCounter > 0.0f)
                {
                    gateHoldCounter = gateHoldCounter - 1.0f;
                    gateGain = gateGain + (1.0f - gateGain) * 0.08f;
                }
                else
                {
                    gateGain = gateGain * gateReleaseCoef;
                }

                wetL = wetL * gateGain;
                wetR = wetR * gateGain;
            }

            const float w = widthSmoother.getNextValue();
            const float m = mixSmoother.getNextValue();
            const float mid = (wetR + wetL) * 0.5f;
            const float side = (wetL - wetR) * 0.5f * w;

            const float dL = outL[n];
            const float dR = outR[n];
            outL[n] = (1.0f - m) * dL + m * (side + mid);
            if (stereo)
                outR[n] = (1.0f - m) * dR + m * (mid - side);
        }
    }

    phaseLo.store_aligned (lane);
    phaseHi.store_aligned (lane + 4);
    for (std::size_t k = 0; k < numLines; ++k)
        lfoPhase[k] = lane[k];
    zLo.store_aligned (lane);
    zHi.store_aligned (lane + 4);
    for (std::size_t k = 0; k < numLines; ++k)
    {
        fdnDamping[k].z1 = lane[k];
        fdnLines[k].setWriteIndex (fdnWrite[k]);
    }

    // Non-finite guard: a NaN or infinity anywhere drops the sound in flight and silences the block.
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const float* data = buffer.getReadPointer (ch);
        for (int n = 0; n < numSamples; ++n)
        {
            if (!std::isfinite (data[n]))
            {
                reset();
                buffer.clear();
                return;
            }
        }
    }
}
