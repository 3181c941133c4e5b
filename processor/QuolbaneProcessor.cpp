#include "QuolbaneProcessor.h"

#include "ParameterTable.h"
#include "ParameterText.h"
#include "StateTextGuard.h"
#include "editor/QuolbaneEditor.h"

#include <cmath>
#include <cstring>

namespace
{
// The character choice, reading a text (a host's, or typed) as the character it names whatever its
// case and the spaces around it; a text that names no character keeps the character as it is.
class CharacterChoice final : public juce::AudioParameterChoice
{
public:
    using juce::AudioParameterChoice::AudioParameterChoice;

    float getValueForText (const juce::String& text) const override
    {
        const int index = ParameterText::characterIndexOf (text);
        return convertTo0to1 (static_cast<float> (index >= 0 ? index : getIndex()));
    }
};
}

QuolbaneProcessor::QuolbaneProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      valueTreeState (*this, nullptr, juce::Identifier ("QUOLBANE"), createParameterLayout())
{
    for (std::size_t i = 0; i < floatValues.size(); ++i)
        floatValues[i] = valueTreeState.getRawParameterValue (floatParameterTable[i].id);
    characterChoice = dynamic_cast<juce::AudioParameterChoice*> (valueTreeState.getParameter (characterParameterId));
}

QuolbaneProcessor::~QuolbaneProcessor() = default;

juce::AudioProcessorValueTreeState::ParameterLayout QuolbaneProcessor::createParameterLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    juce::StringArray names;
    for (const auto& row : characterTable)
        names.add (row.name);

    layout.add (std::make_unique<CharacterChoice> (juce::ParameterID{ characterParameterId, 1 }, "Character", names,
                                                   defaultCharacterIndex, juce::AudioParameterChoiceAttributes()));

    for (const auto& info : floatParameterTable)
    {
        // Typed text that is not a number ("nan", "inf") must not give a value outside the range,
        // and a value that is not a number shows as the default that plays instead.
        const auto attributes =
            juce::AudioParameterFloatAttributes()
                .withLabel (info.label)
                .withStringFromValueFunction (
                    [fallback = info.defaultValue, interval = info.interval] (float value, int maximumLength)
                    { return ParameterText::textOf (value, fallback, interval, maximumLength); })
                .withValueFromStringFunction ([] (const juce::String& text) { return ParameterText::valueOf (text); });
        const juce::NormalisableRange<float> range (info.start, info.end, info.interval, info.skew);
        layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID{ info.id, 1 }, info.name, range,
                                                                 info.defaultValue, attributes));
    }

    return layout;
}

const juce::String QuolbaneProcessor::getName() const
{
    return "Quolbane";
}

void QuolbaneProcessor::prepareToPlay (double sampleRate, int)
{
    // The smoothers start at the host's values; from the engine's own they would ramp into them
    // over the first 20 ms, leaking dry signal into a wet-only send.
    engine.params = engineParametersFromValues();
    engine.prepare (sampleRate);
    lastCharacterIndex = -1;
    updateEngineParameters();
}

void QuolbaneProcessor::releaseResources() {}

void QuolbaneProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    for (auto i = getTotalNumInputChannels(); i < getTotalNumOutputChannels(); ++i)
        buffer.clear (i, 0, buffer.getNumSamples());

    // A block before any prepareToPlay finds no delay storage: leave it as it came.
    if (!engine.isPrepared())
        return;

    updateEngineParameters();
    engine.process (buffer);
}

void QuolbaneProcessor::updateEngineParameters() noexcept
{
    const int idx = getCharacterIndex();
    if (idx != lastCharacterIndex)
    {
        engine.setCharacter (idx);
        lastCharacterIndex = idx;
    }

    engine.params = engineParametersFromValues();
    engine.updateCoefficients();
}

EngineParameters QuolbaneProcessor::engineParametersFromValues() const noexcept
{
    // All nine reads first, then the stores.
    std::array<float, floatParameterTable.size()> raw{};
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = finiteValueOf (i);

    auto scaled = [&raw] (std::size_t i) { return raw[i] * floatParameterTable[i].engineScale; };
    EngineParameters p;
    p.mix = scaled (0);
    p.size = scaled (1);
    p.decay = scaled (2);
    p.predelay = scaled (3);
    p.damping = scaled (4);
    p.modulation = scaled (5);
    p.width = scaled (6);
    p.lowcut = scaled (7);
    p.highcut = scaled (8);
    return p;
}

int QuolbaneProcessor::getCharacterIndex() const noexcept
{
    return characterChoice != nullptr ? juce::jlimit (0, numCharacters - 1, characterChoice->getIndex()) : 0;
}

float QuolbaneProcessor::finiteValueOf (std::size_t index) const noexcept
{
    // A non-finite value (a host can send one) would silence every block and report an endless
    // tail, so the parameter's default stands in for it.
    const auto& info = floatParameterTable[index];
    const auto* value = floatValues[index];
    const float v = value != nullptr ? value->load() : info.defaultValue;
    return std::isfinite (v) ? v : info.defaultValue;
}

double QuolbaneProcessor::getTailLengthSeconds() const
{
    // From the parameters rather than the engine, so a new character or setting counts at once.
    const auto& character = characterTable[static_cast<std::size_t> (getCharacterIndex())];
    return ReverbEngine::tailSeconds (character, engineParametersFromValues(), engine.sampleRate);
}

bool QuolbaneProcessor::acceptsMidi() const
{
    return false;
}

bool QuolbaneProcessor::producesMidi() const
{
    return false;
}

juce::AudioProcessorEditor* QuolbaneProcessor::createEditor()
{
    return new QuolbaneEditor (*this);
}

bool QuolbaneProcessor::hasEditor() const
{
    return true;
}

int QuolbaneProcessor::getNumPrograms()
{
    return 1;
}

int QuolbaneProcessor::getCurrentProgram()
{
    return 0;
}

void QuolbaneProcessor::setCurrentProgram (int) {}

const juce::String QuolbaneProcessor::getProgramName (int)
{
    return {};
}

void QuolbaneProcessor::changeProgramName (int, const juce::String&) {}

void QuolbaneProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto state = valueTreeState.copyState();

    // A parameter the host set to NaN plays its default; the state stores that default, so the
    // reopened project sounds as it did.
    for (auto entry : state)
        if (auto* parameter = valueTreeState.getParameter (entry.getProperty ("id").toString()))
            if (!std::isfinite (valueTreeState.getRawParameterValue (parameter->paramID)->load()))
                entry.setProperty ("value", parameter->convertFrom0to1 (parameter->getDefaultValue()), nullptr);

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

namespace
{
// Prepares the values of parameter entries for JUCE's reading: a bounded exponent, and "nan",
// which JUCE reads as a NaN that clamping keeps, read as 0 like any text that does not begin with
// a number.
void sanitiseParameterValues (juce::XmlElement& root, const juce::AudioProcessorValueTreeState& parameters)
{
    for (auto* child : root.getChildIterator())
    {
        if (!child->hasAttribute ("value") || parameters.getParameter (child->getStringAttribute ("id")) == nullptr)
            continue;
        const auto text = child->getStringAttribute ("value");
        const auto bounded = ParameterText::withBoundedExponent (text);
        if (bounded != text)
            child->setAttribute ("value", bounded);
        if (std::isnan (bounded.getDoubleValue()))
            child->setAttribute ("value", "0");
    }
}
}

void QuolbaneProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    constexpr std::uint32_t magic = 0x21324356;

    if (data == nullptr || sizeInBytes <= 8)
        return;
    if (juce::ByteOrder::littleEndianInt (data) != magic)
        return;

    const auto declaredLength =
        static_cast<std::int32_t> (juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4)));
    if (declaredLength <= 0)
        return;

    // The text ends with the data or at its first zero byte, as JUCE's own string conversion reads it.
    const auto* text = static_cast<const char*> (data) + 8;
    auto numBytes = static_cast<std::size_t> (juce::jmin (sizeInBytes - 8, declaredLength));
    if (const auto* zero = static_cast<const char*> (std::memchr (text, 0, numBytes)))
        numBytes = static_cast<std::size_t> (zero - text);

    if (!StateTextGuard::isSafe (text, numBytes))
        return;

    const auto xml = juce::parseXML (juce::String::fromUTF8 (text, static_cast<int> (numBytes)));
    if (xml == nullptr || !xml->hasTagName (valueTreeState.state.getType().toString()))
        return;

    sanitiseParameterValues (*xml, valueTreeState);
    auto restored = juce::ValueTree::fromXml (*xml);

    // JUCE appends an entry holding only the "id" for each parameter the state lacks, and adding
    // it resets that parameter to its default. Appending the entries here, in the same ID order
    // and with the current values, keeps those parameters as they are.
    juce::StringArray missingIds;
    for (auto* parameter : getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            if (!restored.getChildWithProperty ("id", ranged->paramID).isValid())
                missingIds.add (ranged->paramID);
    missingIds.sort (false);

    for (const auto& id : missingIds)
    {
        juce::ValueTree entry ("PARAM");
        entry.setProperty ("id", id, nullptr);
        entry.setProperty ("value", valueTreeState.getRawParameterValue (id)->load(), nullptr);
        restored.appendChild (entry, nullptr);
    }

    // JUCE escapes characters when it writes ('>' becomes "&gt;", non-ASCII "&#...;"), so an
    // accepted text can grow past the size guard and the host could never restore what it saved.
    // Such a state is refused; the reserve covers values that the restore rewrites.
    constexpr std::size_t rewriteReserveBytes = 512;
    const auto written = restored.toXmlString (juce::XmlElement::TextFormat().singleLine());
    if (written.getNumBytesAsUTF8() + rewriteReserveBytes > StateTextGuard::maxTextBytes)
        return;

    valueTreeState.replaceState (restored);

    // An entry stored without a "value" carries the parameter's value at once, so the next save
    // is complete.
    for (auto* parameter : getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);
        if (ranged == nullptr)
            continue;

        juce::ValueTree entry;
        for (auto child : valueTreeState.state)
            if (child.getProperty ("id").toString() == ranged->paramID)
                entry = child;

        if (entry.isValid() && !entry.hasProperty ("value"))
            entry.setProperty ("value", valueTreeState.getRawParameterValue (ranged->paramID)->load(), nullptr);
    }
}

bool QuolbaneProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    if (out != juce::AudioChannelSet::mono() && out != juce::AudioChannelSet::stereo())
        return false;
    return layouts.getMainInputChannelSet() == out;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new QuolbaneProcessor();
}
