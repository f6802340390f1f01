#pragma once
// libre's headers, for the adapter's own .cpp files only. They need the fixed-width types and
// the socket types declared first, and they must not leak into the adapter's public headers.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/types.h>

#ifndef HAVE_INET6
#define HAVE_INET6 1
#endif
extern "C" {
#include <re.h>
// re_dbg.h wants a module name and level for its own macros, which the adapter does not use.
#define DEBUG_MODULE "quorvex"
#define DEBUG_LEVEL 0
#include <re_dbg.h>
}

namespace sipua {

inline std::string ToString(const struct pl& p) {
    return p.p && p.l ? std::string(p.p, p.l) : std::string();
}

inline struct pl ToPl(std::string_view text) {
    struct pl p;
    p.p = text.data();
    p.l = text.size();
    return p;
}

} // namespace sipua
