#include "ModuleTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>

namespace moduletest
{
namespace
{
    Module loaded;
}

const Module& module()
{
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
}

// Loads the module like a Linux VST3 host: dlopen, then ModuleEntry with the handle before any
// other call, ModuleExit after the last.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    auto& m = moduletest::loaded;
    m.handle = dlopen (QUOLBANE_VST3_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (m.handle == nullptr)
    {
        std::fprintf (stderr, "cannot load %s: %s\n", QUOLBANE_VST3_MODULE, dlerror());
        return 1;
    }

    m.moduleEntry = reinterpret_cast<moduletest::EntryFunction> (dlsym (m.handle, "ModuleEntry"));
    m.moduleExit = reinterpret_cast<moduletest::ExitFunction> (dlsym (m.handle, "ModuleExit"));
    m.getPluginFactory = reinterpret_cast<moduletest::FactoryFunction> (dlsym (m.handle, "GetPluginFactory"));
    if (m.moduleEntry == nullptr || m.moduleExit == nullptr || m.getPluginFactory == nullptr)
    {
        std::fprintf (stderr, "the module lacks a VST3 entry point\n");
        return 1;
    }

    if (!m.moduleEntry (m.handle))
    {
        std::fprintf (stderr, "ModuleEntry failed\n");
        return 1;
    }

    const auto result = RUN_ALL_TESTS();

    // The module stays loaded: its GUI runtime may still be winding down on its own thread.
    m.moduleExit();
    return result;
}
