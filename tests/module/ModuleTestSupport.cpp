#include "ModuleTestSupport.h"

#include "ByteStream.h"

#include <pluginterfaces/vst/ivstcomponent.h>

#include <cstdio>
#include <dlfcn.h>

using namespace Steinberg;

namespace moduletest
{
namespace
{
    // Loads the module like a Linux VST3 host: dlopen, then ModuleEntry with the handle before any
    // other call.
    Module load()
    {
        Module m;
        m.handle = dlopen (QUOLBANE_VST3_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (m.handle == nullptr)
        {
            std::fprintf (stderr, "cannot load %s: %s\n", QUOLBANE_VST3_MODULE, dlerror());
            return m;
        }

        m.moduleEntry = reinterpret_cast<EntryFunction> (dlsym (m.handle, "ModuleEntry"));
        m.moduleExit = reinterpret_cast<ExitFunction> (dlsym (m.handle, "ModuleExit"));
        m.getPluginFactory = reinterpret_cast<FactoryFunction> (dlsym (m.handle, "GetPluginFactory"));
        if (m.moduleEntry == nullptr || m.moduleExit == nullptr || m.getPluginFactory == nullptr)
        {
            std::fprintf (stderr, "the module lacks a VST3 entry point\n");
            return { m.handle };
        }

        if (!m.moduleEntry (m.handle))
        {
            std::fprintf (stderr, "ModuleEntry failed\n");
            return { m.handle };
        }
        return m;
    }

    // A new audio component, initialised without a host context, terminated and released at the end.
    struct ComponentRef
    {
        ComponentRef()
        {
            FactoryRef factory;
            void* obj = nullptr;
            if (factory.factory != nullptr &&
                factory->createInstance (asTuid (componentClassId), Vst::IComponent::iid, &obj) == kResultOk)
                component = static_cast<Vst::IComponent*> (obj);
            if (component != nullptr && component->initialize (nullptr) != kResultOk)
            {
                component->release();
                component = nullptr;
            }
        }
        ~ComponentRef()
        {
            if (component != nullptr)
            {
                component->terminate();
                component->release();
            }
        }
        ComponentRef (const ComponentRef&) = delete;
        ComponentRef& operator= (const ComponentRef&) = delete;

        std::vector<std::uint8_t> save() const
        {
            ByteStream out;
            return component->getState (&out) == kResultOk ? out.bytes : std::vector<std::uint8_t>{};
        }

        Vst::IComponent* component = nullptr;
    };
}

const Module& module()
{
    static const Module loaded = load();
    return loaded;
}

std::string hex (const Bytes& b)
{
    std::string s;
    char digits[4];
    for (auto byte : b)
    {
        std::snprintf (digits, sizeof (digits), "%02X ", byte);
        s += digits;
    }
    return s;
}

StateRun restoreAndSave (const std::vector<std::uint8_t>& state, bool streamTellsSize)
{
    StateRun run;
    const ComponentRef c;
    if (c.component == nullptr)
        return run;
    ByteStream in (state, streamTellsSize);
    run.restoreResult = c.component->setState (&in);
    run.saved = c.save();
    return run;
}

std::vector<std::uint8_t> freshState()
{
    const ComponentRef c;
    return c.component != nullptr ? c.save() : std::vector<std::uint8_t>{};
}
}
