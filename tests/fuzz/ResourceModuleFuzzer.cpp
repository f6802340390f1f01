// libFuzzer target: a module's bytes through the resource reader, the string tables, the skin
// loaders and the bitmap conversion. Any read outside the bytes is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "platform/res/ResourceModule.h"
#include "platform/ui/MessageBox.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"

namespace {

// The loaders' failure messages go nowhere.
class SilentBoxes final : public plat::MessageBoxSink {
public:
    int Show(const plat::MessageBoxRequest&) override { return plat::kIdOk; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes silent;
    static bool installed = (plat::SetMessageBoxSinkForTests(&silent), true);
    (void)installed;

    plat::ResourceModule module;
    if (!module.LoadFromBytes(data, size)) {
        return 0;
    }
    // Everything handed back is read whole, so that a span or pointer that reaches past the
    // bytes is caught here and not only in the reader.
    volatile uint32_t sink = 0;
    std::string text;
    for (uint32_t id : {0u, 1u, 2u, 15u, 16u, 190u, 191u, 65535u}) {
        module.LoadString(id, &text);
        sink = sink + static_cast<uint32_t>(text.size());
    }
    for (uint32_t type : {2u, 6u, 10u, 100u, 101u, 102u, 103u, 104u}) {
        for (uint32_t id : {1u, 10u, 13u, 100u, 110u, 300u, 302u, 303u}) {
            std::span<const uint8_t> bytes;
            if (module.Find(type, id, &bytes) == plat::ResourceModule::Lookup::Found) {
                for (uint8_t b : bytes) {
                    sink = sink + b;
                }
            }
        }
    }
    g_SkinModule = &module;
    for (int id : {100, 101, 110, 111, 120, 121, 130, 131, 132, 140, 300, 301, 302, 303, 304}) {
        if (const SkinPos* pos = GetSkinPos(id)) {
            sink = sink + static_cast<uint32_t>(pos->x ^ pos->y);
        }
        if (const SkinArea* area = GetSkinArea(id)) {
            sink = sink + static_cast<uint32_t>(area->x ^ area->y ^ area->width ^ area->height);
        }
        GetSkinValue(id);
        GetSkinColor(id);
        GetModuleSkinValue(&module, id);
    }
    GetUiFontFace();
    sink = sink + static_cast<uint32_t>(std::strlen(g_UiFontFace));
    CheckSkinHeader(&module);
    for (int id : {10, 11, 12, 13, 14, 20, 21, 22, 23, 24, 25, 303}) {
        zel_Bitmap bitmap;
        if (bitmap.LoadFromSkin(id) && bitmap.height > 0) {
            sink = sink + bitmap.surface.Row(bitmap.height - 1)[0];
        }
    }
    g_SkinModule = nullptr;
    g_UiFontFace = kFallbackFontFace;
    return 0;
}
