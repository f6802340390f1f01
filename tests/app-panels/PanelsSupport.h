#pragma once
#include <dirent.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/phone/LoginLink.h"
#include "app/phone/PhoneState.h"
#include "app/resources/BuiltInModule.h"
#include "app/settings/SetupDlg.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/strings/StringTable.h"
#include "platform/store/Registry.h"
#include "platform/ui/Surface.h"
#include "skin/CForm.h"
#include "skin/SkinControl.h"
#include "skin/zel_Label.h"
#include "tests/skin/TestSkin.h"

// What the panel tests share: skin files (an identity: skin id, language 0, the header, and a
// small preview picture), a stand-in for the login form and its link, the `Skin` setting.
namespace panelstest {

inline TestSkin Identity(int32_t id, int32_t first = 7, int32_t second = 7) {
    TestSkin skin;
    skin.Header(first, second).Value(kSkinIdValueId, id);
    skin.Solid(kSkinPreviewId, 20, 40, 0xFF8040C0u);
    return skin;
}

// Skin `id` in a file as large as a skin may be, plus `more` bytes (a multiple of 512).
inline std::vector<uint8_t> AtTheByteBudget(int32_t id, size_t more = 0) {
    return Identity(id).PadTo(kMaxSkinFileBytes + more).Bytes();
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every name in a folder (hidden ones too), sorted.
inline std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The program's state the call window starts from: idle, opaque, the built-in skin, the string
// table, config and data under `home`; EndProgramState puts it back.
inline void StartProgramState(const std::string& home) {
    setenv("QUORVEX_HOME", home.c_str(), 1);
    g_PhoneState = PS_IDLE;
    g_FormAlpha = 255;
    zel_Label::SetStringLoader(LoadCString);
    g_SkinModule = ProgramModule();
    GetUiFontFace();
}
inline void EndProgramState() {
    g_SkinModule = nullptr;
    LoadedSkinModule().reset();
    unsetenv("QUORVEX_HOME");
}

// The `Skin` setting, -1 when absent.
inline int64_t SkinSetting(plat::Registry& registry) {
    plat::Registry::Key key;
    uint32_t type = 0, value = 0, size = 4;
    if (registry.OpenKey("Software\\Quorvex", &key) != plat::kErrorSuccess ||
        registry.QueryValue(key, "Skin", &type, &value, &size) != plat::kErrorSuccess) {
        return -1;
    }
    return value;
}

// Stands for the login form: a form that draws from the skin too. Records the skin id of each
// rebuild and fails (or throws) for the ids it is told to.
// Counts the forced update checks the settings dialog starts through it.
class OwnerForm final : public CForm, public SkinControl, public SettingsLinkSource {
public:
    OwnerForm() : CForm(1) {}
    bool OnInitDialog() override {
        CForm::OnInitDialog();
        return CreateBackBuffer(10, 10);
    }
    bool ApplySkin() override {
        rebuilds.push_back(GetModuleSkinValue(g_SkinModule, kSkinIdValueId));
        if (throwFor.count(rebuilds.back())) {
            throw std::runtime_error("rebuild");
        }
        return failFor.count(rebuilds.back()) == 0;
    }
    void Show(int) override {}
    SetupDlg::Links SettingsLinks() override {
        SetupDlg::Links links;
        links.isUpdateRunning = [] { return false; };
        links.startForcedUpdate = [this] { ++forcedUpdates; };
        return links;
    }
    int forcedUpdates = 0;
    std::vector<int32_t> rebuilds;
    std::set<int32_t> failFor;
    std::set<int32_t> throwFor;
};

class Login final : public LoginLink {
public:
    sipua::DialogUsageManager* GetDum() const override { return nullptr; }
    const std::string& GetSipServerAddress() const override { return text; }
    std::string GetUserName() const override { return "1001"; }
    const std::string& GetPublicHost() const override { return text; }
    void Logout() override {}
    void OnCancel() override {}
    std::string text = "127.0.0.2";
};

} // namespace panelstest
