#include "media/base/EngineTrace.h"

#include <atomic>

namespace tamsor {

namespace {
std::atomic<iTraceFile*> g_engineTraceLog{nullptr};
}

void SetEngineTraceLog(iTraceFile* log) {
    g_engineTraceLog.store(log, std::memory_order_release);
}

iTraceFile* EngineTraceLog() {
    return g_engineTraceLog.load(std::memory_order_acquire);
}

} // namespace tamsor
