#include "app/panels/SkinSwitcher.h"

#include <exception>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/trace/TraceFile.h"
#include "platform/store/Registry.h"
#include "skin/SkinResources.h"

namespace {

void TraceSwitch(const std::string& text) {
    AppTrace(("CMakeCall::SwitchSkin: " + text).c_str());
}

// The module becomes the current skin with its font face.
void MakeCurrent(plat::ResourceModule* module) {
    g_SkinModule = module;
    GetUiFontFace();
}

} // namespace

bool WriteSkinSetting(uint32_t id) {
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    long result = registry.CreateKey("SOFTWARE\\Quorvex", &key);
    if (result == plat::kErrorSuccess) {
        if (id != 0) {
            result = registry.SetValue(key, "Skin", plat::kRegDword, &id, sizeof id);
        } else if (result = registry.DeleteValue(key, "Skin"); result == plat::kErrorFileNotFound) {
            result = plat::kErrorSuccess;
        }
    }
    if (result != plat::kErrorSuccess) {
        AppTrace("CMakeCall: no se pudo guardar Skin, error ", result);
        return false;
    }
    return true;
}

SkinSwitcher::SkinSwitcher(Hooks hooks, SkinFolder folder)
    : m_Hooks(std::move(hooks)), m_Folder(std::move(folder)) {}

void SkinSwitcher::Show(bool shown) {
    if (m_Hooks.show) {
        m_Hooks.show(shown);
    }
}

bool SkinSwitcher::RebuildForms() {
    for (SkinControl* form : m_Hooks.forms) {
        try {
            if (!form->ApplySkin()) {
                return false;
            }
        } catch (const std::exception& e) {
            TraceSwitch(std::string("excepcion: ") + e.what());
            return false;
        }
    }
    return true;
}

SkinSwitcher::Outcome SkinSwitcher::SwitchSkin(uint32_t id) {
    if (g_SkinModule &&
        GetModuleSkinValue(g_SkinModule, kSkinIdValueId) == static_cast<int32_t>(id)) {
        return Outcome::Unchanged;
    }
    const std::string path = m_Folder.PathOf(id);
    auto module = std::make_unique<plat::ResourceModule>();
    bool loaded = module->LoadFromFile(path, kMaxSkinFileBytes);
    if (!loaded) {
        TraceSwitch("no se pudo cargar " + path + ": " + module->Error());
    } else {
        std::span<const uint8_t> header;
        if (module->Find(plat::kResourceRcdata, kSkinHeaderId, &header) ==
                plat::ResourceModule::Lookup::BadData ||
            CheckSkinHeader(module.get()) != SkinHeaderCheck::Accepted) {
            TraceSwitch("encabezado no aceptado en " + path);
            loaded = false;
        } else if (const SkinContents contents = SkinFolder::CheckContents(*module);
                   contents.verdict != SkinContents::Verdict::Accepted) {
            TraceSwitch(DescribeSkinContents(contents) + ": " + path);
            loaded = false;
        }
    }
    if (!loaded) {
        if (m_Hooks.message) {
            m_Hooks.message(kMsgCannotLoadSkin);
        }
        return Outcome::Refused;
    }

    plat::ResourceModule* old = g_SkinModule;
    MakeCurrent(module.get());
    Show(false);
    if (RebuildForms()) {
        // Every form draws from the new module now: the old file (if any) can go.
        LoadedSkinModule() = std::move(module);
        Show(true);
        WriteSkinSetting(id);
        return Outcome::Switched;
    }
    TraceSwitch("el skin no tiene todos los controles: " + path);
    Outcome outcome = Outcome::RolledBack;
    MakeCurrent(old);
    if (!RebuildForms()) {
        TraceSwitch("el skin anterior tampoco se pudo aplicar: vuelve el incorporado");
        MakeCurrent(ProgramModule());
        if (!RebuildForms()) {
            TraceSwitch("el skin incorporado no tiene todos los controles");
        }
        LoadedSkinModule().reset();
        WriteSkinSetting(0);
        outcome = Outcome::BuiltInBack;
    }
    Show(true);
    // No form points into the new module any more.
    module.reset();
    if (m_Hooks.message) {
        m_Hooks.message(kMsgCannotLoadSkin);
    }
    return outcome;
}

SkinSwitcher::Outcome SkinSwitcher::RevertToBuiltInSkin() {
    if (g_SkinModule == ProgramModule()) {
        return Outcome::Unchanged;
    }
    Show(false);
    WriteSkinSetting(0);
    MakeCurrent(ProgramModule());
    if (!RebuildForms()) {
        TraceSwitch("el skin incorporado no tiene todos los controles");
    }
    Show(true);
    LoadedSkinModule().reset();
    return Outcome::Switched;
}
