#pragma once

#include <array>

// The nine continuous parameters, in host order after "character". One table feeds the layout,
// the per-block hand-over and its fallback values.
struct FloatParameterInfo
{
    const char* id;
    const char* name;
    float start;
    float end;
    float interval;
    float skew;
    float defaultValue;
    const char* label;
    float engineScale; // plain value times this gives the engine's unit
};

inline constexpr const char* characterParameterId = "character";
inline constexpr int defaultCharacterIndex = 2;

inline constexpr std::array<FloatParameterInfo, 9> floatParameterTable{ {
    // clang-format off
    { "mix",        "Mix",        0.0f,    100.0f,   0.1f,  1.0f,  35.0f,   "%",  0.01f },
    { "size",       "Size",       25.0f,   200.0f,   0.1f,  1.0f,  100.0f,  "%",  0.01f },
    { "decay",      "Decay",      0.2f,    20.0f,    0.01f, 0.35f, 2.0f,    "s",  1.0f  },
    { "predelay",   "Pre-Delay",  0.0f,    250.0f,   0.1f,  1.0f,  20.0f,   "ms", 1.0f  },
    { "damping",    "Damping",    0.0f,    100.0f,   0.1f,  1.0f,  50.0f,   "%",  0.01f },
    { "modulation", "Modulation", 0.0f,    100.0f,   0.1f,  1.0f,  50.0f,   "%",  0.01f },
    { "width",      "Width",      0.0f,    100.0f,   0.1f,  1.0f,  100.0f,  "%",  0.01f },
    { "lowcut",     "Low Cut",    20.0f,   1000.0f,  1.0f,  0.35f, 100.0f,  "Hz", 1.0f  },
    { "highcut",    "High Cut",   1000.0f, 20000.0f, 1.0f,  0.35f, 9000.0f, "Hz", 1.0f  },
    // clang-format on
} };
