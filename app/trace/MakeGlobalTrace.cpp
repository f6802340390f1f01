#include <cstdlib>
#include <string>

#include "app/trace/GlobalTrace.h"
#include "platform/store/Registry.h"

namespace {

TraceFile* g_traceObject = nullptr;

void CloseGlobalTrace() {
    plat::Registry::SetReportSink(nullptr);
    iTraceFile* self = g_traceObject;
    g_pTrace.compare_exchange_strong(self, nullptr);
    g_traceObject->Close();
}

// A settings hive that cannot be opened (and its recovery) is one line of the trace log.
void TraceRegistryReport(const std::string& line) {
    iTraceFile* log = g_pTrace.load();
    if (log) {
        TraceLogLock lock(log);
        log->Write(line.c_str());
        log->WriteTime();
        log->NewLine();
    }
}

} // namespace

TraceFile& MakeGlobalTrace() {
    g_traceObject = new TraceFile();
    plat::Registry::SetReportSink(TraceRegistryReport);
    std::atexit(CloseGlobalTrace);
    return *g_traceObject;
}
