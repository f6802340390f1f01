#pragma once
#include <cstdint>

namespace plat {

// Virtual-key codes, numbered as the original platform's. Letters and digits are their upper-
// case ASCII codes ('A'..'Z', '0'..'9').
constexpr uint32_t kVkBack = 0x08;
constexpr uint32_t kVkTab = 0x09;
constexpr uint32_t kVkReturn = 0x0D;
constexpr uint32_t kVkShift = 0x10;
constexpr uint32_t kVkControl = 0x11;
constexpr uint32_t kVkMenu = 0x12; // Alt
constexpr uint32_t kVkPause = 0x13;
constexpr uint32_t kVkCapital = 0x14;
constexpr uint32_t kVkEscape = 0x1B;
constexpr uint32_t kVkSpace = 0x20;
constexpr uint32_t kVkPrior = 0x21;
constexpr uint32_t kVkNext = 0x22;
constexpr uint32_t kVkEnd = 0x23;
constexpr uint32_t kVkHome = 0x24;
constexpr uint32_t kVkLeft = 0x25;
constexpr uint32_t kVkUp = 0x26;
constexpr uint32_t kVkRight = 0x27;
constexpr uint32_t kVkDown = 0x28;
constexpr uint32_t kVkInsert = 0x2D;
constexpr uint32_t kVkDelete = 0x2E;
constexpr uint32_t kVkNumpad0 = 0x60; // to kVkNumpad0 + 9
constexpr uint32_t kVkMultiply = 0x6A;
constexpr uint32_t kVkAdd = 0x6B;
constexpr uint32_t kVkSubtract = 0x6D;
constexpr uint32_t kVkDecimal = 0x6E;
constexpr uint32_t kVkDivide = 0x6F;
constexpr uint32_t kVkF1 = 0x70; // to kVkF1 + 11
constexpr uint32_t kVkNumLock = 0x90;
constexpr uint32_t kVkOem1 = 0xBA;      // ;:
constexpr uint32_t kVkOemPlus = 0xBB;   // =+
constexpr uint32_t kVkOemComma = 0xBC;  // ,<
constexpr uint32_t kVkOemMinus = 0xBD;  // -_
constexpr uint32_t kVkOemPeriod = 0xBE; // .>
constexpr uint32_t kVkOem2 = 0xBF;      // /?
constexpr uint32_t kVkOem3 = 0xC0;      // `~
constexpr uint32_t kVkOem4 = 0xDB;      // [{
constexpr uint32_t kVkOem5 = 0xDC;      // \|
constexpr uint32_t kVkOem6 = 0xDD;      // ]}
constexpr uint32_t kVkOem7 = 0xDE;      // '"

// Mouse-key flags of mouse events, as the original platform's.
constexpr uint32_t kMkLButton = 0x0001;
constexpr uint32_t kMkRButton = 0x0002;
constexpr uint32_t kMkShift = 0x0004;
constexpr uint32_t kMkControl = 0x0008;
constexpr uint32_t kMkMButton = 0x0010;

} // namespace plat
