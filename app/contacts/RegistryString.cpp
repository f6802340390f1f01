#include "app/contacts/RegistryString.h"

bool ReadRegistryString(plat::Registry& registry, plat::Registry::Key key, std::string_view name,
                        std::string* text) {
    uint32_t type = 0;
    uint32_t size = 0;
    if (registry.QueryValue(key, name, &type, nullptr, &size) != plat::kErrorSuccess ||
        type != plat::kRegSz) {
        return false;
    }
    std::string data(size, '\0');
    // The value may change between the two reads (another process): a grown value answers
    // kErrorMoreData, and the read is simply unsuccessful.
    if (registry.QueryValue(key, name, &type, data.data(), &size) != plat::kErrorSuccess ||
        type != plat::kRegSz) {
        return false;
    }
    data.resize(size);
    size_t nul = data.find('\0');
    if (nul != std::string::npos) {
        data.resize(nul);
    }
    *text = std::move(data);
    return true;
}

long WriteRegistryString(plat::Registry& registry, plat::Registry::Key key, std::string_view name,
                         std::string_view text) {
    std::string data(text);
    return registry.SetValue(key, name, plat::kRegSz, data.c_str(),
                             static_cast<uint32_t>(data.size() + 1));
}
