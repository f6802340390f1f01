#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
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

// What one skin may hold, so that the program stays within about 200 MB with any skin that
// passes the contents check, even while a switch holds two: its file, which is held whole
// while the skin is in use, of at most kMaxSkinFileBytes, and at most kMaxSkinPixels pixels of
// images made from it (its pictures as they load, its text areas, and what the forms make of
// it: their back buffers and the window system's copies of them, the skin browser's copy of
// its preview).
constexpr size_t kMaxSkinFileBytes = size_t{32} << 20;
constexpr int64_t kMaxSkinPixels = int64_t{8} << 20;

// What a value resource of a skin stands for, and the range it must keep.
enum class SkinValueKind {
    Place,      // a place or an offset within a form: within plus or minus kMaxSkinSide
    Size,       // a size within the largest window: 0 to kMaxSkinSide
    FontHeight, // a font's height: 1 to plat::Font::kMaxHeight, as fonts are made
    Identity,   // only compared (the language 301, the skin id 304): any value
};
struct SkinValueRule {
    int id;
    SkinValueKind kind;
};
bool IsSkinValueWithin(SkinValueKind kind, int32_t value);

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

// The one rule by which a position, area, colour or value of a skin loads, which the loaders
// and the contents check (and tools that read skin files) share: the resource must be there
// (else step 1), its data inside the module (step 2), and as long as its payload (two, four,
// one and one 32-bit integers) and 4-byte aligned, as the controls read it in place (step 3).
enum class SkinLoadStep { Loaded = 0, NotFound = 1, OutsideModule = 2, ShortOrMisaligned = 3 };
// The payload's size of a position, area, colour or value; 0 for any other type.
size_t SkinPayloadSize(uint32_t type);
// The rule for a resource of `type` that a look-up answered with `lookup` and `data`.
SkinLoadStep CheckSkinPayload(uint32_t type, plat::ResourceModule::Lookup lookup,
                              std::span<const uint8_t> data);
// Looks resource (type, id) of `module` up by the rule; *data is its payload when Loaded, else
// null.
SkinLoadStep LocateSkinPayload(const plat::ResourceModule* module, uint32_t type, int id,
                               const uint8_t** data);
// The payload's first `values.size()` integers (at most the payload's), by the rule.
SkinLoadStep ReadSkinInts(const plat::ResourceModule* module, uint32_t type, int id,
                          std::span<int32_t> values);

// The reporting loaders: a resource the rule refuses shows a message box
// "(<step>) no pudo ser cargado el <pos|area|valor|color> de id=<id>" with the caption "error"
// and returns null (position, area) or 0 (value, colour).
const SkinPos* GetSkinPos(int id);
const SkinArea* GetSkinArea(int id);
int32_t GetSkinValue(int id);
// The colour as the module stores it: red in the low byte, then green, blue, 0.
uint32_t GetSkinColor(int id);
// Colour `id` by the same rule, without a message: `fallback` when it is missing or damaged.
uint32_t GetSkinColorOr(int id, uint32_t fallback);

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

// What the program builds from a skin, as the contents check needs to know it.
struct SkinForms {
    // The forms' backgrounds: each, when the module has it, must load as a picture and not as
    // the transparent image of a depth that cannot be converted (a form drawn from it would be
    // invisible and let every click through).
    std::span<const int> backgrounds;
    // The values the forms read, each with what it stands for; a value not named here (other
    // than the identity values 301 and 304) is held to SkinValueKind::Place.
    std::span<const SkinValueRule> values;
    // The pixels the forms make from `module` beyond its pictures and text areas; none when
    // empty.
    std::function<int64_t(const plat::ResourceModule& module)> madePixels;
};

// The contents check of a skin module, made when a skin file is installed or about to become
// the current skin: every position, area, colour and value loads by the one rule above, every
// position and area place and every value keeps its range, every area has a size a text area
// can have (1 to kMaxSkinSide each way), the backgrounds are pictures, and the file and the
// images made from it keep to the skin's budget.
struct SkinContents {
    enum class Verdict { Accepted, Damaged, OutOfBounds, NotAPicture, OverBudget };
    Verdict verdict = Verdict::Accepted;
    uint32_t type = 0; // the resource at fault (Damaged, OutOfBounds, NotAPicture)
    int id = 0;
    SkinLoadStep step = SkinLoadStep::Loaded; // where a Damaged resource fails
    int64_t pixels = 0;                       // the images' pixels counted
    size_t bytes = 0;                         // the module's bytes
};
SkinContents CheckSkinContents(const plat::ResourceModule* module, const SkinForms& forms);
// The finding as a trace text: a Damaged resource as the loaders' message says it; NotAPicture
// starts with "el skin no tiene todos los controles".
std::string DescribeSkinContents(const SkinContents& contents);
