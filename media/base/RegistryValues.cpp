#include "media/base/RegistryValues.h"

#include <locale.h>

#include <cstdlib>
#include <cstring>

namespace tamsor {

namespace {

constexpr uint32_t kTextBufferSize = 1000;

// The text a stored value holds: its bytes up to the first zero, never beyond its size.
std::string TextOf(const char* data, uint32_t size) {
    const void* zero = std::memchr(data, 0, size);
    return std::string(data, zero ? static_cast<const char*>(zero) - data : size);
}

// A caller's text as a C string would see it: up to the first zero byte.
std::string_view CText(std::string_view text) {
    size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

bool EqualsTrueNoCase(const std::string& text) {
    static const char kTrue[] = "true";
    if (text.size() != 4) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != kTrue[i]) {
            return false;
        }
    }
    return true;
}

// Stores a text as a string value, its terminating zero included.
long StoreText(plat::Registry& root, plat::Registry::Key key, std::string_view name,
               std::string_view text) {
    std::string bytes(CText(text));
    return root.SetValue(key, name, plat::kRegSz, bytes.c_str(),
                         static_cast<uint32_t>(bytes.size() + 1));
}

long StoreDword(plat::Registry& root, plat::Registry::Key key, std::string_view name,
                uint32_t value) {
    unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return root.SetValue(key, name, plat::kRegDword, bytes, sizeof(bytes));
}

// Reads a text value, storing `def` when it is missing or longer than the reader takes.
// Returns the text read, or `def` on any failure.
std::string ReadText(plat::Registry& root, std::string_view key, std::string_view name,
                     std::string_view def) {
    plat::Registry::Key k;
    if (root.CreateKey(key, &k) != plat::kErrorSuccess) {
        return std::string(CText(def));
    }
    char buf[kTextBufferSize];
    uint32_t size = sizeof(buf);
    uint32_t type = 0;
    if (root.QueryValue(k, name, &type, buf, &size) == plat::kErrorSuccess) {
        return TextOf(buf, size);
    }
    StoreText(root, k, name, def);
    return std::string(CText(def));
}

} // namespace

bool GetRegistryBool(plat::Registry& root, std::string_view key, std::string_view name, bool def) {
    return EqualsTrueNoCase(ReadText(root, key, name, def ? "true" : "false"));
}

std::string GetRegistryString(plat::Registry& root, std::string_view key, std::string_view name,
                              std::string_view def) {
    return ReadText(root, key, name, def);
}

uint32_t GetRegistryDword(plat::Registry& root, std::string_view key, std::string_view name,
                          uint32_t def) {
    plat::Registry::Key k;
    if (root.CreateKey(key, &k) != plat::kErrorSuccess) {
        return def;
    }
    unsigned char buf[4] = {0, 0, 0, 0};
    uint32_t size = sizeof(buf);
    uint32_t type = 0;
    if (root.QueryValue(k, name, &type, buf, &size) != plat::kErrorSuccess) {
        StoreDword(root, k, name, def);
        return def;
    }
    return static_cast<uint32_t>(buf[0]) | static_cast<uint32_t>(buf[1]) << 8 |
           static_cast<uint32_t>(buf[2]) << 16 | static_cast<uint32_t>(buf[3]) << 24;
}

double ParseRegistryDouble(std::string_view text) {
    // The settings are written with '.' as the decimal point whatever the user's locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!cLocale) {
        return 0.0;
    }
    std::string s(CText(text));
    return strtod_l(s.c_str(), nullptr, cLocale);
}

double GetRegistryDouble(plat::Registry& root, std::string_view key, std::string_view name,
                         std::string_view def) {
    return ParseRegistryDouble(ReadText(root, key, name, def));
}

long SetRegistryString(plat::Registry& root, std::string_view key, std::string_view name,
                       std::string_view text) {
    plat::Registry::Key k;
    if (root.CreateKey(key, &k) != plat::kErrorSuccess) {
        return kRegOpenFailed;
    }
    if (StoreText(root, k, name, text) != plat::kErrorSuccess) {
        return kRegStoreFailed;
    }
    return 0;
}

long SetRegistryDword(plat::Registry& root, std::string_view key, std::string_view name,
                      uint32_t value) {
    plat::Registry::Key k;
    if (root.CreateKey(key, &k) != plat::kErrorSuccess) {
        return kRegOpenFailed;
    }
    if (StoreDword(root, k, name, value) != plat::kErrorSuccess) {
        return kRegStoreFailed;
    }
    return static_cast<long>(value);
}

bool GetRegistryBool(std::string_view key, std::string_view name, bool def) {
    return GetRegistryBool(plat::Registry::CurrentUser(), key, name, def);
}

std::string GetRegistryString(std::string_view key, std::string_view name, std::string_view def) {
    return GetRegistryString(plat::Registry::CurrentUser(), key, name, def);
}

uint32_t GetRegistryDword(std::string_view key, std::string_view name, uint32_t def) {
    return GetRegistryDword(plat::Registry::CurrentUser(), key, name, def);
}

double GetRegistryDouble(std::string_view key, std::string_view name, std::string_view def) {
    return GetRegistryDouble(plat::Registry::CurrentUser(), key, name, def);
}

long SetRegistryString(std::string_view key, std::string_view name, std::string_view text) {
    return SetRegistryString(plat::Registry::CurrentUser(), key, name, text);
}

long SetRegistryDword(std::string_view key, std::string_view name, uint32_t value) {
    return SetRegistryDword(plat::Registry::CurrentUser(), key, name, value);
}

} // namespace tamsor
