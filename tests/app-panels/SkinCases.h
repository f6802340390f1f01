#pragma once
#include <cstdint>
#include <initializer_list>

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

// The seven font heights' values stored `offset` bytes past a place aligned for them.
inline TestSkin MisalignedFontHeights(const plat::ResourceModule& builtIn, uint32_t offset) {
    TestSkin skin = BuiltIn(builtIn, kMisalignedSkin);
    for (int id : kFontHeights) {
        skin.Misalign(kSkinTypeValue, id, offset);
    }
    return skin;
}

} // namespace skincases
