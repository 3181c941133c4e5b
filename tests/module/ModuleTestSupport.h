#pragma once

#include <pluginterfaces/base/funknown.h>
#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The loaded module and its three entry points, loaded once for the whole test program: Quolbane.so
// dlopen'ed (ModuleLoader.cpp), or the Windows DLL in the Windows test host, whose InitDll takes no
// handle; there moduleEntry stays null, InitDll having been called on loading.
namespace moduletest
{
using EntryFunction = bool (*) (void*);
using ExitFunction = bool (*)();
using FactoryFunction = Steinberg::IPluginFactory* (*) ();

struct Module
{
    void* handle = nullptr;
    EntryFunction moduleEntry = nullptr;
    ExitFunction moduleExit = nullptr;
    FactoryFunction getPluginFactory = nullptr;
};

// Loaded on first use, with ModuleEntry called once; all entry points null when that failed.
const Module& module();

using Bytes = std::array<std::uint8_t, 16>;

constexpr std::uint32_t fourCharCode (const char (&code)[5])
{
    return (std::uint32_t (std::uint8_t (code[0])) << 24) | (std::uint32_t (std::uint8_t (code[1])) << 16) |
           (std::uint32_t (std::uint8_t (code[2])) << 8) | std::uint32_t (std::uint8_t (code[3]));
}

constexpr std::uint32_t manufacturerCode = fourCharCode ("Qlbn");
constexpr std::uint32_t pluginCode = fourCharCode ("Qbna");

// The layout of a class ID as the module hands it out on Linux: all four words big-endian.
inline Bytes linuxLayout (std::uint32_t w1, std::uint32_t w2, std::uint32_t w3, std::uint32_t w4)
{
    Bytes b{};
    const std::uint32_t words[] = { w1, w2, w3, w4 };
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            b[std::size_t (4 * i + j)] = std::uint8_t (words[i] >> (24 - 8 * j));
    return b;
}

// The COM GUID layout that Windows uses: w1 little-endian, the halves of w2 little-endian.
inline Bytes comLayout (std::uint32_t w1, std::uint32_t w2, std::uint32_t w3, std::uint32_t w4)
{
    auto b = linuxLayout (w1, w2, w3, w4);
    const Bytes be = b;
    b[0] = be[3], b[1] = be[2], b[2] = be[1], b[3] = be[0];
    b[4] = be[5], b[5] = be[4], b[6] = be[7], b[7] = be[6];
    return b;
}

// Class IDs as the module under test hands them out: in the COM layout on Windows.
inline Bytes moduleLayout (std::uint32_t w1, std::uint32_t w2, std::uint32_t w3, std::uint32_t w4)
{
#ifdef _WIN32
    return comLayout (w1, w2, w3, w4);
#else
    return linuxLayout (w1, w2, w3, w4);
#endif
}

inline const Bytes componentClassId = moduleLayout (0xABCDEF01, 0x9182FAEB, manufacturerCode, pluginCode);
inline const Bytes controllerClassId = moduleLayout (0xABCDEF01, 0x1234ABCD, manufacturerCode, pluginCode);
inline const Bytes processorInterfaceId = moduleLayout (0x0101ABAB, 0xABCDEF01, manufacturerCode, pluginCode);

inline Bytes toBytes (const Steinberg::TUID id)
{
    Bytes b{};
    std::memcpy (b.data(), id, b.size());
    return b;
}

inline const char* asTuid (const Bytes& b)
{
    return reinterpret_cast<const char*> (b.data());
}

std::string hex (const Bytes& b);

// A factory reference that is released when it goes out of scope.
struct FactoryRef
{
    FactoryRef() : factory (module().getPluginFactory != nullptr ? module().getPluginFactory() : nullptr) {}
    ~FactoryRef()
    {
        if (factory != nullptr)
            factory->release();
    }
    FactoryRef (const FactoryRef&) = delete;
    FactoryRef& operator= (const FactoryRef&) = delete;

    Steinberg::IPluginFactory* operator->() const { return factory; }
    Steinberg::IPluginFactory* factory;
};

// Asks an object for an interface and returns it (or null), with its own reference.
template <typename Interface>
Interface* query (Steinberg::FUnknown* object)
{
    void* result = nullptr;
    if (object == nullptr || object->queryInterface (Interface::iid, &result) != Steinberg::kResultOk)
        return nullptr;
    return static_cast<Interface*> (result);
}

// What a new component saves (getState) after it was given a state through setState, and the
// result of that setState. saved is empty when the module or a call failed.
struct StateRun
{
    Steinberg::tresult restoreResult = Steinberg::kInternalError;
    std::vector<std::uint8_t> saved;
};
StateRun restoreAndSave (const std::vector<std::uint8_t>& state, bool streamTellsSize = true);
StateRun restoreAndSave (Steinberg::IBStream& in);

// What getState answers when a new component, given the state, saves into the stream out.
Steinberg::tresult restoreAndSaveInto (const std::vector<std::uint8_t>& state, Steinberg::IBStream& out);

// What a new component saves when nothing was restored.
std::vector<std::uint8_t> freshState();

// A state of the plug-in's own blob format with values other than the defaults, and JUCE's
// trailer with the bypass on.
std::vector<std::uint8_t> nonDefaultState();

// A component and its controller, created, initialised and connected as a host does it, and torn
// down in the reverse order unless the test has done so itself (tearDown).
struct Instance
{
    Instance();
    ~Instance();
    Instance (const Instance&) = delete;
    Instance& operator= (const Instance&) = delete;

    bool isValid() const { return component != nullptr && controller != nullptr && processor != nullptr; }

    // Disconnects, terminates and releases both objects.
    void tearDown();

    // setupProcessing (32-bit, realtime) and setActive (true); the results of both.
    std::pair<Steinberg::tresult, Steinberg::tresult> activate (double sampleRate, int maxSamplesPerBlock);

    // One stereo block through process: the output for the input, or an empty vector when the call
    // fails (its result in lastResult). Both channels of the input are the same samples.
    std::vector<float> process (const std::vector<float>& input);
    Steinberg::tresult lastResult = Steinberg::kResultOk;

    // One block through process from two input channels into two output channels, allocating
    // nothing on the way.
    Steinberg::tresult processChannels (float** inputs, float** outputs, Steinberg::int32 numSamples);

    Steinberg::Vst::IComponent* component = nullptr;
    Steinberg::Vst::IEditController* controller = nullptr;
    Steinberg::Vst::IAudioProcessor* processor = nullptr;
    Steinberg::Vst::IConnectionPoint* componentPoint = nullptr;
    Steinberg::Vst::IConnectionPoint* controllerPoint = nullptr;
};

// What activate answers when setupProcessing and setActive both succeed.
inline const std::pair<Steinberg::tresult, Steinberg::tresult> activated{ Steinberg::kResultOk, Steinberg::kResultOk };

// Reproducible noise in -0.5 ... 0.5, n samples, followed by silence up to length.
std::vector<float> noiseBurst (std::size_t n, std::size_t length);

// The first sample where two outputs differ (0 when their lengths differ), or -1.
long firstDifference (const std::vector<float>& a, const std::vector<float>& b);
}
