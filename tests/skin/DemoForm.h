#pragma once
#include <string>
#include <vector>

#include "platform/ui/Font.h"
#include "skin/CForm.h"
#include "skin/SkinControl.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_Command.h"
#include "skin/zel_Edit.h"
#include "skin/zel_EditPass.h"
#include "skin/zel_Label.h"
#include "skin/zel_PushButton.h"
#include "tests/skin/TestSkin.h"

// A small skinned form for the toolkit's tests and benchmarks: a background with transparent
// corners, a command button, a push button, a label, a digits field, a text field and a
// password field.
namespace demo {

constexpr int kBackground = 100;
constexpr int kCommand = 110;
constexpr int kPush = 111;
constexpr int kLabel = 120;
constexpr int kDigits = 130;
constexpr int kText = 131;
constexpr int kPassword = 132;
constexpr int kFontHeight = 140;

constexpr int kWidth = 200;
constexpr int kHeight = 150;
// Button frames: normal, hover, pressed (opaque, straight alpha 0xAARRGGBB).
constexpr uint32_t kFrame0 = 0xFF2040A0u;
constexpr uint32_t kFrame1 = 0xFF40A0FFu;
constexpr uint32_t kFrame2 = 0xFF102050u;
constexpr uint32_t kBackgroundColour = 0xFFC8C8C8u;

inline TestSkin Skin() {
    TestSkin s;
    s.Face("DejaVu Sans").Value(kFontHeight, 14);
    s.Bitmap(kBackground, kWidth, kHeight, [](int x, int y) {
        // Transparent corners of 6 x 6 pixels, a half-transparent band at the bottom.
        const bool corner = (x < 6 || x >= kWidth - 6) && (y < 6 || y >= kHeight - 6);
        if (corner) {
            return 0u;
        }
        return y >= kHeight - 10 ? 0x80C8C8C8u : kBackgroundColour;
    });
    s.Pos(kCommand, 10, 10).Frames(kCommand, 40, 15, {kFrame0, kFrame1, kFrame2});
    s.Pos(kPush, 60, 10).Frames(kPush, 40, 15, {kFrame0, kFrame1, kFrame2});
    s.Area(kLabel, 10, 35, 180, 18);
    s.Area(kDigits, 10, 60, 120, 18);
    s.Area(kText, 10, 85, 120, 18);
    s.Area(kPassword, 10, 110, 120, 18);
    return s;
}

class Form : public CForm, public SkinControl {
public:
    Form() : CForm(153) {}

    bool ApplySkin() override {
        GetUiFontFace();
        font.Create(g_UiFontFace, GetSkinValue(kFontHeight), 400);
        bool ok = command.CreateFromSkin(this, kCommand, 3);
        ok = push.CreateFromSkin(this, kPush, 3) && ok;
        ok = label.CreateFromSkin(this, kLabel, &font) && ok;
        ok = digits.CreateFromSkin(this, kDigits, &font) && ok;
        text.m_bAnyChar = 1;
        ok = text.CreateFromSkin(this, kText, &font) && ok;
        ok = password.CreateFromSkin(this, kPassword, &font) && ok;
        ok = background.CreateFromSkin(this, kBackground) && ok;
        ok = ok && CreateBackBuffer(background.m_Bitmap.width, background.m_Bitmap.height);
        return ok;
    }
    void Show(int command) override { ShowWindow(command); }
    bool OnInitDialog() override {
        CForm::OnInitDialog();
        skinned = ApplySkin();
        return true;
    }

    void OnCommand(uint16_t id, int32_t value) override {
        commands.push_back({id, value});
        if (onCommand) {
            onCommand(id);
        }
    }
    void OnTimer(uint32_t id) override {
        if (onTimer) {
            onTimer(id);
        }
        CForm::OnTimer(id);
    }
    void OnOK() override { ++oks; }
    void OnCancel() override { ++cancels; }
    void OnPostedMessage(const plat::WindowMessage& m) override {
        posted.push_back(m.message);
        label.SetText("message " + std::to_string(m.message));
    }

    plat::Font font;
    zel_Command command;
    zel_PushButton push;
    zel_Label label;
    zel_Edit digits;
    zel_Edit text;
    zel_EditPass password;
    zel_Bkgrd background;

    std::vector<std::pair<uint16_t, int32_t>> commands;
    std::function<void(uint16_t)> onCommand;
    std::function<void(uint32_t)> onTimer;
    std::vector<uint32_t> posted;
    bool skinned = false;
    int oks = 0;
    int cancels = 0;
};

} // namespace demo
