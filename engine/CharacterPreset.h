#pragma once

#include <array>
#include <cstdint>

// One voicing of the reverb: display name, editor colours and the values that shape the engine.
struct CharacterPreset
{
    const char* name;
    std::uint32_t background; // ARGB
    std::uint32_t accent;     // ARGB
    float sizeScale;
    float decayScale;
    float compactness;
    float earlyLevel;
    float earlySpreadMs;
    std::int32_t earlyTaps;
    float diffusion;
    std::int32_t diffusers;
    float modDepthMs;
    float modRateHz;
    float dampingHz;
    float bassCutHz;
    float coil;
    float gateMs;
};

inline constexpr int numCharacters = 10;

// Row order is the order of the "character" choice and of the editor's list.
inline constexpr std::array<CharacterPreset, numCharacters> characterTable{ {
    // clang-format off
    // name        background   accent       size   decay  compact early  spread  taps diffus.  n  modMs  modHz  dampHz   bassHz coil   gateMs
    { "Foil",     0xfff7efd6u, 0xffc79a32u, 0.55f, 0.85f, 0.85f,  0.0f,  0.0f,   0,  0.74f,   8, 0.35f, 0.9f,  7800.0f, 180.0f, 0.0f,  0.0f   },
    { "Chamber",  0xfffbe8dcu, 0xffce6e3cu, 0.8f,  1.0f,  0.6f,   0.35f, 38.0f,  9,  0.66f,   6, 0.25f, 0.55f, 5200.0f, 120.0f, 0.0f,  0.0f   },
    { "Hall",     0xffe4eefau, 0xff3d77bcu, 1.35f, 1.45f, 0.45f,  0.28f, 75.0f,  13, 0.71f,   7, 0.6f,  0.35f, 4200.0f, 90.0f,  0.0f,  0.0f   },
    { "Basilica", 0xffede6fau, 0xff7a55c4u, 2.1f,  2.4f,  0.3f,   0.22f, 140.0f, 17, 0.76f,   8, 0.8f,  0.22f, 2600.0f, 70.0f,  0.0f,  0.0f   },
    { "Room",     0xfff8f0dcu, 0xffad8b45u, 0.35f, 0.45f, 0.75f,  0.62f, 22.0f,  11, 0.52f,   3, 0.15f, 0.7f,  6400.0f, 160.0f, 0.0f,  0.0f   },
    { "Coil",     0xffe3f3e4u, 0xff3f8f52u, 0.3f,  0.7f,  0.9f,   0.1f,  14.0f,  5,  0.4f,    2, 0.2f,  1.1f,  4600.0f, 260.0f, 0.85f, 0.0f   },
    { "Gate",     0xfffde6e3u, 0xffd2543fu, 0.65f, 1.0f,  0.8f,   0.3f,  30.0f,  9,  0.72f,   5, 0.1f,  0.5f,  6800.0f, 150.0f, 0.0f,  220.0f },
    { "Bloom",    0xfffbe5f0u, 0xffc2538fu, 1.6f,  1.9f,  0.35f,  0.08f, 110.0f, 7,  0.79f,   8, 1.4f,  0.28f, 3400.0f, 110.0f, 0.0f,  0.0f   },
    { "Halo",     0xffdff2f6u, 0xff2892a6u, 1.0f,  1.15f, 0.5f,   0.18f, 55.0f,  11, 0.69f,   6, 1.0f,  0.75f, 9000.0f, 200.0f, 0.0f,  0.0f   },
    { "Void",     0xffe7ebf2u, 0xff5a6b8cu, 1.8f,  4.5f,  0.25f,  0.05f, 90.0f,  5,  0.81f,   8, 0.5f,  0.18f, 3000.0f, 60.0f,  0.0f,  0.0f   },
    // clang-format on
} };
