#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "media/api/TraceMessage.h"
#include "media/api/iTraceFile.h"
#include "platform/core/CriticalSection.h"

// The program's trace log, trace.txt in the data dir: every text goes to the file and to the
// debug output. Any thread of the program or of libTamsor may write; each message holds the
// lock from its first to its last write (see iTraceFile). Nothing is buffered.
//
// Threads: Lock/Unlock from any thread; Write, WriteTime and NewLine only between them.
// Close (or the destructor) takes the lock, so it waits for a message in progress; afterwards
// every write does nothing.
class TraceFile final : public iTraceFile {
public:
    static constexpr int64_t kMaxSize = 10 * 1024 * 1024; // cut back when larger than this
    static constexpr int64_t kKeptSize = 1024 * 1024;     // to its last mebibyte

    // Opens or creates the file, applies the size cap, writes the start banner with the
    // versions of the two binaries, and publishes itself as g_pTrace.
    TraceFile(const std::string& path, const std::string& programPath,
              const std::string& tamsorPath);
    // trace.txt in the data dir, this executable and libTamsor.so beside it.
    TraceFile();
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    void Lock() override;
    void Unlock() override;
    void WriteTime() override;
    void NewLine() override;
    void Write(const char* text) override;

    // Writes the end banner and closes the file; later calls and writes do nothing.
    void Close();

private:
    void CapSize();
    void WriteBanner(const char* opener, const char* closer, bool withVersions);
    void WriteRaw(const char* text);

    int fd_ = -1;
    plat::CriticalSection lock_;
    uint32_t startTime_;
    std::atomic<bool> closed_{false};
    std::string programPath_;
    std::string tamsorPath_;
};

// The process-wide trace log, or null when there is none.
extern std::atomic<iTraceFile*> g_pTrace;

// The module's file version as "a.b.c.d"; false (and an empty text) when it has none.
bool GetModuleVersionText(const std::string& modulePath, std::string* text);

// One message to the program's trace log.
inline void AppTrace(const char* text) {
    WriteTraceMessage(g_pTrace.load(), text);
}
inline void AppTrace(const char* text, int64_t value) {
    WriteTraceMessage(g_pTrace.load(), text, value);
}
