#include "ModuleTestSupport.h"

#include <cstdio>
#include <dlfcn.h>

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
}

const Module& module()
{
    static const Module loaded = load();
    return loaded;
}
}
