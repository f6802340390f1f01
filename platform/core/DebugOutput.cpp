#include "platform/core/DebugOutput.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace plat {

bool DebugOutputEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("QUORVEX_DEBUG");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

void DebugOutput(const char* text) {
    if (!text || !DebugOutputEnabled()) {
        return;
    }
    size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0) {
            return;
        }
        text += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace plat
