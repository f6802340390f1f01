#include "app/dialogs/DeploymentPages.h"

#include "app/phone/DeploymentSettings.h"
#include "platform/store/IniFile.h"

DeploymentPages DeploymentPages::Load() {
    plat::IniFile ini(DeploymentSettings::FilePath());
    return {ini.GetString("service", "licence_page", ""),
            ini.GetString("service", "signup_page", ""), ini.GetString("service", "web_site", "")};
}
