// Our two skins, the built-in one and plum, as the call window shows them (fake window system):
// a number as long as the keypad takes fits the display, and the skin browser's captions stand
// out from its panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>

#include "app/call/CMakeCall.h"
#include "app/panels/zel_SldSkins.h"
#include "app/resources/BuiltInModule.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "tests/app-panels/PanelsSupport.h"
#include "tests/support/RegistrySandbox.h"

namespace {

// The contrast ratio of two colours (0xRRGGBB) as the web's accessibility guidelines define
// it: 1 for equal colours, 21 for black on white; text wants 4.5 at least.
double Contrast(uint32_t a, uint32_t b) {
    auto luminance = [](uint32_t rgb) {
        double sum = 0;
        const double weights[] = {0.0722, 0.7152, 0.2126}; // blue, green, red
        for (int i = 0; i < 3; ++i) {
            const double c = ((rgb >> (8 * i)) & 0xFF) / 255.0;
            sum += weights[i] * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class ShippedSkinsTest : public ::testing::Test {
protected:
    void SetUp() override {
        panelstest::StartProgramState(sandbox_.Dir());
        ASSERT_TRUE(plum_.LoadFromFile(QUORVEX_PLUM_ZSK)) << plum_.Error();
    }
    void TearDown() override { panelstest::EndProgramState(); }

    // Runs `check` on the call window built in each of our skins.
    void ForEachSkin(const std::function<void(const char* skin, CMakeCall&)>& check) {
        const std::pair<const char*, plat::ResourceModule*> skins[] = {
            {"built-in", ProgramModule()}, {"plum", &plum_}};
        for (const auto& [name, module] : skins) {
            g_SkinModule = module;
            GetUiFontFace();
            panelstest::OwnerForm owner;
            ASSERT_TRUE(owner.Create());
            auto* call = new CMakeCall(owner, {}, login_, nullptr);
            ASSERT_TRUE(call->Make()) << name;
            check(name, *call);
            call->Destroy();
            owner.DestroyWindow();
        }
    }

    RegistrySandbox sandbox_;
    plat::FakeWindowSystem windows_;
    plat::ResourceModule plum_;
    panelstest::Login login_;
};

TEST_F(ShippedSkinsTest, FifteenOfTheWidestDigitsFitTheNumberDisplay) {
    ForEachSkin([](const char* skin, CMakeCall& call) {
        const zel_Label& number = call.Number();
        ASSERT_NE(number.m_pFont, nullptr) << skin;
        int32_t widest = 0;
        for (char digit = '0'; digit <= '9'; ++digit) {
            widest = std::max(widest, number.m_pFont->Measure(std::string(15, digit)).cx);
        }
        EXPECT_LE(widest, number.m_nAreaWidth) << skin;
        EXPECT_LE(number.m_pFont->Height(), number.m_nAreaHeight) << skin;
    });
}

TEST_F(ShippedSkinsTest, TheSkinBrowsersCaptionsStandOutFromItsPanel) {
    ForEachSkin([](const char* skin, CMakeCall& call) {
        const CMakeCall::zel_SldSkins& panel = *call.SkinsPanel();
        const zel_ImageList& strip = panel.m_Strip;
        // The panel behind the captions (the left end of the strip), without its alpha.
        const uint8_t* p =
            panel.m_Background.m_Bitmap.surface.Row(strip.m_AreaPos.y + strip.m_nAreaHeight / 2) +
            4 * (strip.m_AreaPos.x + 10);
        ASSERT_GT(p[3], 0) << skin;
        uint32_t behind = 0;
        for (int i = 0; i < 3; ++i) {
            behind |= static_cast<uint32_t>(p[i] * 255 / p[3]) << (8 * i);
        }
        const uint32_t caption = ((strip.m_CaptionColor & 0xFF) << 16) |
                                 (strip.m_CaptionColor & 0xFF00) |
                                 ((strip.m_CaptionColor >> 16) & 0xFF);
        EXPECT_GE(Contrast(caption, behind), 4.5)
            << skin << std::hex << " caption " << caption << " on " << behind;
    });
}

} // namespace
