#include "app/skinfiles/SkinFiles.h"

#include <sys/stat.h>

#include <exception>
#include <span>

#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFolder.h"
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

namespace {

// The file of the `Skin` setting, when it loads; *message is set for one over the byte budget.
std::unique_ptr<plat::ResourceModule> LoadSettingFile(int* message) {
    const uint32_t id = ReadSkinSetting();
    if (id == 0) {
        return nullptr;
    }
    const std::string path = SkinFilePath(id);
    if (struct stat info;
        stat(path.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) > kMaxSkinFileBytes) {
        // Held whole while in use, a larger skin is over its budget: it is not even read.
        SkinContents contents;
        contents.verdict = SkinContents::Verdict::OverBudget;
        contents.bytes = static_cast<size_t>(info.st_size);
        TraceSkin(DescribeSkinContents(contents) + ": " + path);
        *message = kMsgErrorLoadingSkin;
        return nullptr;
    }
    auto file = std::make_unique<plat::ResourceModule>();
    if (!file->LoadFromFile(path, kMaxSkinFileBytes)) {
        TraceSkin("no se pudo cargar " + path + ": " + file->Error());
        return nullptr;
    }
    return file;
}

// Whether `form` was built from `module` (the file when there is one, else the program's own),
// which stays the current skin; else *message, when a message is due.
bool ApplyAtStart(SkinControl& form, plat::ResourceModule* module, bool isFile, int* message) {
    g_SkinModule = module;
    try {
        std::span<const uint8_t> header;
        if (module->Find(plat::kResourceRcdata, kSkinHeaderId, &header) ==
            plat::ResourceModule::Lookup::BadData) {
            TraceSkin("encabezado fuera del archivo");
            *message = kMsgErrorLoadingSkin;
            return false;
        }
        switch (CheckSkinHeader(module)) {
        case SkinHeaderCheck::Missing:
            TraceSkin("sin encabezado");
            *message = kMsgCannotVerifySkin;
            return false;
        case SkinHeaderCheck::Refused:
            TraceSkin("version del skin no aceptada");
            return false;
        case SkinHeaderCheck::Accepted:
            break;
        }
        if (const SkinContents contents =
                isFile ? SkinFolder::CheckContents(*module) : SkinContents{};
            contents.verdict != SkinContents::Verdict::Accepted) {
            TraceSkin(DescribeSkinContents(contents));
            // A form without its picture is a skin without its controls; anything else is a
            // damaged skin.
            if (contents.verdict != SkinContents::Verdict::NotAPicture) {
                *message = kMsgErrorLoadingSkin;
            }
            return false;
        }
        if (form.ApplySkin()) {
            return true;
        }
        TraceSkin("el skin no tiene todos los controles");
    } catch (const std::exception& e) {
        TraceSkin(std::string("excepcion: ") + e.what());
        *message = kMsgErrorLoadingSkin;
    }
    return false;
}

} // namespace

void LoadSkinAtStart(SkinControl& form, const std::function<void(int stringId)>& showMessage) {
    int message = 0;
    std::unique_ptr<plat::ResourceModule> file = LoadSettingFile(&message);
    if (message == 0 &&
        ApplyAtStart(form, file ? file.get() : ProgramModule(), file != nullptr, &message)) {
        LoadedSkinModule() = std::move(file);
        return;
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
