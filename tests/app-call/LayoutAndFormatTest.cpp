// The call window's layout arithmetic and the one-number formats that skins may supply.
#include <gtest/gtest.h>

#include "app/call/FormatOneNumber.h"
#include "app/layout/CallLayout.h"

namespace {

TEST(CallLayoutTest, TheWindowIsTheFaceBetweenItsColumnsLessTheOverlap) {
    struct Case {
        const char* name;
        CallLayoutInput in;
        bool ok;
        int left = 0, faceX = 0, width = 0, rightX = 0;
    };
    const Case cases[] = {
        {"no panels", {232, 440, {0, 0}, {0, 0, 0}, 0, 232}, true, 0, 0, 232, 232},
        {"both columns",
         {232, 440, {321, 300}, {151, 180, 120}, 300, 200},
         true,
         321,
         21,
         433,
         221},
        {"the overlap is the whole left column",
         {232, 440, {321, 0}, {0, 0, 0}, 321, 0},
         true,
         321,
         0,
         232,
         0},
        {"X below 0", {232, 440, {321, 0}, {0, 0, 0}, 322, 0}, false, 0, 0, 0, 0},
        {"value 227 at the width", {232, 440, {0, 0}, {10, 0, 0}, 0, 242}, true, 0, 0, 242, 242},
        {"value 227 past the width", {232, 440, {0, 0}, {10, 0, 0}, 0, 243}, false, 0, 0, 0, 0},
        {"value 227 below 0", {232, 440, {0, 0}, {0, 0, 0}, 0, -1}, false, 0, 0, 0, 0},
        {"X + value 227 at the width",
         {232, 440, {30, 0}, {10, 0, 0}, 10, 242},
         true,
         30,
         20,
         262,
         262},
        {"X + value 227 past the width",
         {232, 440, {30, 0}, {10, 0, 0}, 10, 243},
         false,
         0,
         0,
         0,
         0},
        {"a face without width", {0, 440, {0, 0}, {0, 0, 0}, 0, 0}, false, 0, 0, 0, 0},
        {"a face past the limit", {232, 8193, {0, 0}, {0, 0, 0}, 0, 0}, false, 0, 0, 0, 0},
        {"a negative panel", {232, 440, {0, -5}, {0, 0, 0}, 0, 0}, false, 0, 0, 0, 0},
        {"a window past the limit", {4000, 440, {8000, 0}, {8000, 0, 0}, 0, 0}, false, 0, 0, 0, 0},
        {"a negative overlap past the limit",
         {232, 440, {0, 0}, {0, 0, 0}, -9000, 0},
         false,
         0,
         0,
         0,
         0},
    };
    for (const Case& c : cases) {
        CallLayout layout;
        layout.width = -7;
        ASSERT_EQ(c.ok, ComputeCallLayout(c.in, &layout)) << c.name;
        if (!c.ok) {
            EXPECT_EQ(-7, layout.width) << c.name;
            continue;
        }
        EXPECT_EQ(c.left, layout.left) << c.name;
        EXPECT_EQ(c.faceX, layout.faceX) << c.name;
        EXPECT_EQ(c.width, layout.width) << c.name;
        EXPECT_EQ(c.in.faceHeight, layout.height) << c.name;
        EXPECT_EQ(c.rightX, layout.rightX) << c.name;
        EXPECT_EQ((plat::Rect{0, 0, c.left, c.in.faceHeight}), layout.leftClip) << c.name;
        EXPECT_EQ((plat::Rect{c.rightX, 0, c.width, c.in.faceHeight}), layout.rightClip) << c.name;
    }
}

TEST(CallLayoutTest, APanelsControlIsUnderTheFaceFromItsFirstCoveredColumn) {
    // The built-in skin's measures: the face covers x 276-507, the right column starts at 484.
    CallLayout layout;
    ASSERT_TRUE(ComputeCallLayout({232, 440, {300, 220}, {244, 244, 200}, 24, 208}, &layout));
    EXPECT_EQ((plat::Rect{276, 0, 508, 440}), layout.face);
    struct Case {
        const char* name;
        PanelColumn column;
        int32_t panelWidth, left, right;
        bool under;
    };
    const Case cases[] = {
        {"right: at the face's edge", PanelColumn::Right, 244, 24, 74, false},
        {"right: one column in", PanelColumn::Right, 244, 23, 74, true},
        {"left, widest: at the face's edge", PanelColumn::Left, 300, 166, 276, false},
        {"left, widest: one column in", PanelColumn::Left, 300, 166, 277, true},
        {"left, narrower: at the face's edge", PanelColumn::Left, 220, 150, 196, false},
        {"left, narrower: one column in", PanelColumn::Left, 220, 150, 197, true},
        {"empty", PanelColumn::Right, 244, 23, 23, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.under, IsUnderFace(layout, c.column, c.panelWidth, c.left, c.right)) << c.name;
    }
}

TEST(FormatOneNumberTest, ASkinsTextIsAFormatOnlyWithExactlyOneFloatingConversion) {
    const std::string own = "Balance %.2f?";
    struct Case {
        const char* format;
        std::string shown;
    };
    const Case cases[] = {
        {"Your balance is %.2f, recharge?", "Your balance is -1.50, recharge?"},
        {"%f", "-1.500000"},
        {"%+08.1lf EUR, 100%%", "-00001.5 EUR, 100%"},
        {"%e", "-1.500000e+00"},
        {"no number", "Balance -1.50?"},
        {"%.2f and %.2f", "Balance -1.50?"},
        {"%s", "Balance -1.50?"},
        {"%d", "Balance -1.50?"},
        {"%n%f", "Balance -1.50?"},
        {"%*f", "Balance -1.50?"},
        {"%.999f", "Balance -1.50?"},
        {"%100f", "Balance -1.50?"},
        {"%Lf", "Balance -1.50?"},
        {"ends in %", "Balance -1.50?"},
        {"100%%", "Balance -1.50?"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.shown, FormatOneNumber(c.format, own, -1.5)) << c.format;
    }
    // A broken fallback is shown as it stands.
    EXPECT_EQ("%s %s", FormatOneNumber("%d", "%s %s", 2.0));
    EXPECT_FALSE(IsOneNumberFormat(std::string("%f\0%s", 5)));
}

} // namespace
