#include "app/trace/GlobalTrace.h"

#include <cstdlib>

namespace {

TraceFile* g_traceObject = nullptr;

void CloseGlobalTrace() {
    iTraceFile* self = g_traceObject;
    g_pTrace.compare_exchange_strong(self, nullptr);
    g_traceObject->Close();
}

TraceFile& MakeGlobalTrace() {
    g_traceObject = new TraceFile();
    std::atexit(CloseGlobalTrace);
    return *g_traceObject;
}

} // namespace

TraceFile& g_Trace = MakeGlobalTrace();
