#include "app/update/UpdateSettings.h"

#include "app/phone/DeploymentSettings.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"

std::string UpdateSettings::BaseUrl(const std::string& setting) {
    if (setting.empty()) {
        return "";
    }
    std::string url = setting.find("://") == std::string::npos ? "http://" + setting : setting;
    if (url.back() != '/') {
        url += '/';
    }
    return url;
}

UpdateSettings UpdateSettings::Load() {
    UpdateSettings settings;
    plat::IniFile deployment(DeploymentSettings::FilePath());
    settings.baseUrl = BaseUrl(deployment.GetString("service", "update_server", ""));
    settings.versionFile = plat::JoinPath(plat::DataDir(), "version.txt");
    settings.downloadDir = plat::JoinPath(plat::DataDir(), "downloads");
    settings.settingsIni = plat::JoinPath(plat::ConfigDir(), "quorvix.ini");
    settings.programPath = plat::ExecutablePath();
    settings.caFile = deployment.GetString("service", "update_ca_file", "");
    return settings;
}
