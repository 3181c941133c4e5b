#pragma once

#include <cmath>

// One-pole low-pass; input minus its output is the matching high-pass.
struct OnePole
{
    float coef = 0.5f;
    float z1 = 0.0f;

    // Cutoff is held within 10 Hz .. 0.49 x the sample rate.
    void setCutoff (float cutoffHz, double sampleRate) noexcept
    {
        const auto sr = static_cast<float> (sampleRate);
        const float top = 0.49f * sr;
        const float fc = cutoffHz >= 10.0f ? (cutoffHz < top ? cutoffHz : top) : 10.0f;
        coef = 1.0f - std::exp (fc * (-6.2831855f) / sr);
    }

    float processSample (float x) noexcept
    {
        z1 = (x - z1) * coef + z1;
        return z1;
    }
};
