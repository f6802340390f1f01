#include "app/settings/StoreLastPass.h"

#include "app/phone/RememberedPassword.h"
#include "platform/store/IniFile.h"

namespace {

constexpr char kSection[] = "General";
constexpr char kKey[] = "LastPass";
// More copies of the key than a file edited by hand would hold.
constexpr int kMaxCopies = 16;

} // namespace

bool StoreLastPass(plat::IniFile& ini, const std::string& password) {
    std::string stored = EncodeRememberedPassword(password);
    if (DecodeRememberedPassword(stored) != password) {
        return ForgetLastPass(ini);
    }
    return ini.WriteString(kSection, kKey, stored.c_str());
}

bool ForgetLastPass(plat::IniFile& ini) {
    // Each removal takes the first copy of the key; a later copy would be read in its place.
    const char missing[] = "\n";
    for (int i = 0; i < kMaxCopies && ini.GetString(kSection, kKey, missing) != missing; ++i) {
        if (!ini.WriteString(kSection, kKey, nullptr)) {
            return false;
        }
    }
    return true;
}
