#include <gtest/gtest.h>

#include "platform/core/testing/FakeClock.h"
#include "platform/ui/VirtualKeys.h"
#include "tests/skin/FormFixture.h"

namespace {

class LabelEditTest : public FormFixture {};

struct ConvertingLabel : zel_Label {
    using zel_Label::CoverageToAlpha;
};

TEST_F(LabelEditTest, TextIsBlackWithItsCoverageAsAlpha) {
    ConvertingLabel label;
    ASSERT_TRUE(label.CreateFromSkin(&form_, demo::kLabel, &form_.font));
    for (int blue : {255, 64, 0}) {
        uint8_t* p = label.m_Bitmap.surface.Row(3) + 4 * 7;
        p[0] = static_cast<uint8_t>(blue);
        p[1] = 10;
        p[2] = 200;
        p[3] = 255;
        label.CoverageToAlpha();
        EXPECT_EQ(PixelAt(label.m_Bitmap.surface, 7, 3), static_cast<uint32_t>(255 - blue) << 24);
    }

    // A rendered text: only black, with some ink; an empty text draws nothing.
    form_.label.SetText("Hello 8");
    form_.Compose();
    int ink = 0;
    for (int y = 35; y < 53; ++y) {
        for (int x = 10; x < 190; ++x) {
            // Black text over the grey background: every channel darkened alike.
            const uint32_t p = Shown(x, y);
            ink += p != demo::kBackgroundColour;
            EXPECT_EQ(p >> 24, 0xFFu);
            EXPECT_EQ((p >> 16) & 0xFF, p & 0xFF);
            EXPECT_EQ((p >> 8) & 0xFF, p & 0xFF);
        }
    }
    EXPECT_GT(ink, 20);
    NewPresents();
    form_.label.SetText("Hello 8"); // the same text: nothing to redraw
    form_.Compose();
    EXPECT_EQ(NewPresents(), 0);
    form_.label.SetText("");
    form_.Compose();
    EXPECT_EQ(Shown(12, 40), demo::kBackgroundColour);
    EXPECT_EQ(Shown(100, 44), demo::kBackgroundColour);
}

TEST_F(LabelEditTest, ALabelKeepsItsAreaWhenANewSkinLacksIt) {
    {
        plat::ResourceModule other;
        ASSERT_TRUE(TestSkin().Area(demo::kLabel, 1, 2, 30, 12).Load(other));
        CurrentSkin skin(&other);
        ASSERT_TRUE(form_.label.CreateFromSkin(&form_, demo::kLabel, &form_.font));
    } // the module is freed here
    plat::ResourceModule without;
    ASSERT_TRUE(TestSkin().Load(without));
    CurrentSkin skin(&without);
    EXPECT_TRUE(form_.label.CreateFromSkin(&form_, demo::kLabel, &form_.font));
    EXPECT_EQ(form_.label.GetRect(), (plat::Rect{1, 2, 31, 14}));
    form_.label.SetText("still here");
    form_.Compose();
}

TEST_F(LabelEditTest, FieldsTakeDigitsOrAnyCharacterUpToSixteen) {
    struct Case {
        bool anyChar;
        std::vector<uint32_t> typed;
        const char* text;
    } cases[] = {
        {false, {'a', '7', ' ', '0', '9', '/', ':'}, "709"},
        {true, {'a', '7', ' ', 0xF1, 31, '.'}, "a7 \xC3\xB1."},
        {false, std::vector<uint32_t>(17, '5'), "5555555555555555"},
        {true, std::vector<uint32_t>(20, 0xE9), nullptr}, // 16 two-byte characters
    };
    for (const Case& c : cases) {
        zel_Edit& field = c.anyChar ? form_.text : form_.digits;
        field.SetText("");
        field.SetFocus();
        for (uint32_t ch : c.typed) {
            window_->KeyDown(0, ch);
        }
        if (c.text) {
            EXPECT_EQ(field.GetText(), c.text);
        } else {
            EXPECT_EQ(field.GetText().size(), 32u);
        }
        EXPECT_LE(field.CaretIndex(), 16);
    }
    // The caret index counts characters: Left then a character goes before the last one.
    form_.text.SetText("ab\xC3\xB1");
    EXPECT_EQ(form_.text.CaretIndex(), 3);
    form_.text.SetFocus();
    window_->TypeKey(plat::kVkLeft);
    window_->KeyDown(0, 'x');
    EXPECT_EQ(form_.text.GetText(), "abx\xC3\xB1");
    window_->TypeKey(plat::kVkDelete);
    EXPECT_EQ(form_.text.GetText(), "abx");
    // SetText on a field always puts the caret at the end.
    form_.text.SetText("abx");
    EXPECT_EQ(form_.text.CaretIndex(), 3);
}

TEST_F(LabelEditTest, AClickPutsTheCaretByTheWidthOfAnEight) {
    const int cw = form_.font.Measure("8").cx;
    ASSERT_GT(cw, 1);
    form_.digits.SetText("12345");
    struct Case {
        int x;
        int index;
    } cases[] = {{0, 0},
                 {cw / 2 + cw % 2 - 1, 0},
                 {cw - cw / 2, 1},
                 {2 * cw - cw / 2 - 1, 1},
                 {2 * cw - cw / 2, 2},
                 {119, 5}};
    plat::FakeClock clock;
    plat::ScopedClock scoped(clock);
    for (const Case& c : cases) {
        clock.Advance(1000); // clicks close in time and place would be double-clicks
        window_->Click({10 + c.x, 65});
        EXPECT_EQ(form_.digits.CaretIndex(), c.index) << "x " << c.x;
        EXPECT_EQ(form_.m_pFocus, &form_.digits);
    }
    // Without a font the "8" counts one pixel wide: no division by 0.
    form_.digits.m_pFont = nullptr;
    clock.Advance(1000);
    window_->Click({10 + 3, 65});
    EXPECT_EQ(form_.digits.CaretIndex(), 3);
    form_.digits.m_pFont = &form_.font;
    // The caret column for two characters is the width of the two.
    clock.Advance(1000);
    window_->Click({10 + 2 * cw - cw / 2, 65});
    EXPECT_EQ(form_.digits.m_nCaretX, form_.font.Measure("12").cx);
    EXPECT_TRUE(form_.digits.IsCaretShown());
    form_.Compose();
    EXPECT_EQ(Shown(10 + form_.digits.m_nCaretX, 62), 0xFF000000u);
}

TEST_F(LabelEditTest, TheCaretStaysInsideTheAreaAndAnEmptyFieldShowsIt) {
    form_.text.SetFocus();
    form_.text.SetText(std::string(16, 'W'));
    ASSERT_GT(form_.font.Measure(form_.text.GetText()).cx, 120);
    EXPECT_EQ(form_.text.m_nCaretX, 119);
    form_.text.ShowCaret();
    form_.Compose();
    EXPECT_EQ(Shown(10 + 119, 90), 0xFF000000u);

    form_.digits.SetText("");
    form_.digits.SetFocus();
    form_.digits.ShowCaret();
    form_.Compose();
    EXPECT_EQ(Shown(10, 62), 0xFF000000u);
    // Disabling the focused field takes its caret away.
    form_.digits.SetEnabled(false);
    EXPECT_FALSE(form_.digits.IsCaretShown());
    form_.Compose();
    EXPECT_EQ(Shown(10, 62), demo::kBackgroundColour);
}

TEST_F(LabelEditTest, StarFieldsMeasureTheStarAtEachLoad) {
    zel_EditPass& pw = form_.password;
    const plat::Size star = form_.font.Measure("*");
    EXPECT_EQ(pw.m_nStarWidth, star.cx);
    EXPECT_EQ(pw.m_SavedColumn.size(), static_cast<size_t>(star.cy));
    pw.SetText("secret");
    EXPECT_EQ(pw.m_nCaretX, 6 * star.cx);
    window_->Click({10 + star.cx + star.cx / 2, 115});
    EXPECT_EQ(pw.CaretIndex(), 2);
    EXPECT_EQ(pw.m_nCaretX, 2 * star.cx);
    EXPECT_TRUE(pw.IsCaretShown());

    // A reload with a smaller font: the caret is hidden before the bitmap goes, and the
    // saved column follows the new caret height.
    plat::Font small;
    ASSERT_TRUE(small.Create("DejaVu Sans", 9, 400));
    ASSERT_TRUE(pw.CreateFromSkin(&form_, demo::kPassword, &small));
    EXPECT_FALSE(pw.IsCaretShown());
    EXPECT_EQ(pw.m_SavedColumn.size(), 9u);
    pw.ShowCaret();
    pw.HideCaret();
    // Without a font the star counts one pixel wide.
    ASSERT_TRUE(pw.CreateFromSkin(&form_, demo::kPassword, nullptr));
    EXPECT_EQ(pw.m_nStarWidth, 1);
    EXPECT_EQ(pw.m_nCaretX, 2);
    EXPECT_EQ(pw.m_SavedColumn.size(), 0u);
    pw.ShowCaret();
    pw.m_pFont = &form_.font; // the form's font is back before it draws again
    ASSERT_TRUE(pw.CreateFromSkin(&form_, demo::kPassword, &form_.font));
    form_.Compose();
}

} // namespace
