#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "app/resources/BuiltInModule.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"
#include "tests/support/CurrentSkin.h"

namespace {

// Every text that the program shows by id, as the program's own table must hold it.
const std::pair<int, const char*> kTexts[] = {
    {1, "Ok"},
    {2, "Cancel"},
    {3, "Do you want to exit now?"},
    {4, "Can not verify skin version"},
    {5, "Error loading selected skin"},
    {7, "Sorry, can not log in, please try again"},
    {9, "QUORvex cannot open the correct port, please stop any other VoIP aplication and try "
        "again."},
    {10, "Sorry, you must supply a phone number in order to register"},
    {11, "A new version of QUORvex is available. Would you like to download it now?"},
    {12, "Download completed, you must restart your QUORvex program in order to update"},
    {38, "Sorry, skin can not be loaded"},
    {39, "Busy/Disconected:"},
    {40, "Incoming Call from:"},
    {41, "Talking to:"},
    {42, "Dialing:"},
    {43, "Your Balance is:"},
    {49, "Country codes..."},
    {50, "Options..."},
    {52, "Remaining Time for this call:"},
    {53, "Help..."},
    {54, "About QUORvex..."},
    {55, "Get balance"},
    {56, "(Loading...)"},
    {80, "The Audio Wizard has finished successfully"},
    {81, "Sorry, QUORvex can not setup your Usb Phone.\r\nDo you wish to run Audio Wizard next "
         "time you start QUORvex?"},
    {82, "Step 2: Please, plug in your QUORvex again"},
    {83, "Step 1: Please, unplug your QUORvex in order to detect your default audio device"},
    {84, "Next >>"},
    {100, "New Contact"},
    {101, "Name"},
    {103, "Save"},
    {104, "You must supply all data fields"},
    {106, "Edit Contact"},
    {120, "QUORvex Update"},
    {121, "Hide"},
    {142, "Run Audio Wizard"},
    {143, "Remember last password"},
    {144, "Run QUORvex when the desktop starts"},
    {147, "Options"},
    {153, "Use outbound proxy"},
    {154, "You must restart your QUORvex program in order for the changes to take effect"},
    {155, "Sorry, you can not run the Audio Wizard while you are calling or logging in"},
    {156, "Update Now"},
    {157, "Sorry but a download is already in progress"},
    {158, "BandWidth Optimizer:"},
    {159, "LOW"},
    {160, "MEDIUM"},
    {161, "HIGH"},
    {170, "Country codes"},
    {171, "Location:"},
    {172, "Country code:"},
};

// Ids the program uses whose wording is its own.
const int kOwnTexts[] = {30, 31, 32, 33, 47, 57, 105};

TEST(BuiltInModule, HoldsEveryTextOfTheProgram) {
    plat::ResourceModule* program = ProgramModule();
    ASSERT_TRUE(program->IsLoaded()) << program->Error();
    std::string text;
    for (const auto& [id, expected] : kTexts) {
        ASSERT_TRUE(program->LoadString(static_cast<uint32_t>(id), &text)) << id;
        EXPECT_EQ(text, expected) << id;
    }
    for (int id : kOwnTexts) {
        EXPECT_TRUE(program->LoadString(static_cast<uint32_t>(id), &text)) << id;
    }
    // The recharge question is formatted with the balance as its one number.
    ASSERT_TRUE(program->LoadString(57, &text));
    EXPECT_NE(text.find("%.2f"), std::string::npos);
    EXPECT_EQ(text.find('%'), text.rfind('%'));
}

TEST(BuiltInModule, IsAnAcceptedSkinWithItsIdentity) {
    plat::ResourceModule* program = ProgramModule();
    EXPECT_EQ(CheckSkinHeader(program), SkinHeaderCheck::Accepted);
    EXPECT_EQ(GetModuleSkinValue(program, kSkinLanguageId), 0);
    EXPECT_EQ(GetModuleSkinValue(program, kSkinIdValueId), 0);

    {
        CurrentSkin current(program);
        EXPECT_STREQ(g_UiFontFace, "Arial");
    }

    // The preview: 212 x 404, transparent in the rounded corner, opaque-ish in the middle, and
    // premultiplied (no colour above its alpha).
    zel_Bitmap preview;
    ASSERT_TRUE(preview.LoadFromModule(program, kSkinPreviewId));
    ASSERT_EQ(preview.width, 212);
    ASSERT_EQ(preview.height, 404);
    EXPECT_EQ(preview.surface.Row(0)[3], 0);
    EXPECT_GT(preview.surface.Row(202)[4 * 106 + 3], 200);
    for (int y = 0; y < preview.height; ++y) {
        const uint8_t* row = preview.surface.Row(y);
        for (int x = 0; x < preview.width; ++x) {
            const uint8_t* p = row + 4 * x;
            ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3]) << x << "," << y;
        }
    }
}

} // namespace
