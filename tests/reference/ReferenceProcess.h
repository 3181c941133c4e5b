#pragma once

#include "engine/ReverbEngine.h"

// The engine's sample loop written plainly, one building-block call at a time. The engine's own
// loop must compute exactly the same samples; tests and the benchmark compare the two.
void referenceProcess (ReverbEngine& engine, juce::AudioBuffer<float>& buffer);
