#include "sip/MasterProfile.h"

namespace sipua {

void MasterProfile::setDigestCredential(const std::string& realm, const std::string& user,
                                        const std::string& password) {
    for (auto& credential : credentials_) {
        if (credential.realm == realm) {
            credential.user = user;
            credential.password = password;
            return;
        }
    }
    credentials_.push_back({realm, user, password});
}

bool MasterProfile::getDigestCredential(const std::string& realm, DigestCredential* out) const {
    if (credentials_.empty()) {
        return false;
    }
    const DigestCredential* found = &credentials_.front();
    for (const auto& credential : credentials_) {
        if (credential.realm == realm) {
            found = &credential;
            break;
        }
    }
    *out = *found;
    out->realm = realm;
    return true;
}

} // namespace sipua
