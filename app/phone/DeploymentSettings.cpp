#include "app/phone/DeploymentSettings.h"

#include <cstdlib>
#include <sys/stat.h>

#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"

std::string DeploymentSettings::FilePath() {
    const char* over = std::getenv("QUORVEX_DEPLOYMENT");
    if (over && *over) {
        return over;
    }
    return plat::JoinPath(plat::ProgramDir(), "deployment.ini");
}

DeploymentSettings DeploymentSettings::Load() {
    return LoadFrom(FilePath());
}

DeploymentSettings DeploymentSettings::LoadFrom(const std::string& path) {
    DeploymentSettings settings;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        AppTrace(("DeploymentSettings: no existe " + path).c_str());
        return settings;
    }
    plat::IniFile ini(path);
    settings.sipServerHost = ini.GetString("service", "sip_server", "");
    settings.outboundProxyHost = ini.GetString("service", "outbound_proxy", "");
    settings.sipBindAddress = ini.GetString("service", "sip_bind_address", "0.0.0.0");
    if (settings.sipBindAddress.empty()) {
        settings.sipBindAddress = "0.0.0.0";
    }
    if (settings.sipServerHost.empty()) {
        AppTrace(("DeploymentSettings: falta sip_server en " + path).c_str());
    }
    if (settings.outboundProxyHost.empty()) {
        AppTrace(("DeploymentSettings: falta outbound_proxy en " + path).c_str());
    }
    return settings;
}
