#include "ProcessorTestHelpers.h"

#include <cmath>
#include <functional>
#include <limits>

using namespace ProcessorTest;

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 256;

// A value setCharacter never writes: it stays in place until the next setCharacter.
constexpr int notApplied = -99;

// Engine units for each of the nine continuous IDs, as the hand-over scales them.
struct FieldCase
{
    const char* id;
    float EngineParameters::*field;
    float scale;
};

const FieldCase fields[]{
    { "mix", &EngineParameters::mix, 0.01f },         { "size", &EngineParameters::size, 0.01f },
    { "decay", &EngineParameters::decay, 1.0f },      { "predelay", &EngineParameters::predelay, 1.0f },
    { "damping", &EngineParameters::damping, 0.01f }, { "modulation", &EngineParameters::modulation, 0.01f },
    { "width", &EngineParameters::width, 0.01f },     { "lowcut", &EngineParameters::lowcut, 1.0f },
    { "highcut", &EngineParameters::highcut, 1.0f },
};

const float defaults[]{ 35.0f, 100.0f, 2.0f, 20.0f, 50.0f, 50.0f, 100.0f, 100.0f, 9000.0f };

void fillNoise (juce::AudioBuffer<float>& buffer, int seed)
{
    juce::Random random (seed);
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (ch, i, random.nextFloat() * 2.0f - 1.0f);
}

bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (!std::isfinite (buffer.getSample (ch, i)))
                return false;
    return true;
}

bool allZero (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (buffer.getSample (ch, i) != 0.0f)
                return false;
    return true;
}

float peak (const juce::AudioBuffer<float>& buffer)
{
    float m = 0.0f;
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        m = std::max (m, buffer.getMagnitude (ch, 0, buffer.getNumSamples()));
    return m;
}

void expectEngineCarriesParameters (QuolbaneProcessor& p)
{
    for (const auto& f : fields)
        EXPECT_EQ (p.engine.params.*f.field, raw (p, f.id) * f.scale) << f.id;
}

struct HandOver : ::testing::Test
{
    QuolbaneProcessor p;
    juce::AudioBuffer<float> buffer{ 2, blockSize };
    juce::MidiBuffer midi;

    void SetUp() override { p.prepareToPlay (sampleRate, blockSize); }

    // Runs one block and tells whether setCharacter ran during it.
    bool blockAppliedCharacter (int numSamples = blockSize)
    {
        p.engine.currentCharacterIndex = notApplied;
        buffer.setSize (2, numSamples, false, false, true);
        fillNoise (buffer, 7);
        p.processBlock (buffer, midi);
        return p.engine.currentCharacterIndex != notApplied;
    }
};
}

TEST_F (HandOver, PrepareAppliesTheCharacterAndValuesFromTheParameters)
{
    EXPECT_EQ (p.engine.currentCharacterIndex, 2);
    EXPECT_EQ (p.lastCharacterIndex, 2);
    EXPECT_EQ (p.engine.sampleRate, sampleRate);
    expectEngineCarriesParameters (p);

    // Changed while deactivated: applied when prepareToPlay returns, before any block.
    setPlain (p, "character", 9.0f);
    setAll (p, otherValues);
    p.prepareToPlay (96000.0, blockSize);
    EXPECT_EQ (p.engine.sampleRate, 96000.0);
    EXPECT_EQ (p.engine.currentCharacterIndex, static_cast<int> (otherValues[0]));
    EXPECT_EQ (p.lastCharacterIndex, static_cast<int> (otherValues[0]));
    EXPECT_EQ (p.engine.earlyTapCount, characterTable[static_cast<std::size_t> (otherValues[0])].earlyTaps);
    expectEngineCarriesParameters (p);

    // An unchanged character is applied again by every prepareToPlay.
    p.engine.currentCharacterIndex = notApplied;
    p.prepareToPlay (44100.0, blockSize);
    EXPECT_EQ (p.engine.currentCharacterIndex, static_cast<int> (otherValues[0]));
    EXPECT_EQ (p.engine.sampleRate, 44100.0);

    // The first block after prepareToPlay does not apply it once more.
    EXPECT_FALSE (blockAppliedCharacter());
}

TEST (HandOverBeforePrepare, CharacterChosenBeforeTheFirstPrepareIsApplied)
{
    QuolbaneProcessor p;
    setPlain (p, "character", 4.0f); // Room
    EXPECT_EQ (p.lastCharacterIndex, -1);
    p.prepareToPlay (sampleRate, blockSize);
    EXPECT_EQ (p.engine.currentCharacterIndex, 4);
    EXPECT_EQ (p.engine.earlyTapCount, characterTable[4].earlyTaps);
    EXPECT_EQ (p.lastCharacterIndex, 4);
}

TEST_F (HandOver, OneSetCharacterPerChangeOfCharacter)
{
    struct Step
    {
        const char* what;
        std::function<void (QuolbaneProcessor&)> change;
        bool appliesCharacter;
        int characterAfter;
    };

    const Step steps[]{
        { "nothing changed", [] (QuolbaneProcessor&) {}, false, 2 },
        { "only mix changed", [] (QuolbaneProcessor& q) { setPlain (q, "mix", 70.0f); }, false, 2 },
        { "all floats changed",
          [] (QuolbaneProcessor& q)
          {
              for (std::size_t i = 1; i < parameterIds.size(); ++i)
                  setPlain (q, parameterIds[i], otherValues[i]);
          },
          false, 2 },
        { "character to Gate", [] (QuolbaneProcessor& q) { setPlain (q, "character", 6.0f); }, true, 6 },
        { "nothing changed after the switch", [] (QuolbaneProcessor&) {}, false, 6 },
        { "two switches between blocks",
          [] (QuolbaneProcessor& q)
          {
              setPlain (q, "character", 4.0f);
              setPlain (q, "character", 8.0f);
          },
          true, 8 },
        { "switched away and back",
          [] (QuolbaneProcessor& q)
          {
              setPlain (q, "character", 0.0f);
              setPlain (q, "character", 8.0f);
          },
          false, 8 },
        { "character and a float together",
          [] (QuolbaneProcessor& q)
          {
              setPlain (q, "character", 0.0f);
              setPlain (q, "decay", 9.5f);
          },
          true, 0 },
    };

    for (const auto& s : steps)
    {
        SCOPED_TRACE (s.what);
        s.change (p);
        EXPECT_EQ (blockAppliedCharacter(), s.appliesCharacter);
        EXPECT_EQ (p.lastCharacterIndex, s.characterAfter);
        if (s.appliesCharacter)
        {
            EXPECT_EQ (p.engine.currentCharacterIndex, s.characterAfter);
            EXPECT_EQ (p.engine.earlyTapCount, characterTable[static_cast<std::size_t> (s.characterAfter)].earlyTaps);
        }
        // The nine values are handed over in every block.
        expectEngineCarriesParameters (p);
        EXPECT_TRUE (allFinite (buffer));
    }
}

TEST_F (HandOver, EmptyBlockStillHandsOver)
{
    fillNoise (buffer, 3);
    p.processBlock (buffer, midi);

    const auto phasesBefore = p.engine.lfoPhase;
    const auto lowpassBefore = p.engine.outputLowpassL.z1;
    const auto gateBefore = p.engine.gateEnvelope;

    setPlain (p, "character", 9.0f);
    setPlain (p, "width", 20.0f);

    juce::AudioBuffer<float> empty (2, 0);
    p.processBlock (empty, midi);

    EXPECT_EQ (empty.getNumSamples(), 0);
    EXPECT_EQ (empty.getNumChannels(), 2);
    EXPECT_EQ (p.engine.currentCharacterIndex, 9);
    EXPECT_EQ (p.lastCharacterIndex, 9);
    EXPECT_EQ (p.engine.earlyTapCount, characterTable[9].earlyTaps);
    EXPECT_EQ (p.engine.params.width, 20.0f * 0.01f);
    EXPECT_EQ (p.engine.lfoPhase, phasesBefore);
    EXPECT_EQ (p.engine.outputLowpassL.z1, lowpassBefore);
    EXPECT_EQ (p.engine.gateEnvelope, gateBefore);
}

TEST (HandOverBeforePrepare, BlockBeforeAnyPrepareIsLeftUntouched)
{
    QuolbaneProcessor p;
    setPlain (p, "character", 9.0f);

    for (int numSamples : { 0, 1, 64, 4096 })
    {
        juce::AudioBuffer<float> buffer (2, numSamples);
        fillNoise (buffer, numSamples);
        juce::AudioBuffer<float> copy (buffer);
        juce::MidiBuffer midi;
        p.processBlock (buffer, midi);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < numSamples; ++i)
                ASSERT_EQ (buffer.getSample (ch, i), copy.getSample (ch, i)) << numSamples << " samples";
    }
    EXPECT_FALSE (p.engine.isPrepared());

    // Preparing afterwards still applies the chosen character.
    p.prepareToPlay (sampleRate, blockSize);
    EXPECT_EQ (p.engine.currentCharacterIndex, 9);
}

TEST_F (HandOver, NonFiniteParameterValuesNeverReachTheEngine)
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();

    struct Case
    {
        const char* how;
        float value;
        bool throughHost; // else written straight into the tree state's value
    };

    const Case cases[]{
        { "host sends NaN", nan, true },
        { "NaN written", nan, false },
        { "+inf written", inf, false },
        { "-inf written", -inf, false },
    };

    for (const auto& c : cases)
    {
        for (std::size_t i = 0; i < std::size (fields); ++i)
        {
            const auto& f = fields[i];
            SCOPED_TRACE (std::string (c.how) + " for " + f.id);

            QuolbaneProcessor q;
            q.prepareToPlay (sampleRate, blockSize);
            if (c.throughHost)
                parameter (q, f.id).setValueNotifyingHost (c.value);
            else
                q.valueTreeState.getRawParameterValue (f.id)->store (c.value);
            ASSERT_FALSE (std::isfinite (raw (q, f.id))) << "the value did not arrive";

            juce::AudioBuffer<float> block (2, blockSize);
            fillNoise (block, 11);
            juce::MidiBuffer noMidi;
            q.processBlock (block, noMidi);

            EXPECT_EQ (q.engine.params.*f.field, defaults[i] * f.scale);
            for (const auto& g : fields)
                EXPECT_TRUE (std::isfinite (q.engine.params.*g.field)) << g.id;
            EXPECT_TRUE (allFinite (block));
            EXPECT_GT (peak (block), 0.0f) << "the block was silenced";

            // The tail length stays a number the host can use.
            EXPECT_TRUE (std::isfinite (q.getTailLengthSeconds()));
        }
    }

    // A NaN sent to the choice still selects one of the ten characters.
    parameter (p, "character").setValueNotifyingHost (nan);
    EXPECT_GE (p.getCharacterIndex(), 0);
    EXPECT_LT (p.getCharacterIndex(), numCharacters);
    blockAppliedCharacter();
    EXPECT_GE (p.lastCharacterIndex, 0);
    EXPECT_LT (p.lastCharacterIndex, numCharacters);
}

TEST_F (HandOver, NonFiniteInputSilencesTheBlockAndResetsTheEngine)
{
    constexpr float badSamples[]{ std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity() };

    for (float bad : badSamples)
    {
        SCOPED_TRACE (bad);
        p.prepareToPlay (sampleRate, blockSize);
        for (int i = 0; i < 4; ++i)
        {
            fillNoise (buffer, i);
            p.processBlock (buffer, midi);
        }

        fillNoise (buffer, 99);
        buffer.setSample (1, blockSize / 2, bad);
        p.processBlock (buffer, midi);
        EXPECT_TRUE (allZero (buffer));

        // The next block starts from a reset engine: silence in gives silence out, no old tail.
        buffer.clear();
        p.processBlock (buffer, midi);
        EXPECT_TRUE (allZero (buffer));

        // And the engine works again afterwards.
        fillNoise (buffer, 5);
        p.processBlock (buffer, midi);
        EXPECT_TRUE (allFinite (buffer));
        EXPECT_GT (peak (buffer), 0.0f);
    }
}

TEST_F (HandOver, MidiBufferComesBackUnchanged)
{
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, 0.8f), 0);
    midi.addEvent (juce::MidiMessage::controllerEvent (2, 7, 100), 17);
    midi.addEvent (juce::MidiMessage::noteOff (1, 60), blockSize - 1);
    const auto before = midi.data;

    for (int i = 0; i < 3; ++i)
    {
        fillNoise (buffer, i);
        p.processBlock (buffer, midi);
        EXPECT_EQ (midi.data, before);
    }

    juce::MidiBuffer empty;
    p.processBlock (buffer, empty);
    EXPECT_TRUE (empty.isEmpty());
}

TEST (HandOverLayouts, MonoAndStereoBlocksAreReverberated)
{
    for (const auto& set : { juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo() })
    {
        SCOPED_TRACE (set.getDescription());
        QuolbaneProcessor p;
        ASSERT_TRUE (p.setBusesLayout ({ { set }, { set } }));
        p.prepareToPlay (sampleRate, blockSize);

        const int channels = set.size();
        juce::AudioBuffer<float> buffer (channels, blockSize);
        juce::MidiBuffer midi;

        // An impulse, then silence: the reverb keeps ringing after the input stops.
        buffer.clear();
        buffer.setSample (0, 0, 1.0f);
        p.processBlock (buffer, midi);
        float tail = 0.0f;
        for (int b = 0; b < 40; ++b)
        {
            buffer.clear();
            p.processBlock (buffer, midi);
            ASSERT_TRUE (allFinite (buffer));
            tail = std::max (tail, peak (buffer));
        }
        EXPECT_GT (tail, 1e-4f);
    }
}

TEST (TailLength, FollowsTheSettingsAtOnceAndCarriesThePreDelay)
{
    // No block runs in between: the tail is read from the parameters as they stand.
    QuolbaneProcessor p;
    p.prepareToPlay (sampleRate, blockSize);
    const auto tailAt = [&p] (int character, float decay, float preDelay)
    {
        setPlain (p, "character", static_cast<float> (character));
        setPlain (p, "decay", decay);
        setPlain (p, "predelay", preDelay);
        return p.getTailLengthSeconds();
    };

    for (int idx = 0; idx < numCharacters; ++idx)
    {
        SCOPED_TRACE (characterTable[static_cast<std::size_t> (idx)].name);
        const double shortest = tailAt (idx, 0.2f, 0.0f);
        const double longest = tailAt (idx, 20.0f, 0.0f);
        const double delayed = tailAt (idx, 20.0f, 250.0f);
        EXPECT_GT (shortest, 0.0);
        if (characterTable[static_cast<std::size_t> (idx)].gateMs > 0.0f)
        {
            // The gate closes the tail whatever the decay and the pre-delay.
            EXPECT_EQ (longest, shortest);
            EXPECT_EQ (delayed, shortest);
        }
        else
        {
            EXPECT_GT (tailAt (idx, 2.0f, 0.0f), shortest);
            EXPECT_GT (longest, tailAt (idx, 2.0f, 0.0f));
            // The pre-delay holds the whole reverb back: 250 ms against the smallest, one sample.
            EXPECT_NEAR (delayed - longest, 0.25 - 1.0 / sampleRate, 1.0e-9);
        }
    }
}
