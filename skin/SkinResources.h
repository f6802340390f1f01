#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "platform/res/ResourceModule.h"

// Skin modules: everything the user sees (bitmaps, positions, text areas, colours, layout
// numbers, the font face) is read from the current skin module, g_SkinModule: the program's
// own module or a skin file Skins/<id in lower-case hex>.zsk carrying the same resources under
// the same ids. All of this runs on the GUI thread; no locks.

// Resource types of a skin module (integers little-endian).
constexpr uint32_t kSkinTypeFontFace = 100; // NUL-terminated face name
constexpr uint32_t kSkinTypeArea = 101;     // x, y, width, height (32-bit signed)
constexpr uint32_t kSkinTypeColor = 102;    // red, green, blue, 0
constexpr uint32_t kSkinTypeValue = 103;    // one 32-bit signed value
constexpr uint32_t kSkinTypePosition = 104; // x, y (32-bit signed)

// Identity resources that every skin module carries.
constexpr int kSkinHeaderId = 300;   // RCDATA: header values 1 and 2
constexpr int kSkinLanguageId = 301; // value: 0 English, 1 Spanish, 2 Portuguese, ...
constexpr int kSkinFontFaceId = 302; // font face
constexpr int kSkinPreviewId = 303;  // bitmap shown by the skin browser
constexpr int kSkinIdValueId = 304;  // value: the skin id (0 for the built-in skin)

// The largest width or height a skin may give a picture, text area or window. Skins are
// untrusted: a size of 0 or less or above this fails the load (and the skin is rolled back).
constexpr int32_t kMaxSkinSide = 8192;
inline bool IsSkinSizeValid(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width <= kMaxSkinSide && height <= kMaxSkinSide;
}

// Bounds of what a skin supplies, checked once for the whole module when a skin file is
// installed or about to become the current skin, so that the controls' sums and differences of
// positions, sizes and values stay far inside 32 bits. Every position, area and value lies
// within plus or minus kMaxSkinCoordinate (the identity values, the language 301 and the skin
// id 304, are only compared, never computed with, and are left out); the pictures (bitmaps,
// counted as they load) and the text areas of one skin have kMaxSkinPixels pixels in all.
constexpr int32_t kMaxSkinCoordinate = 32768;
constexpr int64_t kMaxSkinPixels = int64_t{64} * 1024 * 1024;

inline bool IsSkinCoordinate(int32_t v) {
    return v >= -kMaxSkinCoordinate && v <= kMaxSkinCoordinate;
}

// The face used when a skin module has none.
inline constexpr char kFallbackFontFace[] = "Times New Roman";

// Positions and areas are read in place from the module's bytes, so a control's pointer stays
// valid while the module is loaded.
struct SkinPos {
    int32_t x;
    int32_t y;
};
struct SkinArea {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// The current skin module (null until the program sets its own module at start-up). Every
// loader below reads from it except GetModuleSkinValue, which takes a module.
extern plat::ResourceModule* g_SkinModule;
// The current UI font face: a NUL-terminated string inside the current skin module's bytes, or
// kFallbackFontFace. Set by GetUiFontFace; valid while the module stays loaded.
extern const char* g_UiFontFace;

// The reporting loaders. A resource that is missing (step 1), whose data lies outside the
// module (step 2), or that is shorter than its payload or not 4-byte aligned (step 3) shows a
// message box "(<step>) no pudo ser cargado el <pos|area|valor|color> de id=<id>" with the
// caption "error" and returns null (position, area) or 0 (value, colour).
const SkinPos* GetSkinPos(int id);
const SkinArea* GetSkinArea(int id);
int32_t GetSkinValue(int id);
// The colour as the module stores it: red in the low byte, then green, blue, 0.
uint32_t GetSkinColor(int id);

// The value resource `id` of `module`; -1 on any failure, without a message.
int32_t GetModuleSkinValue(const plat::ResourceModule* module, int id);

// Sets g_UiFontFace from font face 302 of the current skin module, or to the fallback face
// when it is missing or has no terminating NUL inside the resource. Silent.
void GetUiFontFace();

// The skin header rule: RCDATA 300 with value 1 at most 7 and value 2 at least 7.
enum class SkinHeaderCheck {
    Accepted,
    Missing, // no header, or one shorter than two values
    Refused, // values out of range
};
SkinHeaderCheck CheckSkinHeader(const plat::ResourceModule* module);

// The contents check of a skin module: the bounds and the pixel budget above, and that each of
// `pictures` (the forms' backgrounds), when the module has it, loads as a picture and not as the
// transparent image of a depth that cannot be converted (a form drawn from it would be invisible
// and let every click through). Resources the loaders would refuse anyway (missing, damaged,
// short) are left to them.
struct SkinContents {
    enum class Verdict { Accepted, OutOfBounds, NotAPicture, OverBudget };
    Verdict verdict = Verdict::Accepted;
    uint32_t type = 0; // the resource at fault (OutOfBounds, NotAPicture)
    int id = 0;
    int64_t pixels = 0; // the pictures' and areas' pixels counted
};
SkinContents CheckSkinContents(const plat::ResourceModule* module, std::span<const int> pictures);
// The finding as a trace text; NotAPicture starts with "el skin no tiene todos los controles".
std::string DescribeSkinContents(const SkinContents& contents);
