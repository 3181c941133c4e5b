#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace enginetest;

namespace
{

constexpr int foil = 0, chamber = 1, hall = 2, basilica = 3, room = 4, coil = 5, gate = 6, halo = 8, voidChar = 9;
}

TEST (ReverbEngineVoicing, IndexIsClampedToTheTable)
{
    struct Case
    {
        int asked;
        int applied;
    };
    ReverbEngine e;
    e.prepare (48000.0);
    for (auto c : { Case{ -3, foil }, Case{ 12, voidChar }, Case{ std::numeric_limits<int>::min(), foil },
                    Case{ std::numeric_limits<int>::max(), voidChar }, Case{ room, room }, Case{ 0, foil },
                    Case{ 9, voidChar } })
    {
        e.setCharacter (c.asked);
        EXPECT_EQ (e.currentCharacterIndex, c.applied) << c.asked;
        EXPECT_STREQ (e.currentCharacter.name, characterTable[static_cast<std::size_t> (c.applied)].name) << c.asked;
        EXPECT_EQ (e.earlyTapCount, characterTable[static_cast<std::size_t> (c.applied)].earlyTaps) << c.asked;
    }
}

TEST (ReverbEngineVoicing, FoilRunsEightDiffusersAndLeavesTheTapsAlone)
{
    auto e = engineAt (48000.0, chamber);
    const auto delays = e.earlyTapDelay;
    const auto gains = e.earlyTapGain;

    e.setCharacter (foil);
    EXPECT_EQ (e.earlyTapCount, 0);
    EXPECT_EQ (e.earlyTapDelay, delays);
    EXPECT_EQ (e.earlyTapGain, gains);
    EXPECT_EQ (e.activeDiffusers, 8);
    for (const auto& stage : e.diffuserStages)
        EXPECT_EQ (stage.gain, 0.74f);
    EXPECT_EQ (e.activeCoilStages, 0);
}

TEST (ReverbEngineVoicing, CoilRunsEightCoilStagesAfterTwoDiffusers)
{
    auto e = engineAt (48000.0, foil); // all eight diffusers at 0.74
    e.setCharacter (coil);
    EXPECT_EQ (e.activeCoilStages, 8);
    for (const auto& stage : e.coilStages)
        EXPECT_EQ (stage.gain, 0.85f * 0.35f + 0.55f);
    EXPECT_EQ (e.activeDiffusers, 2);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ (e.diffuserStages[i].gain, i < 2 ? 0.4f : 0.74f) << i; // inactive stages keep their gain
    EXPECT_EQ (e.earlyTapCount, 5);

    e.setCharacter (hall);
    EXPECT_EQ (e.activeCoilStages, 0);
    EXPECT_EQ (e.activeDiffusers, 7);
}

TEST (ReverbEngineVoicing, ChamberTapsHaveTheirSignsGainsAndPositions)
{
    const auto e = engineAt (48000.0, chamber);
    ASSERT_EQ (e.earlyTapCount, 9);
    const float signs[9] = { +1, -1, +1, -1, -1, +1, +1, +1, +1 };
    for (std::size_t i = 0; i < 9; ++i)
    {
        const double magnitude = std::exp (-2.2 * static_cast<double> (i + 1) / 9.0) / 3.0;
        EXPECT_NEAR (e.earlyTapGain[i], signs[i] * magnitude, 1.0e-6) << "tap " << i;
        // m^2 x 38 ms x (0.85 .. 1.15) + 1 ms
        const double m = static_cast<double> (i + 1) / 9.0;
        const double ms = e.earlyTapDelay[i] / 48.0;
        EXPECT_GE (ms, m * m * 38.0 * 0.85 + 1.0 - 1.0e-4) << "tap " << i;
        EXPECT_LE (ms, m * m * 38.0 * 1.15 + 1.0 + 1.0e-4) << "tap " << i;
    }
    EXPECT_NEAR (e.earlyTapDelay[0], 73.7, 0.05);
    EXPECT_NEAR (e.earlyTapDelay[8] / 48.0, 42.7, 0.05);
}

TEST (ReverbEngineVoicing, BasilicaTapsKeepGenerationOrder)
{
    const auto e = engineAt (48000.0, basilica);
    ASSERT_EQ (e.earlyTapCount, 17);
    EXPECT_NEAR (e.earlyTapDelay[12] / 48.0, 89.7, 0.05);
    EXPECT_NEAR (e.earlyTapDelay[13] / 48.0, 87.4, 0.05);
    EXPECT_LT (e.earlyTapDelay[13], e.earlyTapDelay[12]);
}

TEST (ReverbEngineVoicing, TapsAreReproducibleAndFitTheEarlyLine)
{
    for (double rate : { 8000.0, 44100.0, 48000.0, 192000.0 })
        for (int character = 0; character < numCharacters; ++character)
        {
            auto e = engineAt (rate, character);
            const auto voicing = voicingOf (e);
            e.setCharacter ((character + 3) % numCharacters);
            e.setCharacter (character);
            EXPECT_EQ (voicingOf (e), voicing) << rate << " " << character;

            for (int i = 0; i < e.earlyTapCount; ++i)
            {
                const float d = e.earlyTapDelay[static_cast<std::size_t> (i)];
                EXPECT_GE (d, 1.0f);
                EXPECT_LE (d, static_cast<float> (e.earlyLine.getSize() - 3)) << rate << " " << character << " " << i;
            }
        }
}

TEST (ReverbEngineVoicing, SwitchingCharacterKeepsTheSoundInFlightAndSilencesJoiningStages)
{
    // A line's samples, then its write position.
    using Samples = std::vector<float>;
    const auto contentsOf = [] (const DelayLine& line)
    {
        Samples v (line.data(), line.data() + line.getSize());
        v.push_back (static_cast<float> (line.getWriteIndex()));
        return v;
    };
    const auto stagesOf = [] (ReverbEngine& e, bool coilStages) -> std::array<Allpass, 8>&
    { return coilStages ? e.coilStages : e.diffuserStages; };

    for (int from = 0; from < numCharacters; ++from)
        for (int to = 0; to < numCharacters; ++to)
        {
            SCOPED_TRACE (std::string (characterTable[static_cast<std::size_t> (from)].name) + " to " +
                          characterTable[static_cast<std::size_t> (to)].name);

            // Every stage has run and holds sound; then "from" plays.
            auto e = engineAt (48000.0, coil);
            for (const int character : { coil, foil, from })
            {
                e.setCharacter (character);
                juce::AudioBuffer<float> noise (2, 4800);
                fillNoise (noise, 0.5f, static_cast<std::uint32_t> (character + 1));
                e.process (noise);
            }

            const auto state = soundStateOf (e);
            std::vector<Samples> feedback;
            for (const auto& line : e.fdnLines)
                feedback.push_back (contentsOf (line));
            const Samples preDelay = contentsOf (e.preDelayLine), early = contentsOf (e.earlyLine);
            std::array<std::vector<Samples>, 2> stageContents;
            const std::array<int, 2> activeBefore{ e.activeDiffusers, e.activeCoilStages };
            for (const bool isCoil : { false, true })
                for (const auto& stage : stagesOf (e, isCoil))
                    stageContents[isCoil].push_back (contentsOf (stage.line));

            e.setCharacter (to);
            e.params.decay = 7.0f;
            e.updateCoefficients();

            // The network, the filters, the oscillators, the gate and the stages that keep
            // running (or stay idle) are untouched; a stage that joins starts from silence.
            const std::array<int, 2> activeAfter{ e.activeDiffusers, e.activeCoilStages };
            for (const bool isCoil : { false, true })
                for (int k = 0; k < 8; ++k)
                {
                    const auto& line = stagesOf (e, isCoil)[static_cast<std::size_t> (k)].line;
                    const bool joins = k >= activeBefore[isCoil] && k < activeAfter[isCoil];
                    if (joins)
                        EXPECT_TRUE (isSilent (line)) << (isCoil ? "coil stage " : "diffuser ") << k;
                    else
                        EXPECT_EQ (contentsOf (line), stageContents[isCoil][static_cast<std::size_t> (k)])
                            << (isCoil ? "coil stage " : "diffuser ") << k;
                }

            auto withoutStagePositions = [] (std::vector<double> v)
            {
                v.resize (v.size() - ReverbEngine::numDiffusers - ReverbEngine::numCoilStages);
                return v;
            };
            EXPECT_EQ (withoutStagePositions (soundStateOf (e)), withoutStagePositions (state));
            for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
                EXPECT_EQ (contentsOf (e.fdnLines[k]), feedback[k]) << "feedback line " << k;
            EXPECT_EQ (contentsOf (e.preDelayLine), preDelay);
            EXPECT_EQ (contentsOf (e.earlyLine), early);
        }
}

TEST (ReverbEngineCoefficients, HallAt48kHzWithDefaultSettings)
{
    const auto e = engineAt (48000.0, hall);
    const double lengthScale = (1.0 - 0.45 * 0.45) * 1.35;
    EXPECT_NEAR (lengthScale, 1.077, 0.001);

    for (std::size_t i = 0; i < 8; ++i)
    {
        const double expectedMs = lengthScale * ReverbEngine::fdnBaseDelayMs[i];
        EXPECT_NEAR (e.fdnDelay[i] / 48.0, expectedMs, 1.0e-4) << i;
        EXPECT_NEAR (e.fdnGain[i], std::pow (10.0, -3.0 * expectedMs * 0.001 / 2.9), 1.0e-5) << i;
        EXPECT_NEAR (e.lfoIncrement[i], (0.72 + 0.11 * static_cast<double> (i)) * 0.35 / 48000.0, 1.0e-11) << i;
    }
    EXPECT_NEAR (e.fdnDelay[0] / 48.0, 25.53, 0.005);
    EXPECT_NEAR (e.fdnGain[0], 0.941, 0.0005);
    EXPECT_NEAR (e.fdnDelay[7] / 48.0, 72.55, 0.005);
    EXPECT_NEAR (e.fdnGain[7], 0.841, 0.0005);

    // 5^(1 - 0.5 x 2.4) x 4200 Hz, the same in all eight lines.
    const double dampingHz = std::pow (5.0, -0.2) * 4200.0;
    EXPECT_NEAR (dampingHz, 3040.0, 5.0);
    for (const auto& filter : e.fdnDamping)
        EXPECT_NEAR (cutoffHzOf (filter.coef, 48000.0), dampingHz, 0.05);

    EXPECT_NEAR (e.lfoIncrement[0], 5.25e-6, 1.0e-11);
    EXPECT_NEAR (e.modDepthSamples, 14.4, 1.0e-4);
    EXPECT_NEAR (cutoffHzOf (e.inputHighpass.coef, 48000.0), 100.0, 0.01);
    EXPECT_NEAR (cutoffHzOf (e.earlyLowpassL.coef, 48000.0), 3360.0, 0.1);
    EXPECT_EQ (e.earlyLowpassR.coef, e.earlyLowpassL.coef);
    EXPECT_NEAR (cutoffHzOf (e.outputLowpassL.coef, 48000.0), 9000.0, 0.5);
    EXPECT_EQ (e.outputLowpassR.coef, e.outputLowpassL.coef);
    EXPECT_NEAR (e.gateReleaseCoef, std::exp (-1.0 / 1200.0), 1.0e-7);
    EXPECT_EQ (e.gateHoldSamples, 0.0f);
}

TEST (ReverbEngineCoefficients, DampingExtremes)
{
    struct Case
    {
        int character;
        float damping;
        double cutoffHz;
    };
    for (auto c : { Case{ hall, 1.0f, std::pow (5.0, -1.4) * 4200.0 }, Case{ foil, 0.0f, 0.49 * 48000.0 },
                    Case{ hall, 0.0f, 5.0 * 4200.0 } })
    {
        EngineParameters p;
        p.damping = c.damping;
        const auto e = engineAt (48000.0, c.character, p);
        EXPECT_NEAR (cutoffHzOf (e.fdnDamping[0].coef, 48000.0), c.cutoffHz, c.cutoffHz * 1.0e-4)
            << c.character << " damping " << c.damping;
    }
    EngineParameters p;
    p.damping = 1.0f;
    EXPECT_NEAR (cutoffHzOf (engineAt (48000.0, hall, p).fdnDamping[7].coef, 48000.0), 441.0, 1.0);
    p.damping = 0.0f;
    EXPECT_EQ (engineAt (48000.0, foil, p).fdnDamping[0].coef, coefFor (0.49f * 48000.0f, 48000.0));
}

TEST (ReverbEngineCoefficients, ReverbTimeFloorAndFeedbackGainCap)
{
    EngineParameters shortRoom;
    shortRoom.decay = 0.2f; // 0.45 x 0.2 = 0.09 s, raised to 0.1 s
    const auto roomEngine = engineAt (48000.0, room, shortRoom);
    for (std::size_t i = 0; i < 8; ++i)
    {
        const double seconds = roomEngine.fdnDelay[i] / 48000.0;
        EXPECT_NEAR (roomEngine.fdnGain[i], std::pow (10.0, -3.0 * seconds / 0.1), 1.0e-5) << i;
    }

    EngineParameters endless;
    endless.decay = 1000.0f; // far beyond the host range: rt60 850 s
    const auto foilEngine = engineAt (48000.0, foil, endless);
    for (float g : foilEngine.fdnGain)
        EXPECT_EQ (g, 0.9995f);
}

TEST (ReverbEngineCoefficients, CoilInputHighPassFollowsTheHigherOfBassCutAndLowCut)
{
    struct Case
    {
        float lowcutHz;
        double cutoffHz;
    };
    for (auto c : { Case{ 100.0f, 130.0 }, Case{ 500.0f, 500.0 }, Case{ 20.0f, 130.0 } })
    {
        EngineParameters p;
        p.lowcut = c.lowcutHz;
        const auto e = engineAt (48000.0, coil, p);
        EXPECT_NEAR (cutoffHzOf (e.inputHighpass.coef, 48000.0), c.cutoffHz, 0.01) << c.lowcutHz;
    }
}

TEST (ReverbEngineCoefficients, OnlyGateHasAHoldTime)
{
    for (int character = 0; character < numCharacters; ++character)
    {
        const auto e = engineAt (48000.0, character);
        if (character == gate)
        {
            EXPECT_EQ (e.gateHoldSamples, (220.0f * 0.001f) * 48000.0f);
            EXPECT_NEAR (e.gateHoldSamples, 10560.001f, 0.0005f);
            EXPECT_NE (e.gateHoldSamples, 10560.0f); // the single-precision product
        }
        else
        {
            EXPECT_EQ (e.gateHoldSamples, 0.0f) << e.currentCharacter.name;
        }
    }
}

TEST (ReverbEngineCoefficients, EarlyLowPassIsLimitedBelowNyquist)
{
    // Halo asks 0.8 x 9000 = 7200 Hz, more than 0.49 x 8000 = 3920 Hz.
    const auto e = engineAt (8000.0, halo);
    EXPECT_EQ (e.earlyLowpassL.coef, coefFor (3920.0f, 8000.0));
    EXPECT_EQ (e.earlyLowpassR.coef, coefFor (3920.0f, 8000.0));
    EXPECT_NEAR (cutoffHzOf (engineAt (48000.0, halo).earlyLowpassL.coef, 48000.0), 7200.0, 0.5);
    // Basilica asks 2080 Hz, within 1200..12000.
    EXPECT_NEAR (cutoffHzOf (engineAt (48000.0, basilica).earlyLowpassL.coef, 48000.0), 2080.0, 0.5);
}

TEST (ReverbEngineCoefficients, MixRampIsNotRestartedByTheSameTarget)
{
    auto e = engineAt (48000.0, hall);
    e.params.mix = 0.5f;
    e.updateCoefficients();
    EXPECT_EQ (stepsLeft (e.mixSmoother), 960);
    EXPECT_FALSE (e.widthSmoother.isSmoothing());

    juce::AudioBuffer<float> block (2, 480);
    block.clear();
    e.process (block);
    EXPECT_NEAR (e.mixSmoother.getCurrentValue(), 0.425f, 1.0e-5f); // halfway, linear
    e.updateCoefficients();
    EXPECT_EQ (stepsLeft (e.mixSmoother), 480);

    e.process (block);
    EXPECT_EQ (e.mixSmoother.getCurrentValue(), 0.5f);
    EXPECT_FALSE (e.mixSmoother.isSmoothing());
}

TEST (ReverbEngineCoefficients, SmoothersAdvanceOncePerSampleWhateverTheChannelCount)
{
    for (int channels : { 1, 2, 4 })
    {
        auto e = engineAt (48000.0, hall);
        e.params.mix = 0.75f;
        e.params.width = 0.0f;
        e.updateCoefficients();
        EXPECT_EQ (stepsLeft (e.widthSmoother), 960);

        juce::AudioBuffer<float> block (channels, 240);
        block.clear();
        e.process (block);
        EXPECT_EQ (stepsLeft (e.mixSmoother), 720) << channels;
        EXPECT_EQ (stepsLeft (e.widthSmoother), 720) << channels;
        EXPECT_NEAR (e.widthSmoother.getCurrentValue(), 0.75f, 1.0e-5f) << channels;
        EXPECT_NEAR (e.mixSmoother.getCurrentValue(), 0.45f, 1.0e-5f) << channels;
    }
}

TEST (ReverbEngineCoefficients, ExtremeSettingsStayWithinTheLimits)
{
    EngineParameters low{ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f };
    EngineParameters high{ 1.0f, 2.0f, 20.0f, 250.0f, 1.0f, 1.0f, 1.0f, 1000.0f, 20000.0f };
    EngineParameters beyond{ 1.0f, 50.0f, 1.0e6f, 1.0e6f, -3.0f, 40.0f, 1.0f, 1.0e6f, 1.0e6f };
    for (double rate : { 8000.0, 44100.0, 192000.0 })
        for (const auto& p : { low, high, beyond })
            for (int character = 0; character < numCharacters; ++character)
            {
                const auto e = engineAt (rate, character, p);
                for (std::size_t i = 0; i < 8; ++i)
                {
                    EXPECT_GE (e.fdnDelay[i], 2.0f);
                    EXPECT_GE (e.fdnGain[i], 0.0f);
                    EXPECT_LE (e.fdnGain[i], 0.9995f);
                    EXPECT_GT (e.fdnDamping[i].coef, 0.0f);
                    EXPECT_LT (e.fdnDamping[i].coef, 1.0f);
                }
                for (const auto* f : { &e.inputHighpass, &e.outputLowpassL, &e.earlyLowpassL })
                {
                    EXPECT_GT (f->coef, 0.0f);
                    EXPECT_LT (f->coef, 1.0f);
                }
                EXPECT_EQ (e.inputHighpass.coef,
                           coefFor (std::max (e.currentCharacter.bassCutHz * 0.5f, p.lowcut), rate));
            }
}
