#include "app/panels/zel_SldSkins.h"

#include <unistd.h>

#include <cmath>
#include <string>

#include "app/resources/BuiltInModule.h"
#include "app/trace/TraceFile.h"
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"

namespace {

void TraceSkins(const std::string& text) {
    AppTrace(("CMakeCall::zel_SldSkins: " + text).c_str());
}

} // namespace

bool CMakeCall::zel_SldSkins::Create(zel_Parent* parent) {
    m_Strip.CreateFromSkin(this, kStrip);
    m_Use.CreateFromSkin(this, kUse, 3);
    m_Install.CreateFromSkin(this, kInstall, 3);
    m_Scroll.CreateFromSkin(this, kScroll, true);
    FillSkinList();
    return CreateFromSkin(parent, kPanel, 1);
}

void CMakeCall::zel_SldSkins::FillSkinList() {
    m_Strip.RemoveAll();
    m_Strip.AddSkin(ProgramModule(), false, g_UiFontFace);
    for (const std::string& path : SkinFolder::Default().List()) {
        // Read as data and given up again: the strip keeps only its own picture.
        plat::ResourceModule module;
        if (!module.LoadFromFile(path, kMaxSkinFileBytes)) {
            TraceSkins("no se pudo cargar " + path + ": " + module.Error());
            continue;
        }
        uint32_t id = 0;
        SkinFolder::IdFromFileName(path.substr(path.rfind('/') + 1), &id);
        if (GetModuleSkinValue(&module, kSkinIdValueId) != static_cast<int32_t>(id)) {
            TraceSkins("el id del skin no es el de su nombre: " + path);
            continue;
        }
        m_Strip.AddSkin(&module, false, g_UiFontFace);
    }
    UpdateScrollRange();
}

bool CMakeCall::zel_SldSkins::InstallSkin(const std::string& file) {
    uint32_t id = 0;
    std::string target;
    if (SkinFolder::Default().Copy(file, &id, &target) != SkinFolder::Install::Installed) {
        return false;
    }
    plat::ResourceModule module;
    if (!module.LoadFromFile(target, kMaxSkinFileBytes) ||
        !m_Strip.AddSkin(&module, true, g_UiFontFace)) {
        TraceSkins("el skin no se puede mostrar, se borra " + target);
        module.Free();
        unlink(target.c_str());
        return false;
    }
    UpdateScrollRange();
    return true;
}

void CMakeCall::zel_SldSkins::UpdateScrollRange() {
    m_Scroll.SetRange(0, m_Strip.GetScrollWidth());
    m_Strip.SetScrollPos(static_cast<int32_t>(std::lround(m_Scroll.GetPos())));
}

void CMakeCall::zel_SldSkins::Notify(uint16_t id, int32_t value) {
    if (id == kScroll) {
        m_Strip.SetScrollPos(static_cast<int32_t>(std::lround(m_Scroll.GetPos())));
        return;
    }
    zel_Slide::Notify(id, value);
}
