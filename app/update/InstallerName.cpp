#include "app/update/InstallerName.h"

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name[0] == '.') {
        return false;
    }
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '-';
        if (!plain) {
            return false;
        }
    }
    return true;
}
