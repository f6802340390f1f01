#include "app/login/SkinFiles.h"

#include <exception>
#include <span>

#include "app/panels/SkinFolder.h"
#include "app/resources/BuiltInModule.h"
#include "app/trace/TraceFile.h"
#include "platform/store/Registry.h"
#include "skin/SkinResources.h"

namespace {

constexpr int kMsgCannotVerifySkin = 4;
constexpr int kMsgErrorLoadingSkin = 5;

void TraceSkin(const std::string& text) {
    AppTrace(("CUserLogin::LoadSkin: " + text).c_str());
}

} // namespace

std::string SkinFilePath(uint32_t id) {
    return SkinFolder::Default().PathOf(id);
}

uint32_t ReadSkinSetting() {
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    if (registry.CreateKey("SOFTWARE\\Quorvex", &key) != plat::kErrorSuccess) {
        return 0;
    }
    uint32_t type = 0;
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    if (registry.QueryValue(key, "Skin", &type, &value, &size) != plat::kErrorSuccess ||
        type != plat::kRegDword || size != sizeof(value)) {
        return 0;
    }
    return value;
}

std::unique_ptr<plat::ResourceModule>& LoadedSkinModule() {
    static std::unique_ptr<plat::ResourceModule> module;
    return module;
}

void LoadSkinAtStart(SkinControl& form, const std::function<void(int stringId)>& showMessage) {
    std::unique_ptr<plat::ResourceModule> file;
    if (uint32_t id = ReadSkinSetting(); id != 0) {
        const std::string path = SkinFilePath(id);
        file = std::make_unique<plat::ResourceModule>();
        if (!file->LoadFromFile(path)) {
            TraceSkin("no se pudo cargar " + path + ": " + file->Error());
            file.reset();
        }
    }
    plat::ResourceModule* module = file ? file.get() : ProgramModule();
    g_SkinModule = module;

    int message = 0;
    try {
        std::span<const uint8_t> header;
        if (module->Find(plat::kResourceRcdata, kSkinHeaderId, &header) ==
            plat::ResourceModule::Lookup::BadData) {
            TraceSkin("encabezado fuera del archivo");
            message = kMsgErrorLoadingSkin;
        } else {
            switch (CheckSkinHeader(module)) {
            case SkinHeaderCheck::Missing:
                TraceSkin("sin encabezado");
                message = kMsgCannotVerifySkin;
                break;
            case SkinHeaderCheck::Refused:
                TraceSkin("version del skin no aceptada");
                break;
            case SkinHeaderCheck::Accepted:
                if (const SkinContents contents =
                        file ? SkinFolder::CheckContents(*file) : SkinContents{};
                    contents.verdict != SkinContents::Verdict::Accepted) {
                    TraceSkin(DescribeSkinContents(contents));
                    // A form without its picture is a skin without its controls; anything
                    // else is a damaged skin.
                    if (contents.verdict != SkinContents::Verdict::NotAPicture) {
                        message = kMsgErrorLoadingSkin;
                    }
                    break;
                }
                if (form.ApplySkin()) {
                    LoadedSkinModule() = std::move(file);
                    return;
                }
                TraceSkin("el skin no tiene todos los controles");
                break;
            }
        }
    } catch (const std::exception& e) {
        TraceSkin(std::string("excepcion: ") + e.what());
        message = kMsgErrorLoadingSkin;
    }

    // The form is rebuilt from the program's own module before the file goes, so no control
    // keeps a place inside it, and before the message, so nothing is drawn from it meanwhile.
    g_SkinModule = ProgramModule();
    if (!form.ApplySkin()) {
        TraceSkin("el skin incorporado no tiene todos los controles");
    }
    file.reset();
    LoadedSkinModule().reset();
    if (message != 0) {
        showMessage(message);
    }
}
