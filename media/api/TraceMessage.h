#pragma once
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "media/api/iTraceFile.h"

// Writers of whole trace-log messages, for both binaries. Each takes the log pointer once, so
// a log that disappears between the steps of a message can never leave its lock held, and does
// nothing for a null log.

inline void WriteTraceMessage(iTraceFile* log, const char* text) {
    if (!log) {
        return;
    }
    log->Lock();
    log->Write(text);
    log->NewLine();
    log->Unlock();
}

// Text, a formatted number, the time stamp, the line end.
inline void WriteTraceNumber(iTraceFile* log, const char* text, const char* number) {
    if (!log) {
        return;
    }
    log->Lock();
    log->Write(text);
    log->Write(number);
    log->WriteTime();
    log->NewLine();
    log->Unlock();
}

// Text, the number in signed decimal, the time stamp, the line end.
inline void WriteTraceMessage(iTraceFile* log, const char* text, int64_t value) {
    char number[24];
    std::snprintf(number, sizeof(number), "%" PRId64, value);
    WriteTraceNumber(log, text, number);
}

// As above with the number in unsigned decimal.
inline void WriteTraceMessageUnsigned(iTraceFile* log, const char* text, uint64_t value) {
    char number[24];
    std::snprintf(number, sizeof(number), "%" PRIu64, value);
    WriteTraceNumber(log, text, number);
}

// Holds a log's lock for a multi-line message; does nothing for a null log.
class TraceLogLock {
public:
    explicit TraceLogLock(iTraceFile* log) : log_(log) {
        if (log_) {
            log_->Lock();
        }
    }
    ~TraceLogLock() {
        if (log_) {
            log_->Unlock();
        }
    }
    TraceLogLock(const TraceLogLock&) = delete;
    TraceLogLock& operator=(const TraceLogLock&) = delete;

private:
    iTraceFile* log_;
};
