#pragma once

#include "processor/QuolbaneProcessor.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace ProcessorTest
{
// IDs in parameter (host) order.
inline constexpr std::array<const char*, 10> parameterIds{ "character", "mix",        "size",  "decay",  "predelay",
                                                           "damping",   "modulation", "width", "lowcut", "highcut" };

// IDs in the order the tree state writes its entries.
inline constexpr std::array<const char*, 10> sortedIds{ "character", "damping",    "decay",    "highcut", "lowcut",
                                                        "mix",       "modulation", "predelay", "size",    "width" };

inline juce::RangedAudioParameter& parameter (QuolbaneProcessor& p, const char* id)
{
    auto* param = p.valueTreeState.getParameter (id);
    if (param == nullptr)
    {
        ADD_FAILURE() << "no parameter " << id;
        std::abort();
    }
    return *param;
}

// Sets a plain value the way a host or the editor does.
inline void setPlain (QuolbaneProcessor& p, const char* id, float plain)
{
    auto& param = parameter (p, id);
    param.setValueNotifyingHost (param.convertTo0to1 (plain));
}

inline float plain (QuolbaneProcessor& p, const char* id)
{
    auto& param = parameter (p, id);
    return param.convertFrom0to1 (param.getValue());
}

inline float raw (QuolbaneProcessor& p, const char* id)
{
    return p.valueTreeState.getRawParameterValue (id)->load();
}

using Values = std::array<float, 10>;

inline Values allPlainValues (QuolbaneProcessor& p)
{
    Values v{};
    for (std::size_t i = 0; i < parameterIds.size(); ++i)
        v[i] = plain (p, parameterIds[i]);
    return v;
}

// A set of on-grid values, none at its default.
inline constexpr Values otherValues{ 7.0f, 61.5f, 140.0f, 3.47f, 42.5f, 12.3f, 80.0f, 0.1f, 250.0f, 14000.0f };

inline void setAll (QuolbaneProcessor& p, const Values& v)
{
    for (std::size_t i = 0; i < parameterIds.size(); ++i)
        setPlain (p, parameterIds[i], v[i]);
}

inline juce::MemoryBlock save (QuolbaneProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

inline std::string savedText (QuolbaneProcessor& p)
{
    const auto block = save (p);
    if (block.getSize() < 9)
        return {};
    return std::string (static_cast<const char*> (block.getData()) + 8, block.getSize() - 9);
}

inline void restore (QuolbaneProcessor& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), static_cast<int> (block.getSize()));
}

inline void appendLittleEndian32 (juce::MemoryBlock& block, std::uint32_t v)
{
    const unsigned char bytes[4]{ static_cast<unsigned char> (v), static_cast<unsigned char> (v >> 8),
                                  static_cast<unsigned char> (v >> 16), static_cast<unsigned char> (v >> 24) };
    block.append (bytes, 4);
}

inline constexpr std::uint32_t magic = 0x21324356;

// A blob in the saved layout around the given text; the length field is the text's size unless given.
inline juce::MemoryBlock makeBlob (const std::string& text, std::int64_t lengthField = -1, bool terminator = true)
{
    juce::MemoryBlock block;
    appendLittleEndian32 (block, magic);
    appendLittleEndian32 (
        block, static_cast<std::uint32_t> (lengthField < 0 ? static_cast<std::int64_t> (text.size()) : lengthField));
    block.append (text.data(), text.size());
    if (terminator)
        block.append ("", 1);
    return block;
}

inline const std::string declaration = R"(<?xml version="1.0" encoding="UTF-8"?> )";

inline std::string param (const char* id, const std::string& value)
{
    return std::string ("<PARAM id=\"") + id + "\" value=\"" + value + "\"/>";
}

inline std::string stateText (const std::string& children, const std::string& root = "QUOLBANE")
{
    return declaration + "<" + root + ">" + children + "</" + root + ">";
}

// Ends the whole test program when the guarded scope does not finish in time: a hang then
// fails its test instead of blocking the run for ever.
class Watchdog
{
public:
    Watchdog (std::string whatIn, std::chrono::seconds limit) : what (std::move (whatIn))
    {
        thread = std::thread (
            [this, limit]
            {
                std::unique_lock<std::mutex> lock (mutex);
                if (!finished.wait_for (lock, limit, [this] { return done; }))
                {
                    std::fprintf (stderr, "FAILED: %s did not finish within %d s\n", what.c_str(),
                                  static_cast<int> (limit.count()));
                    std::fflush (stderr);
                    std::fflush (stdout);
                    std::_Exit (1);
                }
            });
    }

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock (mutex);
            done = true;
        }
        finished.notify_all();
        thread.join();
    }

private:
    std::string what;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread thread;
};
}
