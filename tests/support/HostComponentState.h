#pragma once

#include "tests/support/ComponentStateDamage.h"

#include <juce_audio_processors/juce_audio_processors.h>

// JUCE's VST3 host saves a plug-in's state as XML holding the component's and the controller's
// chunks in base64; these read and replace the component's chunk ("IComponent").
namespace statedamage
{
inline Bytes componentChunk (const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock component;
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), static_cast<int> (hostState.getSize())))
        if (auto* child = xml->getChildByName ("IComponent"))
            component.fromBase64Encoding (child->getAllSubText());
    const auto* data = static_cast<const std::uint8_t*> (component.getData());
    return { data, data + component.getSize() };
}

inline juce::MemoryBlock withComponentChunk (const juce::MemoryBlock& hostState, const Bytes& component)
{
    auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), static_cast<int> (hostState.getSize()));
    auto* child = xml != nullptr ? xml->getChildByName ("IComponent") : nullptr;
    if (child == nullptr)
        return {};
    child->deleteAllChildElements();
    child->addTextElement (juce::MemoryBlock (component.data(), component.size()).toBase64Encoding());
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary (*xml, blob);
    return blob;
}
}
