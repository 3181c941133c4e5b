#pragma once

#include "engine/ReverbEngine.h"
#include "processor/ParameterTable.h"

#include <juce_audio_processors/juce_audio_processors.h>

// The plug-in's audio processor: buses, the ten parameters, the engine and the saved state.
class QuolbaneProcessor : public juce::AudioProcessor
{
public:
    QuolbaneProcessor();
    ~QuolbaneProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

    // Hands the current parameter values to the engine; applies the character only when it changed.
    void updateEngineParameters() noexcept;

    // The character choice's index, 0 when the parameter is missing or not a choice.
    int getCharacterIndex() const noexcept;

    juce::AudioProcessorValueTreeState valueTreeState;
    ReverbEngine engine;
    int lastCharacterIndex = -1;

private:
    float finiteValueOf (std::size_t index) const noexcept;
    EngineParameters engineParametersFromValues() const noexcept;

    // Looked up once: finding a parameter by its ID compares strings, too slow for every block.
    std::array<std::atomic<float>*, floatParameterTable.size()> floatValues{};
    juce::AudioParameterChoice* characterChoice = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuolbaneProcessor)
};
