#pragma once

#include "DelayLine.h"

// Schroeder allpass (z^-D - g) / (1 - g z^-D) on a DelayLine; reads before it writes.
struct Allpass
{
    DelayLine line;
    float delaySamples = 1.0f;
    float gain = 0.5f;

    float processSample (float x) noexcept
    {
        const float d = line.readCubic (delaySamples);
        const float w = d * gain + x;
        line.write (w);
        return d - w * gain;
    }
};
