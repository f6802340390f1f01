// libFuzzer target: a module's bytes through the resource reader, the string tables, the skin
// loaders and the bitmap conversion. Any read outside the bytes is a finding.
#include <cstddef>
#include <cstdint>
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
    std::string text;
    for (uint32_t id : {0u, 1u, 2u, 15u, 16u, 190u, 191u, 65535u}) {
        module.LoadString(id, &text);
    }
    g_SkinModule = &module;
    for (int id : {100, 101, 110, 111, 120, 121, 130, 131, 132, 140, 300, 301, 302, 303, 304}) {
        GetSkinPos(id);
        GetSkinArea(id);
        GetSkinValue(id);
        GetSkinColor(id);
        GetModuleSkinValue(&module, id);
    }
    GetUiFontFace();
    CheckSkinHeader(&module);
    for (int id : {10, 11, 12, 13, 14, 20, 21, 22, 23, 24, 25, 303}) {
        zel_Bitmap bitmap;
        bitmap.LoadFromSkin(id);
    }
    g_SkinModule = nullptr;
    g_UiFontFace = kFallbackFontFace;
    return 0;
}
