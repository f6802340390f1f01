#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/resources/BuiltInModule.h"
#include "app/strings/StringTable.h"
#include "skin/SkinResources.h"
#include "tests/strings/RecordingTrace.h"
#include "tests/support/CurrentSkin.h"

namespace {

class StringTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(skin_.LoadFromFile(std::string(QUORVEX_FIXTURE_DIR) + "/skin77.zsk"))
            << skin_.Error();
    }
    plat::ResourceModule skin_;
    RecordingTrace trace_;
};

TEST_F(StringTable, SkinTextsReplaceTheProgramsAndMissingOnesFallBack) {
    CurrentSkin current(&skin_);
    std::string text;
    EXPECT_TRUE(LoadCString(1, text));
    EXPECT_EQ(text, "Vale"); // the skin's own
    EXPECT_TRUE(LoadCString(2, text));
    EXPECT_EQ(text, "Cancel"); // the skin lacks it: the program's
    EXPECT_TRUE(LoadCString(190, text));
    EXPECT_EQ(text, "Solo en la piel"); // only in the skin

    char buffer[64];
    EXPECT_EQ(LoadStringById(3, buffer, sizeof(buffer)), 24);
    EXPECT_STREQ(buffer, "Do you want to exit now?");
    EXPECT_EQ(trace_.Text(), "");
}

TEST_F(StringTable, AnIdMissingEverywhereGivesStarsAndATraceLine) {
    CurrentSkin current(&skin_);
    std::string text = "old";
    EXPECT_FALSE(LoadCString(189, text));
    EXPECT_EQ(text, "***");
    char buffer[16];
    EXPECT_EQ(LoadStringById(6, buffer, sizeof(buffer)), 3);
    EXPECT_STREQ(buffer, "***");
    EXPECT_EQ(trace_.Text(), "string no encontrado:189<time>\nstring no encontrado:6<time>\n");

    // Out-of-range ids are missing as well.
    EXPECT_FALSE(LoadCString(-1, text));
    EXPECT_FALSE(LoadCString(70000, text));
    EXPECT_EQ(text, "***");
}

TEST_F(StringTable, WithoutASkinModuleTheProgramsTableServes) {
    for (plat::ResourceModule* module :
         {static_cast<plat::ResourceModule*>(nullptr), ProgramModule()}) {
        CurrentSkin current(module);
        std::string text;
        EXPECT_TRUE(LoadCString(1, text));
        EXPECT_EQ(text, "Ok");
    }
    EXPECT_EQ(trace_.Text(), "");
}

TEST_F(StringTable, LoadStringByIdCutsToTheBufferOnCharacterBoundaries) {
    CurrentSkin current(&skin_);
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(LoadStringById(2, buffer, 4), 3);
    EXPECT_STREQ(buffer, "Can");
    EXPECT_EQ(buffer[4], 'x'); // nothing written past the given size
    EXPECT_EQ(LoadStringById(2, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringById(2, buffer, 0), 0);
    EXPECT_EQ(LoadStringById(2, nullptr, 10), 0);
    // "Opción": a cut inside the two bytes of "ó" backs off before it.
    EXPECT_EQ(LoadStringById(191, buffer, 6), 4);
    EXPECT_STREQ(buffer, "Opci");
    EXPECT_EQ(LoadStringById(191, buffer, 7), 6);
    EXPECT_STREQ(buffer, "Opci\xC3\xB3");
}

} // namespace
