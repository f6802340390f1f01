#include "app/strings/StringTable.h"

#include <algorithm>
#include <cstring>

#include "app/resources/BuiltInModule.h"
#include "app/trace/TraceFile.h"
#include "skin/SkinResources.h"

namespace {

constexpr char kMissingText[] = "***";

bool Lookup(int id, std::string* text) {
    if (id < 0 || id > 0xFFFF) {
        return false;
    }
    const auto sid = static_cast<uint32_t>(id);
    if (g_SkinModule && g_SkinModule->LoadString(sid, text)) {
        return true;
    }
    return ProgramModule()->LoadString(sid, text);
}

} // namespace

bool LoadCString(int id, std::string& text) {
    if (Lookup(id, &text)) {
        return true;
    }
    text = kMissingText;
    AppTrace("string no encontrado:", id);
    return false;
}

int LoadStringById(int id, char* buffer, int size) {
    std::string text;
    LoadCString(id, text);
    if (!buffer || size <= 0) {
        return 0;
    }
    size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
    // Never end inside a UTF-8 sequence.
    while (length > 0 && length < text.size() && (text[length] & 0xC0) == 0x80) {
        --length;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
