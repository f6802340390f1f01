#pragma once
#include "skin/CForm.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_Command.h"
#include "skin/zel_Slide.h"
#include "tests/skin/TestSkin.h"

// A form the size of the call window (212 x 404) with a right-hand panel (group 1, 151 wide,
// closed edge 24, peek edge 44) holding a button, and a left-hand panel (group 0, 321 wide,
// closed edge 36, peek edge 65).
namespace panels {

constexpr int kBackground = 100;
constexpr int kRight = 200;
constexpr int kRightButton = 210;
constexpr int kLeft = 300;
constexpr int kWidth = 212;
constexpr int kHeight = 404;
constexpr uint32_t kRightColour = 0xFF80C040u;
constexpr uint32_t kLeftColour = 0xFFC04080u;
constexpr uint32_t kButtonColour = 0xFF2020F0u;

inline TestSkin Skin() {
    TestSkin s;
    s.Solid(kBackground, kWidth, kHeight, 0xFF303030u);
    s.Solid(kRight, 151, 300, kRightColour)
        .Value(kRight + 1, 24)
        .Value(kRight + 2, 44)
        .Value(kRight + 3, 50);
    s.Pos(kRightButton, 40, 20)
        .Frames(kRightButton, 30, 10, {kButtonColour, kButtonColour, kButtonColour});
    s.Solid(kLeft, 321, 200, kLeftColour)
        .Value(kLeft + 1, 36)
        .Value(kLeft + 2, 65)
        .Value(kLeft + 3, 100);
    return s;
}

class Form : public CForm {
public:
    Form() : CForm(1) {}
    bool OnInitDialog() override {
        CForm::OnInitDialog();
        skinned = ApplySkin();
        return true;
    }
    bool ApplySkin() {
        bool ok = button.CreateFromSkin(&right, kRightButton, 3);
        ok = right.CreateFromSkin(this, kRight, 1) && ok;
        ok = left.CreateFromSkin(this, kLeft, 0) && ok;
        ok = background.CreateFromSkin(this, kBackground) && ok;
        ok = ok && CreateBackBuffer(kWidth, kHeight);
        if (right.m_nState != zel_Slide::kOpen) {
            right.SetX(right.ClosedX());
        }
        right.AnchorOpen();
        left.AnchorOpen();
        return ok;
    }
    void OnCommand(uint16_t id, int32_t) override { commands.push_back(id); }

    zel_Command button;
    zel_Slide right;
    zel_Slide left;
    zel_Bkgrd background;
    std::vector<uint16_t> commands;
    bool skinned = false;
};

} // namespace panels
