#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An IComponent state as JUCE's VST3 wrapper saves it: the processor's blob, then JUCE's trailer,
// which is eight zero bytes, a private tree in ValueTree's binary form (it holds the bypass
// value), the tree's size as a little-endian 64-bit number and the text "JUCEPrivateData".
// The damage cases spoil the trailer of a saved state as a broken project file would; the
// processor's blob in front of it stays intact. Shared by the host, module and Windows tests.
namespace statedamage
{
using Bytes = std::vector<std::uint8_t>;

inline const std::string trailerId = "JUCEPrivateData";
constexpr std::size_t trailerFixedBytes = 8 + 8 + 15; // zeros, size field, identifier

inline bool hasTrailer (const Bytes& state)
{
    return state.size() >= trailerFixedBytes &&
           std::string (state.end() - static_cast<std::ptrdiff_t> (trailerId.size()), state.end()) == trailerId;
}

inline std::uint64_t trailerSize (const Bytes& state)
{
    std::uint64_t size = 0;
    const auto field = state.size() - trailerId.size() - 8;
    for (int i = 7; i >= 0; --i)
        size = size << 8 | state[field + static_cast<std::size_t> (i)];
    return size;
}

inline Bytes withTrailerSize (Bytes state, std::uint64_t size)
{
    const auto field = state.size() - trailerId.size() - 8;
    for (std::size_t i = 0; i < 8; ++i)
        state[field + i] = static_cast<std::uint8_t> (size >> (8 * i));
    return state;
}

// The parts of an intact state, as saved by the plug-in.
inline Bytes processorBlob (const Bytes& state)
{
    return { state.begin(), state.end() - static_cast<std::ptrdiff_t> (trailerFixedBytes + trailerSize (state)) };
}

inline Bytes privateTree (const Bytes& state)
{
    const auto end = state.end() - static_cast<std::ptrdiff_t> (trailerId.size() + 8);
    return { end - static_cast<std::ptrdiff_t> (trailerSize (state)), end };
}

inline Bytes componentState (const Bytes& blob, const Bytes& tree)
{
    auto state = blob;
    state.insert (state.end(), 8, 0);
    state.insert (state.end(), tree.begin(), tree.end());
    state.insert (state.end(), 8, 0);
    state.insert (state.end(), trailerId.begin(), trailerId.end());
    return withTrailerSize (state, tree.size());
}

// ValueTree's binary form: the type name, the property count, each property's name and value,
// the child count and the children. Counts are written as JUCE's compressed ints.
inline void appendCount (Bytes& out, std::uint32_t count)
{
    Bytes digits;
    for (; count > 0; count >>= 8)
        digits.push_back (static_cast<std::uint8_t> (count));
    out.push_back (static_cast<std::uint8_t> (digits.size()));
    out.insert (out.end(), digits.begin(), digits.end());
}

inline void appendName (Bytes& out, const std::string& name)
{
    out.insert (out.end(), name.begin(), name.end());
    out.push_back (0);
}

// The tree JUCE writes for the bypass value, with its two counts as given.
inline Bytes bypassTree (bool bypassed, std::uint32_t propertyCount = 1, std::uint32_t childCount = 0)
{
    Bytes tree;
    appendName (tree, trailerId);
    appendCount (tree, propertyCount);
    appendName (tree, "Bypass");
    tree.insert (tree.end(), { 1, 1, static_cast<std::uint8_t> (bypassed ? 2 : 3) }); // a bool value
    appendCount (tree, childCount);
    return tree;
}

inline Bytes nestedTree (int depth)
{
    Bytes tree;
    for (int level = 0; level < depth; ++level)
    {
        appendName (tree, level == 0 ? trailerId : "a");
        appendCount (tree, 0);
        appendCount (tree, level + 1 < depth ? 1 : 0);
    }
    return tree;
}

// A tree whose one property holds arrays nested this deep, each holding the next.
inline Bytes nestedArrayTree (int depth)
{
    Bytes tree;
    appendName (tree, trailerId);
    appendCount (tree, 1);
    appendName (tree, "Bypass");
    for (int level = 0; level < depth; ++level)
    {
        tree.insert (tree.end(), { 1, 1, 7 }); // a value of one byte or more, an array
        appendCount (tree, level + 1 < depth ? 1 : 0);
    }
    appendCount (tree, 0);
    return tree;
}

// JUCE's compressed int for INT_MIN, four bytes with the sign flag set, in one of the bypass tree's
// counts: the property count, the value's size or the child count.
enum class IntMinAt { propertyCount, valueSize, childCount };

inline Bytes treeWithIntMin (IntMinAt where)
{
    const Bytes intMin{ 0x84, 0x00, 0x00, 0x00, 0x80 };
    Bytes tree;
    appendName (tree, trailerId);
    if (where == IntMinAt::propertyCount)
    {
        tree.insert (tree.end(), intMin.begin(), intMin.end());
        return tree;
    }
    appendCount (tree, 1);
    appendName (tree, "Bypass");
    if (where == IntMinAt::valueSize)
        tree.insert (tree.end(), intMin.begin(), intMin.end());
    tree.insert (tree.end(), { 1, 1, 2 });
    if (where == IntMinAt::childCount)
        tree.insert (tree.end(), intMin.begin(), intMin.end());
    else
        appendCount (tree, 0);
    return tree;
}

struct Case
{
    const char* what;
    Bytes (*damage) (const Bytes& state);
    bool restoresBypass; // only an intact trailer brings the saved bypass value back
};

inline const Case cases[] = {
    { "intact", [] (const Bytes& s) { return s; }, true },
    { "trailer size 0x1000000", [] (const Bytes& s) { return withTrailerSize (s, 0x1000000); }, false },
    { "trailer size 0x7fffffff", [] (const Bytes& s) { return withTrailerSize (s, 0x7fffffff); }, false },
    { "trailer size equal to the whole stream", [] (const Bytes& s) { return withTrailerSize (s, s.size()); }, false },
    { "trailer size 2^32", [] (const Bytes& s) { return withTrailerSize (s, std::uint64_t{ 1 } << 32); }, false },
    { "trailer size all ones", [] (const Bytes& s) { return withTrailerSize (s, ~std::uint64_t{ 0 }); }, false },
    { "trailer size one more than the bytes in front of it",
      [] (const Bytes& s) { return withTrailerSize (s, s.size() - trailerFixedBytes + 1); },
      false },
    { "private tree nested 100 000 deep",
      [] (const Bytes& s) { return componentState (processorBlob (s), nestedTree (100000)); },
      false },
    { "private tree holding arrays nested 100 000 deep",
      [] (const Bytes& s) { return componentState (processorBlob (s), nestedArrayTree (100000)); },
      false },
    { "private tree claiming 2^31-1 properties",
      [] (const Bytes& s) { return componentState (processorBlob (s), bypassTree (true, 0x7fffffff)); },
      false },
    { "private tree claiming 2^31-1 children",
      [] (const Bytes& s) { return componentState (processorBlob (s), bypassTree (true, 1, 0x7fffffff)); },
      false },
    { "private tree with INT_MIN as its property count",
      [] (const Bytes& s) { return componentState (processorBlob (s), treeWithIntMin (IntMinAt::propertyCount)); },
      false },
    { "private tree with INT_MIN as a value's size",
      [] (const Bytes& s) { return componentState (processorBlob (s), treeWithIntMin (IntMinAt::valueSize)); },
      false },
    { "private tree with INT_MIN as its child count",
      [] (const Bytes& s) { return componentState (processorBlob (s), treeWithIntMin (IntMinAt::childCount)); },
      false },
};
}
