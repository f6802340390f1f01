#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/desktop/HandsetDriver.h"

namespace {

TEST(HandsetDriverLoaderTest, ALibraryWithTheEntryIsUsedAnyOtherIsRefused) {
    struct Case {
        std::string path;
        bool loads;
    };
    const Case cases[] = {
        {TEST_DRIVER_LIBRARY, true},
        {EMPTY_LIBRARY, false},
        {"/nonexistent/libylusbtel.so", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        auto driver = plat::LoadHandsetDriver(c.path, &error);
        EXPECT_EQ(driver != nullptr, c.loads);
        EXPECT_EQ(error.empty(), c.loads);
        if (driver) {
            uint32_t result = 0;
            EXPECT_EQ(driver->DeviceIoControl(plat::kHandsetRing, nullptr, 9, nullptr, 0, &result),
                      plat::kHandsetRing + 1);
            EXPECT_EQ(result, 9u);
        }
    }
}

TEST(HandsetDriverLoaderTest, TheEnvironmentNamesTheLibraryElseTheDriverNameIsSearched) {
    setenv("QUORVEX_HANDSET_DRIVER", "/opt/handset/libdriver.so", 1);
    EXPECT_EQ(plat::HandsetDriverLibraryPath(), "/opt/handset/libdriver.so");
    unsetenv("QUORVEX_HANDSET_DRIVER");
    EXPECT_EQ(plat::HandsetDriverLibraryPath(), "libylusbtel.so");
    // No such library here: the program runs with the null driver, whose open fails.
    EXPECT_EQ(plat::CurrentHandsetDriver().DeviceIoControl(plat::kHandsetOpen, nullptr, 0, nullptr,
                                                           0, nullptr),
              0u);
}

} // namespace
