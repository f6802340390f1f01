#include "skin/SkinResources.h"

#include <cstring>
#include <span>
#include <string>

#include "platform/ui/MessageBox.h"
#include "skin/zel_Bitmap.h"

plat::ResourceModule* g_SkinModule = nullptr;
const char* g_UiFontFace = kFallbackFontFace;

namespace {

constexpr int kFound = 0;

// Looks resource (type, id) up in `module`. Returns kFound with *data at `size` bytes that
// start 4-byte aligned, or the failing step: 1 not found, 2 data outside the module, 3 shorter
// than `size` or misaligned.
int Locate(const plat::ResourceModule* module, uint32_t type, int id, size_t size,
           const uint8_t** data) {
    *data = nullptr;
    if (!module || id < 0 || id > 0xFFFF) {
        return 1;
    }
    std::span<const uint8_t> bytes;
    switch (module->Find(type, static_cast<uint32_t>(id), &bytes)) {
    case plat::ResourceModule::Lookup::NotFound:
        return 1;
    case plat::ResourceModule::Lookup::BadData:
        return 2;
    case plat::ResourceModule::Lookup::Found:
        break;
    }
    if (bytes.size() < size || reinterpret_cast<uintptr_t>(bytes.data()) % 4 != 0) {
        return 3;
    }
    *data = bytes.data();
    return kFound;
}

void Report(int step, const char* kind, int id) {
    std::string text = "(" + std::to_string(step) + ") no pudo ser cargado el " + kind +
                       " de id=" + std::to_string(id);
    plat::MessageBox(nullptr, text, "error", plat::kMbOk);
}

// A fixed-size payload of the current skin module, reporting a failure.
const uint8_t* LoadReported(uint32_t type, int id, size_t size, const char* kind) {
    const uint8_t* data = nullptr;
    int step = Locate(g_SkinModule, type, id, size, &data);
    if (step != kFound) {
        Report(step, kind, id);
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

const SkinPos* GetSkinPos(int id) {
    return reinterpret_cast<const SkinPos*>(
        LoadReported(kSkinTypePosition, id, sizeof(SkinPos), "pos"));
}

const SkinArea* GetSkinArea(int id) {
    return reinterpret_cast<const SkinArea*>(
        LoadReported(kSkinTypeArea, id, sizeof(SkinArea), "area"));
}

int32_t GetSkinValue(int id) {
    const uint8_t* p = LoadReported(kSkinTypeValue, id, 4, "valor");
    return p ? ReadLittle<int32_t>(p) : 0;
}

uint32_t GetSkinColor(int id) {
    const uint8_t* p = LoadReported(kSkinTypeColor, id, 4, "color");
    return p ? ReadLittle<uint32_t>(p) : 0;
}

int32_t GetModuleSkinValue(const plat::ResourceModule* module, int id) {
    const uint8_t* p = nullptr;
    if (Locate(module, kSkinTypeValue, id, 4, &p) != kFound) {
        return -1;
    }
    return ReadLittle<int32_t>(p);
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

SkinContents CheckSkinContents(const plat::ResourceModule* module, std::span<const int> pictures) {
    SkinContents result;
    if (!module) {
        return result;
    }
    auto outOfBounds = [&result](uint32_t type, uint32_t id) {
        if (result.verdict == SkinContents::Verdict::Accepted) {
            result = {SkinContents::Verdict::OutOfBounds, type, static_cast<int>(id), 0};
        }
    };
    // Each of a resource's integers, as the loaders would read them (whole and aligned).
    auto ints = [](std::span<const uint8_t> data, size_t count, int32_t* out) {
        if (data.size() < 4 * count || reinterpret_cast<uintptr_t>(data.data()) % 4 != 0) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            out[i] = ReadLittle<int32_t>(data.data() + 4 * i);
        }
        return true;
    };
    int64_t pixels = 0;
    module->ForEach(kSkinTypePosition, [&](uint32_t id, std::span<const uint8_t> data) {
        int32_t v[2];
        if (ints(data, 2, v) && (!IsSkinCoordinate(v[0]) || !IsSkinCoordinate(v[1]))) {
            outOfBounds(kSkinTypePosition, id);
        }
    });
    module->ForEach(kSkinTypeArea, [&](uint32_t id, std::span<const uint8_t> data) {
        int32_t v[4];
        if (!ints(data, 4, v)) {
            return;
        }
        if (!IsSkinCoordinate(v[0]) || !IsSkinCoordinate(v[1]) || !IsSkinCoordinate(v[2]) ||
            !IsSkinCoordinate(v[3])) {
            outOfBounds(kSkinTypeArea, id);
        } else if (v[2] > 0 && v[3] > 0) {
            pixels += int64_t{v[2]} * v[3];
        }
    });
    module->ForEach(kSkinTypeValue, [&](uint32_t id, std::span<const uint8_t> data) {
        int32_t v;
        if (id != kSkinLanguageId && id != kSkinIdValueId && ints(data, 1, &v) &&
            !IsSkinCoordinate(v)) {
            outOfBounds(kSkinTypeValue, id);
        }
    });
    module->ForEach(plat::kResourceBitmap, [&](uint32_t, std::span<const uint8_t> data) {
        zel_Bitmap::Info info;
        if (zel_Bitmap::Inspect(data, &info)) {
            pixels += int64_t{info.width} * info.height;
        }
    });
    if (result.verdict != SkinContents::Verdict::Accepted) {
        result.pixels = pixels;
        return result;
    }
    for (int id : pictures) {
        std::span<const uint8_t> data;
        zel_Bitmap::Info info;
        if (id >= 0 &&
            module->Find(plat::kResourceBitmap, static_cast<uint32_t>(id), &data) ==
                plat::ResourceModule::Lookup::Found &&
            zel_Bitmap::Inspect(data, &info) && !info.picture) {
            return {SkinContents::Verdict::NotAPicture, plat::kResourceBitmap, id, pixels};
        }
    }
    result.pixels = pixels;
    if (pixels > kMaxSkinPixels) {
        result.verdict = SkinContents::Verdict::OverBudget;
    }
    return result;
}

std::string DescribeSkinContents(const SkinContents& contents) {
    switch (contents.verdict) {
    case SkinContents::Verdict::Accepted:
        return "skin aceptado, pixeles=" + std::to_string(contents.pixels);
    case SkinContents::Verdict::OutOfBounds: {
        const char* kind = contents.type == kSkinTypePosition ? "pos"
                           : contents.type == kSkinTypeArea   ? "area"
                                                              : "valor";
        return std::string("valor fuera de limites en el ") + kind +
               " de id=" + std::to_string(contents.id);
    }
    case SkinContents::Verdict::NotAPicture:
        return "el skin no tiene todos los controles: el fondo " + std::to_string(contents.id) +
               " no es una imagen";
    case SkinContents::Verdict::OverBudget:
        return "el skin supera el limite de pixeles, pixeles=" + std::to_string(contents.pixels);
    }
    return {};
}
