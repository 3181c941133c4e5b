#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

// One knob of the editor: the rotary slider, its caption and the binding to its parameter.
// Members go in reverse order, so the attachment detaches while its slider still exists.
struct KnobGroup
{
    juce::Slider slider;
    juce::Label caption{ {}, {} };
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> attachment;
};
