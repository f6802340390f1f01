#include "platform/ui/KeyMap.h"

#include <gdk/gdk.h>

#include "platform/ui/VirtualKeys.h"

namespace plat {
namespace {

// The virtual key of a keysym that names a key by itself; 0 when it does not.
uint32_t VirtualKeyOf(uint32_t keysym) {
    if (keysym >= 'a' && keysym <= 'z') {
        return keysym - 'a' + 'A';
    }
    if ((keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9')) {
        return keysym;
    }
    if (keysym >= GDK_KEY_KP_0 && keysym <= GDK_KEY_KP_9) {
        return kVkNumpad0 + (keysym - GDK_KEY_KP_0);
    }
    if (keysym >= GDK_KEY_F1 && keysym <= GDK_KEY_F12) {
        return kVkF1 + (keysym - GDK_KEY_F1);
    }
    switch (keysym) {
    case GDK_KEY_BackSpace:
        return kVkBack;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
        return kVkTab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
        return kVkReturn;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
        return kVkShift;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
        return kVkControl;
    case GDK_KEY_Pause:
        return kVkPause;
    case GDK_KEY_Caps_Lock:
        return kVkCapital;
    case GDK_KEY_Escape:
        return kVkEscape;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
        return kVkSpace;
    case GDK_KEY_Prior:
    case GDK_KEY_KP_Prior:
        return kVkPrior;
    case GDK_KEY_Next:
    case GDK_KEY_KP_Next:
        return kVkNext;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
        return kVkEnd;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
        return kVkHome;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return kVkLeft;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        return kVkUp;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return kVkRight;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        return kVkDown;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert:
        return kVkInsert;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
        return kVkDelete;
    case GDK_KEY_KP_Multiply:
        return kVkMultiply;
    case GDK_KEY_KP_Add:
        return kVkAdd;
    case GDK_KEY_KP_Subtract:
        return kVkSubtract;
    case GDK_KEY_KP_Decimal:
        return kVkDecimal;
    case GDK_KEY_KP_Divide:
        return kVkDivide;
    case GDK_KEY_Num_Lock:
        return kVkNumLock;
    case GDK_KEY_semicolon:
        return kVkOem1;
    case GDK_KEY_equal:
        return kVkOemPlus;
    case GDK_KEY_comma:
        return kVkOemComma;
    case GDK_KEY_minus:
        return kVkOemMinus;
    case GDK_KEY_period:
        return kVkOemPeriod;
    case GDK_KEY_slash:
        return kVkOem2;
    case GDK_KEY_grave:
        return kVkOem3;
    case GDK_KEY_bracketleft:
        return kVkOem4;
    case GDK_KEY_backslash:
        return kVkOem5;
    case GDK_KEY_bracketright:
        return kVkOem6;
    case GDK_KEY_apostrophe:
        return kVkOem7;
    default:
        return 0;
    }
}

uint32_t CharacterOf(uint32_t keysym, uint32_t vk, uint32_t modifiers) {
    switch (vk) {
    case kVkBack:
        return 8;
    case kVkTab:
        return 9;
    case kVkReturn:
        return 13;
    case kVkEscape:
        return 27;
    case kVkDelete:
        return 0;
    default:
        break;
    }
    if ((modifiers & kKeyControl) != 0) {
        // Control with a letter types the control characters 1-26; nothing otherwise.
        return vk >= 'A' && vk <= 'Z' ? vk - 'A' + 1 : 0;
    }
    gunichar ch = gdk_keyval_to_unicode(keysym);
    return ch >= 32 && ch != 127 ? ch : 0;
}

} // namespace

MappedKey MapKey(uint32_t keysym, uint32_t unshifted, uint32_t modifiers) {
    if ((modifiers & kKeyAlt) != 0) {
        return {}; // system keys: the forms never see them
    }
    MappedKey key;
    key.vk = VirtualKeyOf(keysym);
    if (key.vk == 0) {
        key.vk = VirtualKeyOf(unshifted);
    }
    key.ch = CharacterOf(keysym, key.vk, modifiers);
    return key;
}

} // namespace plat
