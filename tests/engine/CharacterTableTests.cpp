#include "engine/CharacterPreset.h"
#include "engine/ReverbEngine.h"

#include <gtest/gtest.h>

#include <string>

TEST (CharacterTable, HasTheTenCharactersInChoiceOrder)
{
    const char* const expected[] = { "Foil", "Chamber", "Hall",  "Basilica", "Room",
                                     "Coil", "Gate",    "Bloom", "Halo",     "Void" };
    ASSERT_EQ (characterTable.size(), 10u);
    for (std::size_t i = 0; i < characterTable.size(); ++i)
        EXPECT_EQ (std::string (characterTable[i].name), expected[i]) << "row " << i;
}

TEST (CharacterTable, FoilHasNoEarlyReflections)
{
    const auto& foil = characterTable[0];
    EXPECT_EQ (foil.earlyTaps, 0);
    EXPECT_EQ (foil.earlySpreadMs, 0.0f);
    EXPECT_EQ (foil.earlyLevel, 0.0f);
}

TEST (CharacterTable, OnlyCoilHasCoilStagesAndOnlyGateHasAGate)
{
    for (std::size_t i = 0; i < characterTable.size(); ++i)
    {
        const auto& c = characterTable[i];
        EXPECT_EQ (c.coil > 0.0f, i == 5) << c.name;
        EXPECT_EQ (c.gateMs > 0.0f, i == 6) << c.name;
    }
    EXPECT_EQ (characterTable[5].coil, 0.85f);
    EXPECT_EQ (characterTable[6].gateMs, 220.0f);
}

TEST (CharacterTable, VoicingStaysWithinTheEngineLimits)
{
    int mostTaps = 0;
    int mostDiffusers = 0;
    float mostDiffusion = 0.0f;
    for (const auto& c : characterTable)
    {
        EXPECT_GE (c.earlyTaps, 0) << c.name;
        EXPECT_LE (c.earlyTaps, ReverbEngine::maxEarlyTaps) << c.name;
        EXPECT_GE (c.diffusers, 0) << c.name;
        EXPECT_LE (c.diffusers, ReverbEngine::numDiffusers) << c.name;
        EXPECT_GE (c.diffusion, 0.0f) << c.name;
        EXPECT_LT (c.diffusion, 0.95f) << c.name;
        EXPECT_GT (c.sizeScale, 0.0f) << c.name;
        EXPECT_GT (c.decayScale, 0.0f) << c.name;
        mostTaps = std::max (mostTaps, c.earlyTaps);
        mostDiffusers = std::max (mostDiffusers, c.diffusers);
        mostDiffusion = std::max (mostDiffusion, c.diffusion);
    }
    EXPECT_EQ (mostTaps, 17);
    EXPECT_EQ (mostDiffusers, 8);
    EXPECT_EQ (mostDiffusion, 0.81f);
    EXPECT_EQ (characterTable[3].earlyTaps, 17); // Basilica
}

TEST (CharacterTable, ColoursAreOpaque)
{
    for (const auto& c : characterTable)
    {
        EXPECT_EQ (c.background >> 24, 0xffu) << c.name;
        EXPECT_EQ (c.accent >> 24, 0xffu) << c.name;
    }
    EXPECT_EQ (characterTable[0].background, 0xfff7efd6u);
    EXPECT_EQ (characterTable[9].accent, 0xff5a6b8cu);
}
