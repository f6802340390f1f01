#pragma once
#include <cstdint>

#include "media/api/TraceMessage.h"

namespace tamsor {

// The media engine's copy of the program's trace-log pointer (may be null), set by
// GetRTPInterface and read by every component that writes to the trace log.
void SetEngineTraceLog(iTraceFile* log);
iTraceFile* EngineTraceLog();

// One message to the engine's trace log (nothing when there is none).
inline void EngineTrace(const char* text) {
    WriteTraceMessage(EngineTraceLog(), text);
}
inline void EngineTrace(const char* text, int64_t value) {
    WriteTraceMessage(EngineTraceLog(), text, value);
}

} // namespace tamsor
