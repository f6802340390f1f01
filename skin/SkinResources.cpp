#include "skin/SkinResources.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "platform/ui/Font.h"
#include "platform/ui/MessageBox.h"
#include "skin/zel_Bitmap.h"

plat::ResourceModule* g_SkinModule = nullptr;
const char* g_UiFontFace = kFallbackFontFace;

namespace {

const char* KindName(uint32_t type) {
    switch (type) {
    case kSkinTypePosition:
        return "pos";
    case kSkinTypeArea:
        return "area";
    case kSkinTypeColor:
        return "color";
    default:
        return "valor";
    }
}

// The loaders' message for resource (type, id) failing at `step`.
std::string LoadFailureText(SkinLoadStep step, uint32_t type, int id) {
    return "(" + std::to_string(static_cast<int>(step)) + ") no pudo ser cargado el " +
           KindName(type) + " de id=" + std::to_string(id);
}

// A payload of the current skin module, reporting a failure.
const uint8_t* LoadReported(uint32_t type, int id) {
    const uint8_t* data = nullptr;
    const SkinLoadStep step = LocateSkinPayload(g_SkinModule, type, id, &data);
    if (step != SkinLoadStep::Loaded) {
        plat::MessageBox(nullptr, LoadFailureText(step, type, id), "error", plat::kMbOk);
        return nullptr;
    }
    return data;
}

template <typename T> T ReadLittle(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

} // namespace

bool IsSkinValueWithin(SkinValueKind kind, int32_t value) {
    switch (kind) {
    case SkinValueKind::Place:
        return value >= -kMaxSkinSide && value <= kMaxSkinSide;
    case SkinValueKind::Size:
        return value >= 0 && value <= kMaxSkinSide;
    case SkinValueKind::FontHeight:
        return value >= 1 && value <= plat::Font::kMaxHeight;
    case SkinValueKind::Identity:
        return true;
    }
    return false;
}

size_t SkinPayloadSize(uint32_t type) {
    switch (type) {
    case kSkinTypePosition:
        return sizeof(SkinPos);
    case kSkinTypeArea:
        return sizeof(SkinArea);
    case kSkinTypeColor:
    case kSkinTypeValue:
        return 4;
    default:
        return 0;
    }
}

SkinLoadStep CheckSkinPayload(uint32_t type, plat::ResourceModule::Lookup lookup,
                              std::span<const uint8_t> data) {
    switch (lookup) {
    case plat::ResourceModule::Lookup::NotFound:
        return SkinLoadStep::NotFound;
    case plat::ResourceModule::Lookup::BadData:
        return SkinLoadStep::OutsideModule;
    case plat::ResourceModule::Lookup::Found:
        break;
    }
    const size_t size = SkinPayloadSize(type);
    if (size == 0 || data.size() < size || reinterpret_cast<uintptr_t>(data.data()) % 4 != 0) {
        return SkinLoadStep::ShortOrMisaligned;
    }
    return SkinLoadStep::Loaded;
}

SkinLoadStep LocateSkinPayload(const plat::ResourceModule* module, uint32_t type, int id,
                               const uint8_t** data) {
    *data = nullptr;
    if (!module || id < 0 || id > 0xFFFF) {
        return SkinLoadStep::NotFound;
    }
    std::span<const uint8_t> bytes;
    const SkinLoadStep step =
        CheckSkinPayload(type, module->Find(type, static_cast<uint32_t>(id), &bytes), bytes);
    if (step == SkinLoadStep::Loaded) {
        *data = bytes.data();
    }
    return step;
}

SkinLoadStep ReadSkinInts(const plat::ResourceModule* module, uint32_t type, int id,
                          std::span<int32_t> values) {
    const uint8_t* data = nullptr;
    const SkinLoadStep step = LocateSkinPayload(module, type, id, &data);
    if (step == SkinLoadStep::Loaded) {
        const size_t count = std::min(values.size(), SkinPayloadSize(type) / 4);
        for (size_t i = 0; i < count; ++i) {
            values[i] = ReadLittle<int32_t>(data + 4 * i);
        }
    }
    return step;
}

const SkinPos* GetSkinPos(int id) {
    return reinterpret_cast<const SkinPos*>(LoadReported(kSkinTypePosition, id));
}

const SkinArea* GetSkinArea(int id) {
    return reinterpret_cast<const SkinArea*>(LoadReported(kSkinTypeArea, id));
}

int32_t GetSkinValue(int id) {
    const uint8_t* p = LoadReported(kSkinTypeValue, id);
    return p ? ReadLittle<int32_t>(p) : 0;
}

uint32_t GetSkinColor(int id) {
    const uint8_t* p = LoadReported(kSkinTypeColor, id);
    return p ? ReadLittle<uint32_t>(p) : 0;
}

uint32_t GetSkinColorOr(int id, uint32_t fallback) {
    const uint8_t* p = nullptr;
    return LocateSkinPayload(g_SkinModule, kSkinTypeColor, id, &p) == SkinLoadStep::Loaded
               ? ReadLittle<uint32_t>(p)
               : fallback;
}

int32_t GetModuleSkinValue(const plat::ResourceModule* module, int id) {
    int32_t value = -1;
    return ReadSkinInts(module, kSkinTypeValue, id, {&value, 1}) == SkinLoadStep::Loaded ? value
                                                                                         : -1;
}

void GetUiFontFace() {
    g_UiFontFace = kFallbackFontFace;
    if (!g_SkinModule) {
        return;
    }
    std::span<const uint8_t> face;
    if (g_SkinModule->Find(kSkinTypeFontFace, kSkinFontFaceId, &face) ==
            plat::ResourceModule::Lookup::Found &&
        std::memchr(face.data(), 0, face.size()) != nullptr) {
        g_UiFontFace = reinterpret_cast<const char*>(face.data());
    }
}

SkinHeaderCheck CheckSkinHeader(const plat::ResourceModule* module) {
    std::span<const uint8_t> header;
    if (!module ||
        module->Find(plat::kResourceRcdata, kSkinHeaderId, &header) !=
            plat::ResourceModule::Lookup::Found ||
        header.size() < 8) {
        return SkinHeaderCheck::Missing;
    }
    int32_t first = ReadLittle<int32_t>(header.data());
    int32_t second = ReadLittle<int32_t>(header.data() + 4);
    return first <= 7 && second >= 7 ? SkinHeaderCheck::Accepted : SkinHeaderCheck::Refused;
}

SkinContents CheckSkinContents(const plat::ResourceModule* module, const SkinForms& forms) {
    SkinContents result;
    if (!module) {
        return result;
    }
    result.bytes = module->Size();
    auto fault = [&result](SkinContents::Verdict verdict, uint32_t type, uint32_t id,
                           SkinLoadStep step) {
        if (result.verdict == SkinContents::Verdict::Accepted) {
            result.verdict = verdict;
            result.type = type;
            result.id = static_cast<int>(id);
            result.step = step;
        }
    };
    // Every payload by the loaders' rule; then each of its integers in its range.
    int64_t pixels = 0;
    for (uint32_t type : {kSkinTypePosition, kSkinTypeArea, kSkinTypeColor, kSkinTypeValue}) {
        module->ForEachEntry(type, [&](uint32_t id, plat::ResourceModule::Lookup lookup,
                                       std::span<const uint8_t> data) {
            const SkinLoadStep step = CheckSkinPayload(type, lookup, data);
            if (step != SkinLoadStep::Loaded) {
                fault(SkinContents::Verdict::Damaged, type, id, step);
                return;
            }
            int32_t v[4] = {};
            for (size_t i = 0; i < SkinPayloadSize(type) / 4; ++i) {
                v[i] = ReadLittle<int32_t>(data.data() + 4 * i);
            }
            bool within = true;
            if (type == kSkinTypePosition) {
                within = IsSkinValueWithin(SkinValueKind::Place, v[0]) &&
                         IsSkinValueWithin(SkinValueKind::Place, v[1]);
            } else if (type == kSkinTypeArea) {
                within = IsSkinValueWithin(SkinValueKind::Place, v[0]) &&
                         IsSkinValueWithin(SkinValueKind::Place, v[1]) &&
                         IsSkinSizeValid(v[2], v[3]);
                if (within) {
                    pixels += int64_t{v[2]} * v[3];
                }
            } else if (type == kSkinTypeValue) {
                SkinValueKind kind = id == kSkinLanguageId || id == kSkinIdValueId
                                         ? SkinValueKind::Identity
                                         : SkinValueKind::Place;
                for (const SkinValueRule& rule : forms.values) {
                    if (rule.id >= 0 && static_cast<uint32_t>(rule.id) == id) {
                        kind = rule.kind;
                    }
                }
                within = IsSkinValueWithin(kind, v[0]);
            }
            if (!within) {
                fault(SkinContents::Verdict::OutOfBounds, type, id, SkinLoadStep::Loaded);
            }
        });
    }
    module->ForEach(plat::kResourceBitmap, [&](uint32_t, std::span<const uint8_t> data) {
        zel_Bitmap::Info info;
        if (zel_Bitmap::Inspect(data, &info)) {
            pixels += int64_t{info.width} * info.height;
        }
    });
    if (forms.madePixels) {
        pixels += forms.madePixels(*module);
    }
    result.pixels = pixels;
    if (result.verdict != SkinContents::Verdict::Accepted) {
        return result;
    }
    for (int id : forms.backgrounds) {
        zel_Bitmap::Info info;
        if (zel_Bitmap::Inspect(*module, id, &info) && !info.picture) {
            fault(SkinContents::Verdict::NotAPicture, plat::kResourceBitmap,
                  static_cast<uint32_t>(id), SkinLoadStep::Loaded);
            return result;
        }
    }
    if (pixels > kMaxSkinPixels || result.bytes > kMaxSkinFileBytes) {
        result.verdict = SkinContents::Verdict::OverBudget;
    }
    return result;
}

std::string DescribeSkinContents(const SkinContents& contents) {
    const std::string id = std::to_string(contents.id);
    switch (contents.verdict) {
    case SkinContents::Verdict::Accepted:
        return "skin aceptado, pixeles=" + std::to_string(contents.pixels) +
               ", bytes=" + std::to_string(contents.bytes);
    case SkinContents::Verdict::Damaged:
        return LoadFailureText(contents.step, contents.type, contents.id);
    case SkinContents::Verdict::OutOfBounds:
        return std::string("valor fuera de limites en el ") + KindName(contents.type) +
               " de id=" + id;
    case SkinContents::Verdict::NotAPicture:
        return "el skin no tiene todos los controles: el fondo " + id + " no es una imagen";
    case SkinContents::Verdict::OverBudget:
        return contents.bytes > kMaxSkinFileBytes
                   ? "el skin supera el limite de bytes, bytes=" + std::to_string(contents.bytes)
                   : "el skin supera el limite de pixeles, pixeles=" +
                         std::to_string(contents.pixels);
    }
    return {};
}
