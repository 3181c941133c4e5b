#pragma once

// The nine continuous settings, in engine units (fractions, seconds, milliseconds, hertz).
struct EngineParameters
{
    float mix = 0.35f;
    float size = 1.0f;
    float decay = 2.0f;
    float predelay = 20.0f;
    float damping = 0.5f;
    float modulation = 0.5f;
    float width = 1.0f;
    float lowcut = 100.0f;
    float highcut = 9000.0f;
};
