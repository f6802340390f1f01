#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/ui/RecordingMessageBoxSink.h"
#include "skin/SkinResources.h"
#include "tests/res/TestPe.h"
#include "tests/skin/TestSkin.h"

namespace {

std::string Fixture(const char* name) {
    return std::string(QUORVEX_FIXTURE_DIR) + "/" + name;
}

bool Inside(const void* p, const plat::ResourceModule& m, uint32_t type, int id) {
    std::span<const uint8_t> data;
    m.Find(type, static_cast<uint32_t>(id), &data);
    return p == data.data();
}

class SkinResources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(skin_.LoadFromFile(Fixture("skin77.zsk"))) << skin_.Error();
    }

    plat::ResourceModule skin_;
    plat::RecordingMessageBoxSink boxes_;
};

TEST_F(SkinResources, LoadersReadInPlaceFromTheCurrentModule) {
    CurrentSkin current(&skin_);
    const SkinPos* pos = GetSkinPos(100);
    ASSERT_NE(pos, nullptr);
    EXPECT_EQ(pos->x, 10);
    EXPECT_EQ(pos->y, -20);
    EXPECT_TRUE(Inside(pos, skin_, kSkinTypePosition, 100));

    const SkinArea* area = GetSkinArea(110);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->x, 1);
    EXPECT_EQ(area->y, 2);
    EXPECT_EQ(area->width, 30);
    EXPECT_EQ(area->height, 40);
    EXPECT_TRUE(Inside(area, skin_, kSkinTypeArea, 110));

    EXPECT_EQ(GetSkinColor(120), 0x00302010u); // red 0x10, green 0x20, blue 0x30
    EXPECT_EQ(GetSkinValue(130), -5);
    EXPECT_EQ(GetSkinValue(kSkinLanguageId), 1);
    EXPECT_EQ(GetSkinValue(140), 800); // stored under language 0x800
    EXPECT_TRUE(boxes_.Requests().empty());
}

TEST_F(SkinResources, MissingResourcesShowTheMessageAndReturnTheFailureValue) {
    CurrentSkin current(&skin_);
    EXPECT_EQ(GetSkinPos(912), nullptr);
    EXPECT_EQ(GetSkinArea(912), nullptr);
    EXPECT_EQ(GetSkinValue(912), 0);
    EXPECT_EQ(GetSkinColor(912), 0u);
    const char* expected[] = {
        "(1) no pudo ser cargado el pos de id=912",
        "(1) no pudo ser cargado el area de id=912",
        "(1) no pudo ser cargado el valor de id=912",
        "(1) no pudo ser cargado el color de id=912",
    };
    ASSERT_EQ(boxes_.Requests().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const plat::MessageBoxRequest& r = boxes_.Requests()[i];
        EXPECT_EQ(r.text, expected[i]);
        EXPECT_EQ(r.caption, "error");
        EXPECT_EQ(r.flags, plat::kMbOk);
        EXPECT_EQ(r.owner, nullptr);
    }

    // Without a current module every loader fails at step 1.
    boxes_.Clear();
    CurrentSkin none(nullptr);
    EXPECT_EQ(GetSkinValue(7), 0);
    ASSERT_EQ(boxes_.Requests().size(), 1u);
    EXPECT_EQ(boxes_.Requests()[0].text, "(1) no pudo ser cargado el valor de id=7");
}

TEST_F(SkinResources, ShortResourcesFailInsteadOfReadingPastTheirData) {
    CurrentSkin current(&skin_);
    EXPECT_EQ(GetSkinPos(101), nullptr);  // 4 of 8 bytes
    EXPECT_EQ(GetSkinArea(111), nullptr); // 12 of 16 bytes
    EXPECT_EQ(GetSkinColor(121), 0u);     // 2 of 4 bytes
    EXPECT_EQ(GetSkinValue(131), 0);      // 2 of 4 bytes
    EXPECT_EQ(GetSkinValue(132), 0);      // empty
    EXPECT_EQ(GetModuleSkinValue(&skin_, 131), -1);
    const char* expected[] = {
        "(3) no pudo ser cargado el pos de id=101",   "(3) no pudo ser cargado el area de id=111",
        "(3) no pudo ser cargado el color de id=121", "(3) no pudo ser cargado el valor de id=131",
        "(3) no pudo ser cargado el valor de id=132",
    };
    ASSERT_EQ(boxes_.Requests().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(boxes_.Requests()[i].text, expected[i]);
    }
}

TEST_F(SkinResources, DamagedEntriesFailAtStepTwoAndMisalignedDataAtStepThree) {
    auto img = testpe::Build({{kSkinTypeValue, 5, 0, {1, 0, 0, 0}},
                              {kSkinTypePosition, 6, 0, {1, 0, 0, 0, 2, 0, 0, 0, 0}}});
    img.Put32(img.dataEntries[0], 0x7FFFFFF0u);                       // data outside the module
    img.Put32(img.dataEntries[1], img.Get32(img.dataEntries[1]) + 1); // one byte off
    img.Put32(img.dataEntries[1] + 4, 8);
    plat::ResourceModule damaged;
    ASSERT_TRUE(damaged.LoadFromBytes(img.bytes.data(), img.bytes.size())) << damaged.Error();
    CurrentSkin current(&damaged);
    EXPECT_EQ(GetSkinValue(5), 0);
    EXPECT_EQ(GetSkinPos(6), nullptr);
    ASSERT_EQ(boxes_.Requests().size(), 2u);
    EXPECT_EQ(boxes_.Requests()[0].text, "(2) no pudo ser cargado el valor de id=5");
    EXPECT_EQ(boxes_.Requests()[1].text, "(3) no pudo ser cargado el pos de id=6");
    EXPECT_EQ(GetModuleSkinValue(&damaged, 5), -1);
}

TEST_F(SkinResources, ModuleSkinValueIsSilentMinusOneOnAnyFailure) {
    plat::ResourceModule no304;
    ASSERT_TRUE(no304.LoadFromFile(Fixture("no304.zsk")));
    EXPECT_EQ(GetModuleSkinValue(&skin_, kSkinIdValueId), 0x1A2B);
    EXPECT_EQ(GetModuleSkinValue(&skin_, 912), -1);
    EXPECT_EQ(GetModuleSkinValue(&no304, kSkinIdValueId), -1);
    EXPECT_EQ(GetModuleSkinValue(nullptr, kSkinIdValueId), -1);
    EXPECT_EQ(GetModuleSkinValue(&skin_, -3), -1);
    EXPECT_TRUE(boxes_.Requests().empty());
}

TEST_F(SkinResources, FontFaceComesFromTheModuleOrFallsBack) {
    {
        CurrentSkin current(&skin_);
        GetUiFontFace();
        EXPECT_STREQ(g_UiFontFace, "Fixture Sans");
        EXPECT_TRUE(Inside(g_UiFontFace, skin_, kSkinTypeFontFace, kSkinFontFaceId));
    }
    for (const char* name : {"no302.zsk", "faceunterminated.zsk"}) {
        plat::ResourceModule m;
        ASSERT_TRUE(m.LoadFromFile(Fixture(name)));
        CurrentSkin current(&m);
        GetUiFontFace();
        EXPECT_STREQ(g_UiFontFace, "Times New Roman") << name;
    }
    CurrentSkin none(nullptr);
    GetUiFontFace();
    EXPECT_STREQ(g_UiFontFace, "Times New Roman");
    EXPECT_TRUE(boxes_.Requests().empty());
}

TEST_F(SkinResources, HeaderRuleAcceptsAtMostSevenAndAtLeastSeven) {
    struct Case {
        const char* file;
        SkinHeaderCheck expected;
    } cases[] = {
        {"skin77.zsk", SkinHeaderCheck::Accepted},  {"skin0_100.zsk", SkinHeaderCheck::Accepted},
        {"skin87.zsk", SkinHeaderCheck::Refused},   {"skin76.zsk", SkinHeaderCheck::Refused},
        {"noheader.zsk", SkinHeaderCheck::Missing}, {"shortheader.zsk", SkinHeaderCheck::Missing},
    };
    for (const Case& c : cases) {
        plat::ResourceModule m;
        ASSERT_TRUE(m.LoadFromFile(Fixture(c.file))) << c.file;
        EXPECT_EQ(CheckSkinHeader(&m), c.expected) << c.file;
    }
    EXPECT_EQ(CheckSkinHeader(nullptr), SkinHeaderCheck::Missing);

    // Values compare as signed: (-1, 7) is accepted, (7, 0x80000000) refused.
    auto img = testpe::Build(
        {{plat::kResourceRcdata, kSkinHeaderId, 0, {0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0}}});
    plat::ResourceModule m;
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size()));
    EXPECT_EQ(CheckSkinHeader(&m), SkinHeaderCheck::Accepted);
    img = testpe::Build({{plat::kResourceRcdata, kSkinHeaderId, 0, {7, 0, 0, 0, 0, 0, 0, 0x80}}});
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size()));
    EXPECT_EQ(CheckSkinHeader(&m), SkinHeaderCheck::Refused);
}

TEST_F(SkinResources, ContentsStayWithinTheBoundsAndTheBudgetAndFormsHavePictures) {
    using V = SkinContents::Verdict;
    constexpr int32_t kMax = kMaxSkinCoordinate;
    constexpr int kBackground = 105;
    const int backgrounds[] = {kBackground};
    struct Case {
        const char* what;
        std::function<void(TestSkin&)> change;
        V verdict;
        uint32_t type = 0;
        int id = 0;
    } cases[] = {
        {"everything at its limit", [](TestSkin&) {}, V::Accepted},
        {"a position's x", [](TestSkin& s) { s.Pos(1, kMax + 1, -kMax); }, V::OutOfBounds,
         kSkinTypePosition, 1},
        {"a position's y", [](TestSkin& s) { s.Pos(1, kMax, -kMax - 1); }, V::OutOfBounds,
         kSkinTypePosition, 1},
        {"an area's height", [](TestSkin& s) { s.Area(5, 0, 0, -5, kMax + 1); }, V::OutOfBounds,
         kSkinTypeArea, 5},
        {"a value", [](TestSkin& s) { s.Value(3, -kMax - 1); }, V::OutOfBounds, kSkinTypeValue, 3},
        {"one pixel more", [](TestSkin& s) { s.Area(9, 0, 0, 1, 1); }, V::OverBudget},
        {"a background that is no picture", [](TestSkin& s) { s.Depth(kBackground, 1, 1, 8); },
         V::NotAPicture, plat::kResourceBitmap, kBackground},
    };
    for (const Case& c : cases) {
        // Positions, areas and values at the bounds, identity values anywhere, another
        // control's picture that is no picture, and 64 Mi pixels in all: 16 Mi - 1 of text
        // area, three 16 Mi pictures, the 1-pixel background (an empty area counts nothing).
        TestSkin skin;
        skin.Pos(1, kMax, -kMax).Value(2, kMax).Value(3, -kMax).Area(4, -kMax, kMax, 4095, 4097);
        skin.Area(5, 0, 0, -5, 100).Value(kSkinIdValueId, INT32_MAX).Value(kSkinLanguageId, -1);
        skin.Depth(6, 8192, 2048, 8).Depth(7, 2048, 8192, 1).Depth(8, 8192, 2048, 4);
        skin.Solid(kBackground, 1, 1, 0xFF000000u);
        c.change(skin);
        plat::ResourceModule m;
        ASSERT_TRUE(skin.Load(m)) << c.what;
        const SkinContents found = CheckSkinContents(&m, backgrounds);
        EXPECT_EQ(found.verdict, c.verdict) << c.what;
        EXPECT_EQ(found.type, c.type) << c.what;
        EXPECT_EQ(found.id, c.id) << c.what;
        EXPECT_EQ(found.pixels, (int64_t{64} << 20) + (c.verdict == V::OverBudget)) << c.what;
    }
}

TEST_F(SkinResources, TheBuiltInModuleFileIsAUsableSkin) {
    plat::ResourceModule builtIn;
    ASSERT_TRUE(builtIn.LoadFromFile(QUORVEX_BUILTIN_ZSK)) << builtIn.Error();
    EXPECT_EQ(CheckSkinHeader(&builtIn), SkinHeaderCheck::Accepted);
    std::span<const uint8_t> header;
    ASSERT_EQ(builtIn.Find(plat::kResourceRcdata, kSkinHeaderId, &header),
              plat::ResourceModule::Lookup::Found);
    ASSERT_EQ(header.size(), 8u);
    EXPECT_EQ(header[0], 7);
    EXPECT_EQ(header[4], 7);
    EXPECT_EQ(GetModuleSkinValue(&builtIn, kSkinLanguageId), 0);
    EXPECT_EQ(GetModuleSkinValue(&builtIn, kSkinIdValueId), 0);
    EXPECT_EQ(CheckSkinContents(&builtIn, {}).verdict, SkinContents::Verdict::Accepted);
    CurrentSkin current(&builtIn);
    GetUiFontFace();
    EXPECT_STREQ(g_UiFontFace, "Arial");
}

} // namespace
