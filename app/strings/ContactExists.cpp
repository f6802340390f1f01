#include "app/strings/ContactExists.h"

#include <string>
#include <strings.h>
#include <vector>

#include "platform/store/Registry.h"

namespace {

constexpr char kContactsKey[] = "Software\\Quorvex\\Contacts";

// A string value without the terminating NULs the writer may have stored.
bool ReadText(plat::Registry& registry, plat::Registry::Key key, const char* name,
              std::string* text) {
    uint32_t type = 0;
    uint32_t size = 0;
    if (registry.QueryValue(key, name, &type, nullptr, &size) != plat::kErrorSuccess ||
        type != plat::kRegSz) {
        return false;
    }
    text->assign(size, '\0');
    if (registry.QueryValue(key, name, nullptr, text->data(), &size) != plat::kErrorSuccess) {
        return false;
    }
    text->resize(size);
    while (!text->empty() && text->back() == '\0') {
        text->pop_back();
    }
    return text->find('\0') == std::string::npos;
}

} // namespace

bool ContactExists(const char* name) {
    if (!name) {
        return false;
    }
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key contacts;
    if (registry.OpenKey(kContactsKey, &contacts) != plat::kErrorSuccess) {
        return false;
    }
    std::vector<std::string> slots;
    if (registry.EnumKeys(contacts, &slots) != plat::kErrorSuccess) {
        return false;
    }
    for (const std::string& slot : slots) {
        plat::Registry::Key contact;
        if (registry.OpenKey(std::string(kContactsKey) + "\\" + slot, &contact) !=
            plat::kErrorSuccess) {
            continue;
        }
        std::string stored;
        if (ReadText(registry, contact, "name", &stored) && strcasecmp(stored.c_str(), name) == 0) {
            return true;
        }
    }
    return false;
}
