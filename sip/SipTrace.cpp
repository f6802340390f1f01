#include "sip/SipTrace.h"

#include <atomic>

namespace sipua {
namespace {
std::atomic<TraceSink> g_sink{nullptr};
}

void SetTraceSink(TraceSink sink) {
    g_sink.store(sink);
}

void Trace(const char* text) {
    TraceSink sink = g_sink.load();
    if (sink) {
        sink(text);
    }
}

} // namespace sipua
