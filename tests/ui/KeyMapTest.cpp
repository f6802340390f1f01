#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include "platform/ui/KeyMap.h"
#include "platform/ui/VirtualKeys.h"

namespace {

TEST(KeyMapTest, KeysymsBecomeTheOriginalVirtualKeysAndCharacters) {
    struct Case {
        uint32_t keysym, unshifted, modifiers;
        uint32_t vk, ch;
    } cases[] = {
        {GDK_KEY_a, GDK_KEY_a, 0, 'A', 'a'},
        {GDK_KEY_A, GDK_KEY_a, plat::kKeyShift, 'A', 'A'},
        {GDK_KEY_7, GDK_KEY_7, 0, '7', '7'},
        // Shift+1 names no key by itself: the unshifted symbol does.
        {GDK_KEY_exclam, GDK_KEY_1, plat::kKeyShift, '1', '!'},
        // The keypad with NumLock on types digits, with it off it moves.
        {GDK_KEY_KP_1, GDK_KEY_KP_End, 0, plat::kVkNumpad0 + 1, '1'},
        {GDK_KEY_KP_9, GDK_KEY_KP_Prior, 0, plat::kVkNumpad0 + 9, '9'},
        {GDK_KEY_KP_End, GDK_KEY_KP_End, 0, plat::kVkEnd, 0},
        {GDK_KEY_KP_Enter, GDK_KEY_KP_Enter, 0, plat::kVkReturn, 13},
        {GDK_KEY_KP_Multiply, GDK_KEY_KP_Multiply, 0, plat::kVkMultiply, '*'},
        {GDK_KEY_numbersign, GDK_KEY_3, plat::kKeyShift, '3', '#'},
        {GDK_KEY_Return, GDK_KEY_Return, 0, plat::kVkReturn, 13},
        {GDK_KEY_BackSpace, GDK_KEY_BackSpace, 0, plat::kVkBack, 8},
        {GDK_KEY_Tab, GDK_KEY_Tab, 0, plat::kVkTab, 9},
        {GDK_KEY_ISO_Left_Tab, GDK_KEY_Tab, plat::kKeyShift, plat::kVkTab, 9},
        {GDK_KEY_Escape, GDK_KEY_Escape, 0, plat::kVkEscape, 27},
        {GDK_KEY_Delete, GDK_KEY_Delete, 0, plat::kVkDelete, 0},
        {GDK_KEY_Left, GDK_KEY_Left, 0, plat::kVkLeft, 0},
        {GDK_KEY_F12, GDK_KEY_F12, 0, plat::kVkF1 + 11, 0},
        {GDK_KEY_ntilde, GDK_KEY_ntilde, 0, 0, 0xF1},
        {GDK_KEY_minus, GDK_KEY_minus, 0, plat::kVkOemMinus, '-'},
        // Control with a letter types a control character, with anything else nothing.
        {GDK_KEY_c, GDK_KEY_c, plat::kKeyControl, 'C', 3},
        {GDK_KEY_5, GDK_KEY_5, plat::kKeyControl, '5', 0},
        // Alt combinations are system keys: the forms never see them.
        {GDK_KEY_x, GDK_KEY_x, plat::kKeyAlt, 0, 0},
    };
    for (const Case& c : cases) {
        const plat::MappedKey k = plat::MapKey(c.keysym, c.unshifted, c.modifiers);
        EXPECT_EQ(k.vk, c.vk) << std::hex << c.keysym;
        EXPECT_EQ(k.ch, c.ch) << std::hex << c.keysym;
    }
}

} // namespace
