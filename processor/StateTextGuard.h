#pragma once

#include <cstddef>

// Screens a saved-state XML text before JUCE's own parser sees it. JUCE 7's parser recurses per
// nesting level, reads past the text on malformed UTF-8 and loops forever on some malformed
// documents; a host loading a damaged project or preset would go down with us. The text passes
// only when it is small, strictly valid UTF-8, well-formed XML (checked by expat), has no DOCTYPE,
// entity declarations or processing instructions, and nests no deeper than a bound.
namespace StateTextGuard
{
inline constexpr std::size_t maxTextBytes = 64 * 1024;
inline constexpr int maxDepth = 256;

bool isSafe (const char* text, std::size_t numBytes) noexcept;
}
