#include "ModuleTestSupport.h"

#include <gtest/gtest.h>

// The module is loaded before any test runs, and ModuleExit is called after the last.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    const auto& m = moduletest::module();
    if (m.getPluginFactory == nullptr)
        return 1;

    const auto result = RUN_ALL_TESTS();

    // The module stays loaded: its GUI runtime may still be winding down on its own thread.
    m.moduleExit();
    return result;
}
