#pragma once
#include <cstdint>

namespace plat {

// What one key event of the display means to the original platform's key messages.
struct MappedKey {
    uint32_t vk = 0; // virtual-key code; 0 for a key this layer does not know
    uint32_t ch = 0; // character it types (Unicode; 8, 9, 13, 27 for the control keys); 0 none
};

// Modifier state of a key event.
constexpr uint32_t kKeyShift = 1;
constexpr uint32_t kKeyControl = 2;
constexpr uint32_t kKeyAlt = 4;

// Maps an X keysym (which already reflects NumLock and Shift) to a virtual-key code and the
// character it types. `unshifted` is the keysym of the same key without modifiers; it names
// the key when `keysym` itself is a shifted symbol (Shift+1 gives "exclam", key '1').
// Never uses hardware key codes.
MappedKey MapKey(uint32_t keysym, uint32_t unshifted, uint32_t modifiers);

} // namespace plat
