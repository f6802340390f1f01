#pragma once
#include <atomic>
#include <cstdint>

namespace tamsor {

// Trace level masks handed with each component diagnostic.
constexpr uint32_t TRACE_FAILURE = 0x10000;
constexpr uint32_t TRACE_STATE = 0x80000;
constexpr uint32_t TRACE_ENTRY = 0x100000;
constexpr uint32_t TRACE_LOCKS = 0x200000;
constexpr uint32_t TRACE_DETAIL = 0x400000;

// Trace identity of every media-engine object: "<Class>:<address in hex>" and a level mask
// read from the registry. Diagnostics handed to Trace() are discarded; what a person should
// read goes to the program's trace log instead (EngineTrace.h).
// The name is set by the constructor; the level may be reloaded from any thread that starts a
// component, so it is atomic.
class TraceComponent {
public:
    static constexpr int kMaxNameLength = 63;

    TraceComponent() = default;
    virtual ~TraceComponent() = default;
    TraceComponent(const TraceComponent&) = delete;
    TraceComponent& operator=(const TraceComponent&) = delete;

    // Reloads the level; the default does nothing. Classes with a tracing value override it.
    virtual int LoadTraceLevel() { return 0; }

    void SetComponentName(const char* name);
    const char* GetComponentName() const { return componentName_; }
    void SetTraceLevel(uint32_t level) { traceLevel_.store(level, std::memory_order_relaxed); }
    uint32_t GetTraceLevel() const { return traceLevel_.load(std::memory_order_relaxed); }

    // The component tracer: takes a level mask and a printf-style text and writes nothing.
    void Trace(uint32_t /*mask*/, const char* /*format*/, ...) const {}

protected:
    // Sets the name to "<className>:<object address in lower-case hex>".
    void SetComponentNameFor(const char* className, const void* object);
    // Reads "AllComponents" under the tracing key and, when it is 0, the class's own value
    // (default 0x100000); the result becomes the level. Returns 0.
    int LoadTraceLevelFrom(const char* valueName);

private:
    std::atomic<uint32_t> traceLevel_{0};
    char componentName_[kMaxNameLength + 1] = {};
};

} // namespace tamsor
