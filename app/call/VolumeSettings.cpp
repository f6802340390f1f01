#include "app/call/VolumeSettings.h"

#include <algorithm>
#include <string>

#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"

namespace {

plat::IniFile VolumeFile() {
    return plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvix.ini"));
}

} // namespace

int ReadVolume(const char* key) {
    return std::clamp(VolumeFile().GetInt("vol", key, 50), 0, 100);
}

bool WriteVolume(const char* key, int value) {
    if (!VolumeFile().WriteString("vol", key, std::to_string(value).c_str())) {
        AppTrace(
            (std::string("WriteVolume: no se pudo escribir quorvix.ini [vol] ") + key).c_str());
        return false;
    }
    return true;
}
