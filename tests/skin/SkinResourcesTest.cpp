#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

TEST_F(SkinResources, OnePayloadRuleDecidesForTheLoadersAndTheContentsCheck) {
    // A payload the rule refuses is refused by its loader (with the message of its step) and
    // by the contents check (as Damaged at the same step); one it takes passes both.
    const std::vector<uint8_t> four = {1, 0, 0, 0};
    const std::vector<uint8_t> area = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    struct Case {
        uint32_t type;
        std::vector<uint8_t> data;
        uint32_t misalign;
        bool outside; // the data entry points outside the module
        SkinLoadStep step;
    } cases[] = {
        {kSkinTypeValue, four, 0, false, SkinLoadStep::Loaded},
        {kSkinTypeValue, {1, 0, 0}, 0, false, SkinLoadStep::ShortOrMisaligned},
        {kSkinTypeValue, four, 1, false, SkinLoadStep::ShortOrMisaligned},
        {kSkinTypeValue, four, 4, false, SkinLoadStep::Loaded},
        {kSkinTypeValue, four, 0, true, SkinLoadStep::OutsideModule},
        {kSkinTypeColor, {1, 0, 0}, 0, false, SkinLoadStep::ShortOrMisaligned},
        {kSkinTypePosition, {0, 0, 0, 0, 0, 0, 0, 0}, 0, false, SkinLoadStep::Loaded},
        {kSkinTypePosition, {0, 0, 0, 0, 0, 0, 0}, 0, false, SkinLoadStep::ShortOrMisaligned},
        {kSkinTypeArea, area, 0, false, SkinLoadStep::Loaded},
        {kSkinTypeArea, {area.begin(), area.end() - 1}, 0, false, SkinLoadStep::ShortOrMisaligned},
        {kSkinTypeArea, area, 2, false, SkinLoadStep::ShortOrMisaligned},
    };
    for (const Case& c : cases) {
        const std::string what =
            DescribeSkinContents({SkinContents::Verdict::Damaged, c.type, 7, c.step, 0, 0});
        testpe::Resource resource{c.type, 7, 0, c.data, c.misalign};
        testpe::Image image = testpe::Build({resource});
        if (c.outside) {
            image.Put32(image.dataEntries[0], 0x7FFFFFF0u);
        }
        plat::ResourceModule m;
        ASSERT_TRUE(m.LoadFromBytes(image.bytes.data(), image.bytes.size())) << what;
        const uint8_t* data = nullptr;
        EXPECT_EQ(LocateSkinPayload(&m, c.type, 7, &data), c.step) << what;
        EXPECT_EQ(data != nullptr, c.step == SkinLoadStep::Loaded) << what;

        boxes_.Clear();
        CurrentSkin current(&m);
        c.type == kSkinTypeValue      ? (void)GetSkinValue(7)
        : c.type == kSkinTypeColor    ? (void)GetSkinColor(7)
        : c.type == kSkinTypePosition ? (void)GetSkinPos(7)
                                      : (void)GetSkinArea(7);
        const SkinContents found = CheckSkinContents(&m, {});
        if (c.step == SkinLoadStep::Loaded) {
            EXPECT_TRUE(boxes_.Requests().empty()) << what;
            EXPECT_EQ(found.verdict, SkinContents::Verdict::Accepted) << what;
            continue;
        }
        ASSERT_EQ(boxes_.Requests().size(), 1u) << what;
        EXPECT_EQ(boxes_.Requests()[0].text, what);
        EXPECT_EQ(found.verdict, SkinContents::Verdict::Damaged) << what;
        EXPECT_EQ(DescribeSkinContents(found), what);
    }

    // A reader of skin files gets the payload's integers by the same rule, no more of them.
    TestSkin skin;
    skin.Pos(3, -4, 5).Value(6, 9).Misalign(kSkinTypeValue, 6, 2);
    plat::ResourceModule m;
    ASSERT_TRUE(skin.Load(m));
    int32_t values[3] = {1, 1, 1};
    EXPECT_EQ(ReadSkinInts(&m, kSkinTypePosition, 3, values), SkinLoadStep::Loaded);
    EXPECT_EQ(std::vector<int32_t>(values, values + 3), (std::vector<int32_t>{-4, 5, 1}));
    EXPECT_EQ(ReadSkinInts(&m, kSkinTypeValue, 6, values), SkinLoadStep::ShortOrMisaligned);
    EXPECT_EQ(ReadSkinInts(&m, kSkinTypeValue, 8, values), SkinLoadStep::NotFound);
    EXPECT_EQ(values[0], -4);
}

TEST_F(SkinResources, ContentsKeepTheirRangesAndTheBudgetAndFormsHavePictures) {
    // Each value the forms name keeps the range of its kind (the program's table of them is
    // tested with the program's check); any other one is held as a place.
    using V = SkinContents::Verdict;
    constexpr int32_t kMax = kMaxSkinSide;
    constexpr int kBackground = 105;
    const int backgrounds[] = {kBackground};
    // What the base holds: two text areas of a side each, another control's picture that is
    // no picture, the 1-pixel background; the forms make the rest of the budget.
    constexpr int64_t kHeld = 2 * int64_t{kMax} + int64_t{kMax} * 256 + 1;
    struct Case {
        const char* what;
        std::function<void(TestSkin&)> change;
        V verdict;
        uint32_t type = 0;
        int id = 0;
        int64_t uncounted = 0; // pixels of an area refused, which count nothing
        int64_t made = kMaxSkinPixels - kHeld;
    } cases[] = {
        {"everything at its limit", [](TestSkin&) {}, V::Accepted},
        {"a position's x", [](TestSkin& s) { s.Pos(1, kMax + 1, -kMax); }, V::OutOfBounds,
         kSkinTypePosition, 1},
        {"a position's y", [](TestSkin& s) { s.Pos(1, kMax, -kMax - 1); }, V::OutOfBounds,
         kSkinTypePosition, 1},
        {"an area's x", [](TestSkin& s) { s.Area(4, -kMax - 1, kMax, kMax, 1); }, V::OutOfBounds,
         kSkinTypeArea, 4, kMax},
        {"an area without width", [](TestSkin& s) { s.Area(4, 0, 0, 0, 1); }, V::OutOfBounds,
         kSkinTypeArea, 4, kMax},
        {"an area's height", [](TestSkin& s) { s.Area(5, 0, 0, 1, kMax + 1); }, V::OutOfBounds,
         kSkinTypeArea, 5, kMax},
        {"a value no form names", [](TestSkin& s) { s.Value(3, kMax + 1); }, V::OutOfBounds,
         kSkinTypeValue, 3},
        {"one pixel more of text area", [](TestSkin& s) { s.Area(9, 0, 0, 1, 1); }, V::OverBudget},
        {"one pixel more made by the forms", [](TestSkin&) {}, V::OverBudget, 0, 0, 0,
         kMaxSkinPixels - kHeld + 1},
        {"a background that is no picture", [](TestSkin& s) { s.Depth(kBackground, 1, 1, 8); },
         V::NotAPicture, plat::kResourceBitmap, kBackground},
    };
    for (const Case& c : cases) {
        TestSkin skin;
        skin.Pos(1, kMax, -kMax).Value(2, kMax).Value(3, -kMax);
        skin.Area(4, -kMax, kMax, kMax, 1).Area(5, kMax, -kMax, 1, kMax);
        skin.Value(kSkinIdValueId, INT32_MAX).Value(kSkinLanguageId, -1);
        skin.Depth(6, kMax, 256, 8).Solid(kBackground, 1, 1, 0xFF000000u);
        c.change(skin);
        plat::ResourceModule m;
        ASSERT_TRUE(skin.Load(m)) << c.what;
        const SkinContents found = CheckSkinContents(
            &m, {backgrounds, {}, [&c](const plat::ResourceModule&) { return c.made; }});
        EXPECT_EQ(found.verdict, c.verdict) << c.what;
        EXPECT_EQ(found.type, c.type) << c.what;
        EXPECT_EQ(found.id, c.id) << c.what;
        EXPECT_EQ(found.pixels, kMaxSkinPixels + (c.verdict == V::OverBudget) - c.uncounted)
            << c.what;
        EXPECT_EQ(found.bytes, m.Size()) << c.what;
    }
}

TEST_F(SkinResources, ASkinFileIsHeldWholeSoItsBytesHaveABound) {
    // A padding resource brings the module to the bound; a byte past the image, one over.
    std::vector<uint8_t> bytes = TestSkin().PadTo(kMaxSkinFileBytes).Bytes();
    for (size_t more : {0, 1}) {
        bytes.resize(kMaxSkinFileBytes + more);
        plat::ResourceModule m;
        ASSERT_TRUE(m.LoadFromStaticBytes(bytes.data(), bytes.size()));
        const SkinContents found = CheckSkinContents(&m, {});
        EXPECT_EQ(found.verdict,
                  more ? SkinContents::Verdict::OverBudget : SkinContents::Verdict::Accepted);
        EXPECT_EQ(found.bytes, kMaxSkinFileBytes + more);
        if (more) {
            EXPECT_EQ(DescribeSkinContents(found),
                      "el skin supera el limite de bytes, bytes=" + std::to_string(found.bytes));
        }
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
