#pragma once

namespace plat {

// The debugger output of the original platform: texts go to stderr, unchanged, when
// QUORVEX_DEBUG=1, and nowhere otherwise. Thread-safe; each call is one write.
void DebugOutput(const char* text);
bool DebugOutputEnabled();

} // namespace plat
