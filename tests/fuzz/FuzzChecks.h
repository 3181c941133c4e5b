#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The checks behind the fuzzers, shared with the replay test of the normal suite. Each returns an
// empty string when every property held for the input, otherwise what went wrong.
namespace FuzzChecks
{
// Restores the bytes into a fresh processor, then saves and restores what was saved into a second
// one. Every parameter stays finite, in range and on its grid; the second instance matches the first.
std::string stateRestore (const std::uint8_t* data, std::size_t size);

// Reads the bytes as a script of character changes, raw parameter values, block sizes and input
// samples for the engine (or the processor); after every block each output sample is finite.
std::string engineScript (const std::uint8_t* data, std::size_t size);

// Hands the bytes to a new audio component of the built module through IComponent::setState, as
// a host restoring a project does, then saves it: the state it saves is the plug-in's blob with
// JUCE's trailer, and a second new component given that state saves the same bytes.
std::string componentStateRestore (const std::uint8_t* data, std::size_t size);
}
