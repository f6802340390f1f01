#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>

#include "app/call/CMakeCall.h"
#include "app/call/ContactsPanel.h"
#include "app/call/HistoryPanel.h"
#include "app/login/LoginForm.h"
#include "app/panels/zel_SldMenu.h"
#include "app/panels/zel_SldSkins.h"
#include "platform/res/ResourceModule.h"
#include "tests/skin/TestSkin.h"

// Skins made from the built-in skin that once passed the contents check and still took the
// program's window away or a lot of memory: each is the built-in skin's resources under a skin
// id of its own, with one thing changed. The tests, the memory script's skin files and the
// skin forms fuzzer's seeds are made with these.
namespace skincases {

// The value ids the forms read as font heights.
constexpr int kFontHeights[] = {LoginForm::kFontHeightValue,
                                CMakeCall::kCaptionHeightValue,
                                CMakeCall::kNumberHeightValue,
                                CMakeCall::kUserNameHeightValue,
                                CMakeCall::zel_SldCallHistory::kFontValue,
                                CMakeCall::zel_SldContacts::kFontValue,
                                CMakeCall::zel_SldMenu::kFontHeightValue};

// The pictures made large: the login form's sign-in button and the call window's skins panel
// (left column) and menu panel (right column).
constexpr int kLargePictures[] = {LoginForm::kCmdLogIn, CMakeCall::zel_SldSkins::kPanel,
                                  CMakeCall::zel_SldMenu::kPanel};

constexpr int32_t kFontHeightSkin = 0x401;
constexpr int32_t kLargePicturesSkin = 0x402;
constexpr int32_t kMisalignedSkin = 0x403;
constexpr int32_t kBuiltInCopySkin = 0x404;
constexpr int32_t kLargePixelsSkin = 0x405;
constexpr int32_t kBudgetsSkin = 0x406;

inline TestSkin BuiltIn(const plat::ResourceModule& builtIn, int32_t skinId) {
    return TestSkin::CopyOf(builtIn).Value(kSkinIdValueId, skinId);
}

// The call history's font height (value 400) at `height`.
inline TestSkin FontHeight(const plat::ResourceModule& builtIn, int32_t height) {
    return BuiltIn(builtIn, kFontHeightSkin)
        .Value(CMakeCall::zel_SldCallHistory::kFontValue, height);
}

// The three kLargePictures `width` x `height`, of a depth that loads as a transparent image
// (a header of 40 bytes asks for all of it).
inline TestSkin LargePictures(const plat::ResourceModule& builtIn, int32_t width, int32_t height) {
    TestSkin skin = BuiltIn(builtIn, kLargePicturesSkin);
    for (int id : kLargePictures) {
        skin.Depth(id, width, height, 8);
    }
    return skin;
}

// Pictures `ids` of the built-in skin `side` x `side` in 32 bits, each the built-in picture in
// the top-left corner and transparent around it: what the skin file holds too (4 bytes a pixel),
// as a user would draw such a skin.
inline TestSkin Enlarged(const plat::ResourceModule& builtIn, int32_t skinId,
                         std::initializer_list<int> ids, int32_t side) {
    TestSkin skin = BuiltIn(builtIn, skinId);
    for (int id : ids) {
        std::span<const uint8_t> bmp;
        builtIn.Find(plat::kResourceBitmap, static_cast<uint32_t>(id), &bmp);
        const auto width = static_cast<int32_t>(bmp[4] | bmp[5] << 8);
        const auto height = static_cast<int32_t>(bmp[8] | bmp[9] << 8);
        // The built-in pictures are 32-bit, stored bottom-up: blue, green, red, alpha.
        skin.Bitmap(id, side, side, [&](int x, int y) -> uint32_t {
            if (x >= width || y >= height) {
                return 0;
            }
            const uint8_t* p =
                bmp.data() + 40 + 4 * (static_cast<size_t>(height - 1 - y) * width + x);
            return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
        });
    }
    return skin;
}

// The login form's background and the two panels of kLargePictures, `side` x `side` in 32 bits.
inline TestSkin LargePicturesInPixels(const plat::ResourceModule& builtIn, int32_t side) {
    return Enlarged(builtIn, kLargePixelsSkin,
                    {LoginForm::kBackground, kLargePictures[1], kLargePictures[2]}, side);
}

// A skin at both budgets: the login form's sign-in button and the keypad's 0 key `side` x
// `side` in 32 bits (the windows keep their size), in a file padded to the byte budget. At
// 1842 the images the forms make of it come to just under the pixel budget, at 1843 past it.
constexpr int32_t kSideAtTheBudget = 1842;
inline TestSkin AtBothBudgets(const plat::ResourceModule& builtIn, int32_t skinId,
                              int32_t side = kSideAtTheBudget) {
    return Enlarged(builtIn, skinId, {LoginForm::kCmdLogIn, CMakeCall::kCmdKey0}, side)
        .PadTo(kMaxSkinFileBytes);
}

// The seven font heights' values stored `offset` bytes past a place aligned for them.
inline TestSkin MisalignedFontHeights(const plat::ResourceModule& builtIn, uint32_t offset) {
    TestSkin skin = BuiltIn(builtIn, kMisalignedSkin);
    for (int id : kFontHeights) {
        skin.Misalign(kSkinTypeValue, id, offset);
    }
    return skin;
}

} // namespace skincases
