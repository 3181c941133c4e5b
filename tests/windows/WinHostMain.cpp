// Windows test host for the built Quolbane.vst3. It runs one group of checks, named on the command
// line, against the module file inside the bundle and exits non-zero when any check fails:
//   entry     InitDll, ExitDll and GetPluginFactory called directly from the DLL
//   factory   factory and class information and class IDs, read through the SDK's interfaces
//   describe  the plug-in description that JUCE's VST3 hosting reads
//   params    the parameters, as JUCE's host sees them
//   audio     audio through the plug-in
//   state     the state round trip through the host, also with a damaged JUCE trailer
// and, through the module's own VST3 interfaces as a host that bends the rules calls them:
//   instance  parameter information outside the list, queryInterface without an out pointer
//   process   blocks longer than the prepared maximum, a negative sample count, bus arrangements
//   streams   setState from streams that read a few bytes at a time or are far too long, getState
//             into streams that write short or fail
//   view      the editor's view in a host window, torn down in either order
#include <juce_audio_processors/juce_audio_processors.h>

#define JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY 1
#include <juce_audio_processors/format_types/juce_VST3Headers.h>

#include "processor/ParameterTable.h"
#include "tests/module/ByteStream.h"
#include "tests/module/HostRuleCases.h"
#include "tests/module/ModuleTestSupport.h"
#include "tests/support/HostComponentState.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <string>

using namespace Steinberg;

namespace
{
int failures = 0;
int passes = 0;

void check (bool ok, const std::string& what)
{
    if (ok)
    {
        ++passes;
        return;
    }
    ++failures;
    std::printf ("FAILED: %s\n", what.c_str());
}

template <typename A, typename B>
void checkEqual (const A& actual, const B& expected, const std::string& what)
{
    const bool ok = actual == expected;
    if (!ok)
        std::printf ("  %s: got \"%s\", expected \"%s\"\n", what.c_str(), juce::String (actual).toRawUTF8(),
                     juce::String (expected).toRawUTF8());
    check (ok, what);
}

std::string hexBytes (const void* data, size_t size)
{
    std::string s;
    char two[4];
    for (size_t i = 0; i < size; ++i)
    {
        std::snprintf (two, sizeof (two), i == 0 ? "%02X" : " %02X", static_cast<const unsigned char*> (data)[i]);
        s += two;
    }
    return s;
}

using ClassId = std::array<unsigned char, 16>;

// The class IDs in the COM GUID layout the host receives on Windows: the first word
// little-endian, the second as two little-endian halves, then the codes "Qlbn" and "Qbna".
constexpr ClassId componentClassId{ 0x01, 0xEF, 0xCD, 0xAB, 0x82, 0x91, 0xEB, 0xFA,
                                    'Q',  'l',  'b',  'n',  'Q',  'b',  'n',  'a' };
constexpr ClassId controllerClassId{ 0x01, 0xEF, 0xCD, 0xAB, 0x34, 0x12, 0xCD, 0xAB,
                                     'Q',  'l',  'b',  'n',  'Q',  'b',  'n',  'a' };
constexpr ClassId processorInterfaceId{ 0xAB, 0xAB, 0x01, 0x01, 0xCD, 0xAB, 0x01, 0xEF,
                                        'Q',  'l',  'b',  'n',  'Q',  'b',  'n',  'a' };

ClassId toClassId (const TUID id)
{
    ClassId c{};
    std::memcpy (c.data(), id, c.size());
    return c;
}

juce::String utf16 (const char16* text)
{
    return juce::String (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (text)));
}

// Every byte after the text is zero, as a fixed-size field filled from the start.
bool zeroPadded (const char* field, size_t size)
{
    const auto length = std::strlen (field);
    for (auto i = length; i < size; ++i)
        if (field[i] != 0)
            return false;
    return length < size;
}

struct Module
{
    explicit Module (const juce::String& path) : handle (LoadLibraryW (path.toWideCharPointer())) {}
    ~Module()
    {
        if (handle != nullptr)
            FreeLibrary (handle);
    }

    template <typename Fn>
    Fn* entry (const char* name) const
    {
        return handle != nullptr ? reinterpret_cast<Fn*> (reinterpret_cast<void*> (GetProcAddress (handle, name)))
                                 : nullptr;
    }

    HMODULE handle;
};

using BoolEntry = bool();
using FactoryEntry = IPluginFactory* PLUGIN_API();

//==============================================================================
void checkEntryPoints (const juce::String& dllPath)
{
    Module module (dllPath);
    check (module.handle != nullptr, "LoadLibrary loads the module");
    auto* initDll = module.entry<BoolEntry> ("InitDll");
    auto* exitDll = module.entry<BoolEntry> ("ExitDll");
    auto* getFactory = module.entry<FactoryEntry> ("GetPluginFactory");
    check (initDll != nullptr && exitDll != nullptr && getFactory != nullptr, "all three entry points resolve");
    if (initDll == nullptr || exitDll == nullptr || getFactory == nullptr)
        return;

    // Hosts pair the calls loosely; each one reports success whatever came before.
    for (const auto* order : { "IIIEEE", "IEIEIE", "EEIIE" })
        for (const char* c = order; *c != 0; ++c)
            check ((*c == 'I' ? initDll : exitDll)(), std::string ("InitDll/ExitDll in order ") + order);

    auto* first = getFactory();
    auto* second = getFactory();
    check (first != nullptr && second != nullptr, "GetPluginFactory returns a factory on every call");
    if (first == nullptr || second == nullptr)
        return;
    std::printf ("GetPluginFactory twice: %s\n", first == second ? "the same object" : "two objects");

    PFactoryInfo a{}, b{};
    check (first->getFactoryInfo (&a) == kResultOk && second->getFactoryInfo (&b) == kResultOk,
           "both factories report their information");
    check (std::memcmp (&a, &b, sizeof (a)) == 0, "both factories report the same information");

    // Releasing one reference leaves the other factory fully usable.
    first->release();
    check (second->countClasses() == 2, "the remaining factory still lists two classes");
    FUnknown* component = nullptr;
    check (second->createInstance (reinterpret_cast<FIDString> (componentClassId.data()), Vst::IComponent::iid,
                                   reinterpret_cast<void**> (&component)) == kResultOk &&
               component != nullptr,
           "the remaining factory still creates a component");
    if (component != nullptr)
        component->release();
    second->release();

    check (initDll() && exitDll(), "InitDll/ExitDll after the factories are gone");
}

//==============================================================================
void checkFactory (const juce::String& dllPath)
{
    Module module (dllPath);
    auto* getFactory = module.entry<FactoryEntry> ("GetPluginFactory");
    check (getFactory != nullptr, "GetPluginFactory resolves");
    if (getFactory == nullptr)
        return;

    auto* factory = getFactory();
    check (factory != nullptr, "GetPluginFactory returns a factory");
    if (factory == nullptr)
        return;

    PFactoryInfo info{};
    check (factory->getFactoryInfo (&info) == kResultOk, "getFactoryInfo succeeds");
    checkEqual (juce::String (info.vendor), "QuolBane Audio", "factory vendor");
    checkEqual (juce::String (info.url), "https://quolbane.example", "factory url");
    checkEqual (juce::String (info.email), "support@quolbane.example", "factory email");
    checkEqual (static_cast<int> (info.flags), 16, "factory flags (kUnicode)");
    check (zeroPadded (info.vendor, sizeof (info.vendor)) && zeroPadded (info.url, sizeof (info.url)) &&
               zeroPadded (info.email, sizeof (info.email)),
           "factory texts are zero-padded");
    check (factory->getFactoryInfo (nullptr) == kInvalidArgument, "getFactoryInfo with no record is refused");

    checkEqual (static_cast<int> (factory->countClasses()), 2, "countClasses");

    struct Expected
    {
        const char* category;
        ClassId id;
    };
    const Expected expected[] = { { kVstAudioEffectClass, componentClassId },
                                  { kVstComponentControllerClass, controllerClassId } };
    checkEqual (juce::String (kVstAudioEffectClass), "Audio Module Class", "component category constant");
    checkEqual (juce::String (kVstComponentControllerClass), "Component Controller Class",
                "controller category constant");

    IPluginFactory2* factory2 = nullptr;
    IPluginFactory3* factory3 = nullptr;
    check (factory->queryInterface (IPluginFactory2::iid, reinterpret_cast<void**> (&factory2)) == kResultOk &&
               factory2 != nullptr,
           "the factory is an IPluginFactory2");
    check (factory->queryInterface (IPluginFactory3::iid, reinterpret_cast<void**> (&factory3)) == kResultOk &&
               factory3 != nullptr,
           "the factory is an IPluginFactory3");

    for (int32 index = 0; index < 2; ++index)
    {
        const auto label = "class " + std::to_string (index) + " ";
        PClassInfo basic{};
        check (factory->getClassInfo (index, &basic) == kResultOk, label + "getClassInfo");
        std::printf ("class %d (%s) ID bytes: %s\n", static_cast<int> (index), basic.category,
                     hexBytes (basic.cid, sizeof (basic.cid)).c_str());
        check (toClassId (basic.cid) == expected[index].id, label + "ID bytes in COM layout");
        checkEqual (juce::String (basic.category), expected[index].category, label + "category");
        checkEqual (juce::String (basic.name), "Quolbane", label + "name");
        checkEqual (static_cast<int> (basic.cardinality), 0x7FFFFFFF, label + "cardinality");

        if (factory2 != nullptr)
        {
            PClassInfo2 info2{};
            check (factory2->getClassInfo2 (index, &info2) == kResultOk, label + "getClassInfo2");
            check (toClassId (info2.cid) == expected[index].id, label + "PClassInfo2 ID");
            checkEqual (juce::String (info2.category), expected[index].category, label + "PClassInfo2 category");
            checkEqual (juce::String (info2.name), "Quolbane", label + "PClassInfo2 name");
            checkEqual (juce::String (info2.subCategories), "Fx|Reverb", label + "subcategories");
            checkEqual (juce::String (info2.vendor), "QuolBane Audio", label + "vendor");
            checkEqual (juce::String (info2.version), "0.1.0", label + "version");
            // The SDK version names the VST3 SDK the module was built against.
            std::printf ("class %d SDK version: %s\n", static_cast<int> (index), info2.sdkVersion);
            checkEqual (juce::String (info2.sdkVersion), kVstVersionString, label + "SDK version");
            checkEqual (static_cast<int> (info2.classFlags), 0, label + "class flags");
            checkEqual (static_cast<int> (info2.cardinality), 0x7FFFFFFF, label + "PClassInfo2 cardinality");
        }

        if (factory3 != nullptr)
        {
            PClassInfoW infoW{};
            check (factory3->getClassInfoUnicode (index, &infoW) == kResultOk, label + "getClassInfoUnicode");
            check (toClassId (infoW.cid) == expected[index].id, label + "PClassInfoW ID");
            checkEqual (utf16 (infoW.name), "Quolbane", label + "16-bit name");
            checkEqual (utf16 (infoW.vendor), "QuolBane Audio", label + "16-bit vendor");
            checkEqual (utf16 (infoW.version), "0.1.0", label + "16-bit version");
            checkEqual (utf16 (infoW.sdkVersion), kVstVersionString, label + "16-bit SDK version");
            checkEqual (juce::String (infoW.category), expected[index].category, label + "8-bit category");
            checkEqual (juce::String (infoW.subCategories), "Fx|Reverb", label + "8-bit subcategories");
        }
    }
    check (factory->getClassInfo (0, nullptr) == kInvalidArgument, "getClassInfo with no record is refused");

    // The host pairs the component with its controller through getControllerClassId.
    Vst::IComponent* component = nullptr;
    check (factory->createInstance (reinterpret_cast<FIDString> (componentClassId.data()), Vst::IComponent::iid,
                                    reinterpret_cast<void**> (&component)) == kResultOk &&
               component != nullptr,
           "createInstance makes the component");
    if (component != nullptr)
    {
        TUID controllerId{};
        check (component->getControllerClassId (controllerId) == kResultOk, "getControllerClassId succeeds");
        check (toClassId (controllerId) == controllerClassId, "the component names the controller class");
        FUnknown* processorInterface = nullptr;
        check (component->queryInterface (reinterpret_cast<const char*> (processorInterfaceId.data()),
                                          reinterpret_cast<void**> (&processorInterface)) == kResultOk &&
                   processorInterface != nullptr,
               "the component answers the JuceAudioProcessor interface ID");
        if (processorInterface != nullptr)
            processorInterface->release();
        component->release();
    }

    Vst::IEditController* controller = nullptr;
    check (factory->createInstance (reinterpret_cast<FIDString> (controllerClassId.data()), Vst::IEditController::iid,
                                    reinterpret_cast<void**> (&controller)) == kResultOk &&
               controller != nullptr,
           "createInstance makes the edit controller");
    if (controller != nullptr)
        controller->release();

    // Refused requests leave no object behind.
    const TUID zeroId{};
    struct Refused
    {
        const char* what;
        const unsigned char* cid;
        const char* iid;
        tresult result;
    };
    const Refused refused[] = {
        { "component asked for IEditController", componentClassId.data(), Vst::IEditController::iid, kNoInterface },
        { "processor interface ID as class ID", processorInterfaceId.data(), Vst::IComponent::iid, kNoInterface },
        { "all-zero interface ID", componentClassId.data(), zeroId, kInvalidArgument },
        { "null interface ID", componentClassId.data(), nullptr, kInvalidArgument },
    };
    for (const auto& r : refused)
    {
        void* obj = reinterpret_cast<void*> (1);
        check (factory->createInstance (reinterpret_cast<FIDString> (r.cid), r.iid, &obj) == r.result && obj == nullptr,
               std::string ("createInstance refuses: ") + r.what);
    }
    check (factory->createInstance (reinterpret_cast<FIDString> (componentClassId.data()), Vst::IComponent::iid,
                                    nullptr) == kInvalidArgument,
           "createInstance refuses: no out pointer");

    // Indices outside the class list are refused without reading past it.
    for (const int32 index : { -1, 2, 64, std::numeric_limits<int32>::max() })
    {
        PClassInfo basic{};
        check (factory->getClassInfo (index, &basic) == kInvalidArgument,
               "getClassInfo refuses index " + std::to_string (index));
        if (factory2 != nullptr)
        {
            PClassInfo2 info2{};
            check (factory2->getClassInfo2 (index, &info2) == kInvalidArgument,
                   "getClassInfo2 refuses index " + std::to_string (index));
        }
        if (factory3 != nullptr)
        {
            PClassInfoW infoW{};
            check (factory3->getClassInfoUnicode (index, &infoW) == kInvalidArgument,
                   "getClassInfoUnicode refuses index " + std::to_string (index));
        }
    }

    void* obj = reinterpret_cast<void*> (1);
    check (factory->queryInterface (Vst::IComponent::iid, &obj) == kNotImplemented && obj == nullptr,
           "the factory is no IComponent");

    if (factory2 != nullptr)
        factory2->release();
    if (factory3 != nullptr)
        factory3->release();
    factory->release();
}

//==============================================================================
struct HostedPlugin
{
    explicit HostedPlugin (const juce::String& dllPath)
    {
        format.findAllTypesForFile (types, dllPath);
        if (types.size() == 1)
        {
            juce::String error;
            instance = format.createInstanceFromDescription (*types[0], 48000.0, 512, error);
            if (instance == nullptr)
                std::printf ("createInstanceFromDescription: %s\n", error.toRawUTF8());
        }
    }

    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    std::unique_ptr<juce::AudioPluginInstance> instance;
};

void checkDescription (const juce::String& dllPath)
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, dllPath);
    checkEqual (types.size(), 1, "one plug-in in the module");
    if (types.size() != 1)
        return;

    const auto& d = *types[0];
    checkEqual (d.name, "Quolbane", "name");
    checkEqual (d.manufacturerName, "QuolBane Audio", "manufacturer");
    checkEqual (d.category, "Fx|Reverb", "category");
    checkEqual (d.version, "0.1.0", "version");
    checkEqual (d.pluginFormatName, "VST3", "format");
    check (!d.isInstrument, "not an instrument");
    checkEqual (d.numInputChannels, 2, "input channels");
    checkEqual (d.numOutputChannels, 2, "output channels");
}

void checkParameters (const juce::String& dllPath)
{
    HostedPlugin plugin (dllPath);
    check (plugin.instance != nullptr, "the plug-in instance is created");
    if (plugin.instance == nullptr)
        return;

    checkEqual (plugin.instance->getName(), "Quolbane", "instance name");
    const auto& params = plugin.instance->getParameters();
    checkEqual (params.size(), 11, "parameter count");
    if (params.size() != 11)
        return;

    checkEqual (params[0]->getName (64), "Character", "parameter 0 name");
    for (size_t i = 0; i < floatParameterTable.size(); ++i)
        checkEqual (params[static_cast<int> (i) + 1]->getName (64), floatParameterTable[i].name,
                    "parameter " + std::to_string (i + 1) + " name");
    checkEqual (params[10]->getName (64), "Bypass", "last parameter");
    checkEqual (params[0]->getNumSteps(), 10, "character steps");

    // Every parameter reports its default as its value before anything was set.
    for (auto* p : params)
        check (std::abs (p->getValue() - p->getDefaultValue()) < 1.0e-6f,
               "parameter " + p->getName (64).toStdString() + " starts at its default");

    checkEqual (plugin.instance->getTotalNumInputChannels(), 2, "default input channels");
    checkEqual (plugin.instance->getTotalNumOutputChannels(), 2, "default output channels");
    checkEqual (plugin.instance->getLatencySamples(), 0, "latency");
}

// Runs blockCount blocks of stereo audio, the input given per sample index, and returns the output.
juce::AudioBuffer<float> runAudio (juce::AudioPluginInstance& plugin, int blockCount,
                                   const std::function<float (int)>& input)
{
    constexpr int blockSize = 512;
    juce::AudioBuffer<float> output (2, blockCount * blockSize);
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    for (int b = 0; b < blockCount; ++b)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < blockSize; ++i)
                block.setSample (ch, i, input (b * blockSize + i));
        plugin.processBlock (block, midi);
        for (int ch = 0; ch < 2; ++ch)
            output.copyFrom (ch, b * blockSize, block, ch, 0, blockSize);
    }
    return output;
}

bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (!std::isfinite (buffer.getSample (ch, i)))
                return false;
    return true;
}

void checkAudio (const juce::String& dllPath)
{
    HostedPlugin plugin (dllPath);
    check (plugin.instance != nullptr, "the plug-in instance is created");
    if (plugin.instance == nullptr)
        return;
    auto& p = *plugin.instance;
    p.enableAllBuses();
    p.prepareToPlay (48000.0, 512);

    // An impulse at the start: the default voicing has a 20 ms pre-delay and a 2 s decay, so the
    // output well after the direct sound is the reverb's alone.
    const auto impulse = runAudio (p, 40, [] (int i) { return i == 0 ? 1.0f : 0.0f; });
    check (allFinite (impulse), "impulse response is finite");
    const int tailStart = 48000 / 5; // 200 ms
    for (int ch = 0; ch < 2; ++ch)
    {
        const auto tailRms = impulse.getRMSLevel (ch, tailStart, impulse.getNumSamples() - tailStart);
        std::printf ("channel %d: RMS from 200 ms to 427 ms after an impulse: %g\n", ch, tailRms);
        check (tailRms > 1.0e-5f && tailRms < 1.0f, "channel " + std::to_string (ch) + " carries a reverb tail");
    }
    check (impulse.getMagnitude (0, 0, impulse.getNumSamples()) < 4.0f, "the impulse response stays bounded");

    // Steady noise stays finite and bounded.
    juce::Random random (7);
    const auto noise = runAudio (p, 40, [&random] (int) { return random.nextFloat() * 0.5f - 0.25f; });
    check (allFinite (noise), "noise response is finite");
    check (noise.getMagnitude (0, noise.getNumSamples()) < 8.0f, "noise response stays bounded");

    // A non-finite input never reaches the output.
    const auto nan = std::numeric_limits<float>::quiet_NaN();
    const auto bad = runAudio (p, 4, [nan] (int i) { return i == 100 ? nan : 0.1f; });
    check (allFinite (bad), "a NaN in the input gives a finite output");
    const auto after = runAudio (p, 8, [] (int i) { return i == 0 ? 1.0f : 0.0f; });
    check (allFinite (after) && after.getMagnitude (0, after.getNumSamples()) > 0.0f,
           "the plug-in keeps producing sound after a NaN");

    p.releaseResources();
}

void checkState (const juce::String& dllPath)
{
    HostedPlugin plugin (dllPath);
    check (plugin.instance != nullptr, "the plug-in instance is created");
    if (plugin.instance == nullptr)
        return;
    auto& p = *plugin.instance;
    const auto& params = p.getParameters();
    checkEqual (params.size(), 11, "parameter count");
    if (params.size() != 11)
        return;

    p.enableAllBuses();
    p.prepareToPlay (48000.0, 512);
    const auto runBlock = [&p] { runAudio (p, 1, [] (int) { return 0.0f; }); };

    // Character "Basilica" (index 3 of 10), and a distinct value for every continuous parameter.
    std::map<int, float> stored{ { 0, 3.0f / 9.0f } };
    for (int i = 1; i <= 9; ++i)
        stored[i] = 0.05f + 0.09f * static_cast<float> (i);
    for (const auto& [index, value] : stored)
        params[index]->setValueNotifyingHost (value);
    runBlock();
    // The plug-in snaps each continuous value to its parameter's step, so the state holds that.
    for (int i = 1; i <= 9; ++i)
    {
        const auto& info = floatParameterTable[static_cast<size_t> (i - 1)];
        const juce::NormalisableRange<float> range (info.start, info.end, info.interval, info.skew);
        stored[i] = range.convertTo0to1 (range.snapToLegalValue (range.convertFrom0to1 (stored[i])));
    }

    juce::MemoryBlock state;
    p.getStateInformation (state);
    check (state.getSize() > 0, "the state is not empty");

    for (const auto& [index, value] : stored)
        params[index]->setValueNotifyingHost (index == 0 ? 0.0f : 1.0f - value);
    runBlock();

    p.setStateInformation (state.getData(), static_cast<int> (state.getSize()));
    runBlock();
    for (const auto& [index, value] : stored)
    {
        const auto restored = params[index]->getValue();
        if (std::abs (restored - value) > 1.0e-4f)
            std::printf ("  parameter %d: stored %g, restored %g\n", index, value, restored);
        check (std::abs (restored - value) <= 1.0e-4f,
               "parameter " + params[index]->getName (64).toStdString() + " restored");
    }
    checkEqual (params[0]->getCurrentValueAsText(), "Basilica", "restored character");

    // The same state restores into a fresh instance too.
    HostedPlugin second (dllPath);
    check (second.instance != nullptr, "a second instance is created");
    if (second.instance != nullptr)
    {
        second.instance->setStateInformation (state.getData(), static_cast<int> (state.getSize()));
        const auto& params2 = second.instance->getParameters();
        for (const auto& [index, value] : stored)
            check (std::abs (params2[index]->getValue() - value) <= 1.0e-4f,
                   "fresh instance: parameter " + params2[index]->getName (64).toStdString() + " restored");
    }

    // Garbage leaves the parameters as they were.
    const char garbage[] = "not a state at all";
    p.setStateInformation (garbage, sizeof (garbage));
    runBlock();
    check (std::abs (params[1]->getValue() - stored[1]) <= 1.0e-4f, "garbage state is ignored");

    // A saved state whose JUCE trailer was damaged restores the parameters; only an intact
    // trailer brings the saved bypass back.
    auto* bypass = p.getBypassParameter();
    check (bypass != nullptr, "the host offers the bypass parameter");
    if (bypass == nullptr)
        return;
    bypass->setValueNotifyingHost (1.0f);
    runBlock();
    juce::MemoryBlock bypassedState;
    p.getStateInformation (bypassedState);
    const auto component = statedamage::componentChunk (bypassedState);
    check (statedamage::hasTrailer (component), "the component's chunk ends with JUCE's trailer");
    for (const auto& c : statedamage::cases)
    {
        for (const auto& [index, value] : stored)
            params[index]->setValueNotifyingHost (index == 0 ? 0.0f : 1.0f - value);
        bypass->setValueNotifyingHost (0.0f);
        runBlock();

        const auto damaged = statedamage::withComponentChunk (bypassedState, c.damage (component));
        p.setStateInformation (damaged.getData(), static_cast<int> (damaged.getSize()));
        runBlock();
        bool restored = true;
        for (const auto& [index, value] : stored)
            restored = restored && std::abs (params[index]->getValue() - value) <= 1.0e-4f;
        check (restored, std::string ("trailer damage, ") + c.what + ": parameters restored");
        check (bypass->getValue() == (c.restoresBypass ? 1.0f : 0.0f),
               std::string ("trailer damage, ") + c.what + ": bypass " + (c.restoresBypass ? "restored" : "kept"));
    }

    p.releaseResources();
}

//==============================================================================
using moduletest::activated;
using moduletest::ByteStream;
using moduletest::firstDifference;
using moduletest::Instance;
namespace hostrules = moduletest::hostrules;

bool sounds (const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (auto x : samples)
    {
        if (!std::isfinite (x))
            return false;
        peak = std::max (peak, std::abs (x));
    }
    return peak > 0.01f;
}

void checkInstance (const juce::String&)
{
    // A host that asks past the parameter list, or after terminate, is told so; nothing is thrown.
    {
        Instance instance;
        check (instance.isValid(), "the component and the controller are made and connected");
        if (!instance.isValid())
            return;
        const auto count = instance.controller->getParameterCount();
        checkEqual (static_cast<int> (count), 11, "parameter count");
        for (const int32 index :
             { -1, count, count + 1, std::numeric_limits<int32>::max(), std::numeric_limits<int32>::min() })
        {
            Vst::ParameterInfo info{};
            check (instance.controller->getParameterInfo (index, info) == kInvalidArgument,
                   "getParameterInfo refuses index " + std::to_string (index));
        }
        Vst::ParameterInfo last{};
        check (instance.controller->getParameterInfo (count - 1, last) == kResultOk,
               "getParameterInfo answers the last index");
        check (instance.controller->terminate() == kResultOk, "the controller terminates");
        Vst::ParameterInfo info{};
        check (instance.controller->getParameterInfo (0, info) == kInvalidArgument,
               "getParameterInfo refuses index 0 after terminate");
    }

    // queryInterface with nowhere to write the answer; the object still answers a proper query.
    Instance instance;
    moduletest::FactoryRef factory;
    check (instance.isValid() && factory.factory != nullptr, "the factory and an instance are at hand");
    if (!instance.isValid() || factory.factory == nullptr)
        return;
    const std::pair<const char*, FUnknown*> objects[] = {
        { "factory", factory.factory },
        { "component", instance.component },
        { "controller", instance.controller },
        { "audio processor", instance.processor },
    };
    for (const auto& [what, object] : objects)
    {
        const std::string label = std::string (what) + ": queryInterface ";
        check (object->queryInterface (FUnknown::iid, nullptr) == kInvalidArgument,
               label + "for FUnknown without an out pointer is refused");
        check (object->queryInterface (Vst::IComponent::iid, nullptr) == kInvalidArgument,
               label + "for IComponent without an out pointer is refused");
        void* obj = nullptr;
        check (object->queryInterface (FUnknown::iid, &obj) == kResultOk && obj != nullptr,
               label + "with an out pointer still answers");
        if (obj != nullptr)
            static_cast<FUnknown*> (obj)->release();
    }
}

void checkProcess (const juce::String&)
{
    // A host may send blocks longer than the maximum it announced, or announce a maximum of 0.
    // Such blocks sound exactly as they do through an instance prepared for them, block after block.
    for (const auto& c : hostrules::longBlocks)
    {
        const auto label = std::string ("long block, ") + c.what + ": ";
        Instance host, prepared;
        check (host.isValid() && prepared.isValid(), label + "both instances are made");
        if (!host.isValid() || !prepared.isValid())
            continue;
        check (host.activate (48000.0, c.announcedMaximum) == activated &&
                   prepared.activate (48000.0, c.blockSize) == activated,
               label + "both instances are activated");

        const auto length = static_cast<std::size_t> (c.blockSize);
        const auto input = moduletest::noiseBurst (length / 2 + 1, length);
        for (int block = 0; block < 3; ++block)
        {
            const auto blockLabel = label + "block " + std::to_string (block);
            const auto expected = prepared.process (input);
            const auto output = host.process (input);
            check (host.lastResult == kResultOk && output.size() == 2 * length, blockLabel + " is processed");
            const auto difference = firstDifference (output, expected);
            if (difference >= 0)
                std::printf ("  %s: first difference at sample %ld of %zu\n", blockLabel.c_str(), difference,
                             output.size());
            check (difference == -1, blockLabel + " equals the output of an instance prepared for it");
            check (sounds (output), blockLabel + " is finite and sounds");
        }
    }

    {
        Instance instance;
        check (instance.isValid() && instance.activate (48000.0, 512) == activated, "an instance is activated");
        if (instance.isValid())
        {
            Vst::ProcessData data{};
            data.symbolicSampleSize = Vst::kSample32;
            data.numSamples = -64;
            check (instance.processor->process (data) == kInvalidArgument, "a negative sample count is refused");
            check (sounds (instance.process (moduletest::noiseBurst (256, 512))) && instance.lastResult == kResultOk,
                   "processing goes on after a negative sample count");
        }
    }

    // The bus arrangements a host may propose to the one stereo (or mono) bus in each direction;
    // whatever was refused, the instance still takes stereo and plays.
    for (const auto& c : hostrules::arrangements())
    {
        const auto label = std::string ("bus arrangement, ") + c.what + ": ";
        Instance instance;
        check (instance.isValid(), label + "an instance is made");
        if (!instance.isValid())
            continue;
        auto inputs = c.inputs;
        auto outputs = c.outputs;
        const auto result = instance.processor->setBusArrangements (
            inputs.data(), static_cast<int32> (inputs.size()), outputs.data(), static_cast<int32> (outputs.size()));
        checkEqual (static_cast<int> (result), static_cast<int> (c.expected), label + "result");

        Vst::SpeakerArrangement stereo[] = { Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo };
        check (instance.processor->setBusArrangements (stereo, 1, stereo + 1, 1) == kResultTrue,
               label + "stereo is taken afterwards");
        check (instance.activate (48000.0, 512) == activated &&
                   sounds (instance.process (moduletest::noiseBurst (256, 512))),
               label + "the instance plays afterwards");
    }

    Instance instance;
    check (instance.isValid() && instance.processor->setBusArrangements (nullptr, 1, nullptr, 1) == kInvalidArgument,
           "bus arrangements: null arrays with a count are refused");
}

void checkStreams (const juce::String&)
{
    const auto fresh = moduletest::freshState();
    const auto expected = moduletest::restoreAndSave (moduletest::nonDefaultState()).saved;
    check (statedamage::hasTrailer (fresh) && statedamage::hasTrailer (expected) && expected != fresh,
           "a restored state saves differently from a fresh one, both with JUCE's trailer");

    // A host's stream may deliver fewer bytes per read than asked for; the state is restored all the
    // same, the parameters and JUCE's bypass both, whichever kind of stream it is.
    for (const bool tellsSize : { true, false })
        for (const auto bytesPerRead : hostrules::bytesPerRead)
        {
            const auto label = std::to_string (bytesPerRead) + " bytes per read" + (tellsSize ? ", sized" : "") + ": ";
            ByteStream in (moduletest::nonDefaultState(), tellsSize);
            in.maxBytesPerRead = bytesPerRead;
            const auto run = moduletest::restoreAndSave (in);
            check (run.restoreResult == kResultTrue, label + "setState succeeds");
            check (run.saved == expected, label + "the whole state is restored");
        }

    // A stream far longer than any state of the plug-in (huge, or with no end) is refused after a
    // bounded read, and the component keeps the state it had.
    for (const auto& c : hostrules::longStreams)
    {
        const auto label = std::string ("long stream, ") + c.what + ": ";
        moduletest::GeneratedStream in (c.length, c.reportedSize);
        const auto run = moduletest::restoreAndSave (in);
        checkEqual (static_cast<int> (run.restoreResult), static_cast<int> (kResultFalse), label + "setState result");
        if (in.bytesDelivered > hostrules::longestRead)
            std::printf ("  %s%lld bytes read\n", label.c_str(), static_cast<long long> (in.bytesDelivered));
        check (in.bytesDelivered <= hostrules::longestRead, label + "read no further than the largest state");
        check (run.saved == fresh, label + "the component keeps its state");
    }

    // getState into a stream that takes only part of the state, or nothing, reports that the state
    // was not saved.
    for (const auto& c : hostrules::shortWrites)
    {
        const auto label = std::string ("getState, ") + c.what + ": ";
        Instance instance;
        check (instance.isValid(), label + "an instance is made");
        if (!instance.isValid())
            continue;
        ByteStream out;
        out.capacity = c.capacity (fresh.size());
        out.writesFail = c.writesFail;
        const auto result = instance.component->getState (&out);
        if ((result == kResultOk) != c.saved)
            std::printf ("  %sgot %d\n", label.c_str(), static_cast<int> (result));
        check ((result == kResultOk) == c.saved, label + (c.saved ? "saved" : "reported as not saved"));
        if (c.saved)
            check (out.bytes == fresh, label + "the state is written whole");
    }
}

// Runs the thread's message loop for a while, as a host's UI thread does; the editor's timer ticks
// every 33 ms through it.
void runMessageLoop (int milliseconds)
{
    const auto end = GetTickCount64() + static_cast<ULONGLONG> (milliseconds);
    while (GetTickCount64() < end)
    {
        MSG message;
        while (PeekMessageW (&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage (&message);
            DispatchMessageW (&message);
        }
        Sleep (5);
    }
}

// Both orders in which hosts take an open editor down; the second breaks the rules: the component
// and the controller go first, while the view is still attached to the host's window.
void checkView (const juce::String&)
{
    auto* window = CreateWindowExW (0, L"STATIC", L"Quolbane host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 470,
                                    nullptr, nullptr, GetModuleHandleW (nullptr), nullptr);
    check (window != nullptr, "the host makes a window");
    if (window == nullptr)
        return;

    for (const bool viewFirst : { true, false })
    {
        const std::string label = viewFirst ? "view released first: " : "component and controller released first: ";
        Instance instance;
        check (instance.isValid(), label + "an instance is made");
        auto* view = instance.isValid() ? instance.controller->createView (Vst::ViewType::kEditor) : nullptr;
        check (view != nullptr, label + "the controller makes an editor view");
        if (view == nullptr)
            continue;
        check (view->isPlatformTypeSupported (kPlatformTypeHWND) == kResultTrue, label + "the view takes an HWND");
        check (view->attached (window, kPlatformTypeHWND) == kResultTrue, label + "the view is attached");
        ViewRect size{};
        check (view->getSize (&size) == kResultTrue && size.getWidth() == 640 && size.getHeight() == 470,
               label + "the view is 640 by 470");
        check (view->queryInterface (FUnknown::iid, nullptr) == kInvalidArgument,
               label + "queryInterface without an out pointer is refused");
        runMessageLoop (300);

        if (viewFirst)
        {
            check (view->removed() == kResultOk, label + "the view is removed");
            view->release();
            instance.tearDown();
        }
        else
        {
            instance.tearDown();
            runMessageLoop (300);
            check (view->removed() == kResultOk, label + "the view is removed");
            view->release();
        }
        runMessageLoop (300);
    }
    DestroyWindow (window);
}

// The module file, as a Windows path: Unix paths map to wine's Z: drive.
juce::String windowsPath (juce::String path)
{
    if (path.startsWithChar ('/'))
        path = "Z:" + path;
    return path.replaceCharacter ('/', '\\');
}

juce::String moduleFile;
} // namespace

// The shared module support's loader: LoadLibrary, then InitDll before any other call; the module
// stays loaded until the process ends.
const moduletest::Module& moduletest::module()
{
    static const Module loaded = []
    {
        Module m;
        auto* handle = LoadLibraryW (moduleFile.toWideCharPointer());
        if (handle == nullptr)
            return m;
        m.handle = handle;
        const auto entry = [handle] (const char* name)
        { return reinterpret_cast<void*> (GetProcAddress (handle, name)); };
        auto* initDll = reinterpret_cast<BoolEntry*> (entry ("InitDll"));
        m.moduleExit = reinterpret_cast<ExitFunction> (entry ("ExitDll"));
        if (initDll != nullptr && m.moduleExit != nullptr && initDll())
            m.getPluginFactory = reinterpret_cast<FactoryFunction> (entry ("GetPluginFactory"));
        return m;
    }();
    return loaded;
}

int main (int argc, char* argv[])
{
    if (argc != 3)
    {
        std::printf ("usage: %s GROUP <path to Quolbane.vst3 DLL>\n", argv[0]);
        return 2;
    }
    const std::string group = argv[1];
    const auto dllPath = windowsPath (argv[2]);
    moduleFile = dllPath;

    const std::map<std::string, std::function<void (const juce::String&)>> groups{
        { "entry", checkEntryPoints }, { "factory", checkFactory }, { "describe", checkDescription },
        { "params", checkParameters }, { "audio", checkAudio },     { "state", checkState },
        { "instance", checkInstance }, { "process", checkProcess }, { "streams", checkStreams },
        { "view", checkView },
    };
    const auto found = groups.find (group);
    if (found == groups.end())
    {
        std::printf ("unknown group %s\n", group.c_str());
        return 2;
    }

    {
        // JUCE's hosting needs its message manager on this thread; the raw checks don't mind it.
        juce::ScopedJuceInitialiser_GUI gui;
        found->second (dllPath);
    }

    std::printf ("%s: %d passed, %d failed\n", group.c_str(), passes, failures);
    std::fflush (stdout);
    return failures == 0 ? 0 : 1;
}
