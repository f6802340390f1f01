#pragma once
#include <cstdint>
#include <string>

namespace sipua {

// Lets at most `perWindow` lines through in each window of `windowMs` milliseconds; the lines
// of a window beyond that are counted, and the first line let through after them is preceded
// by one line that says how many were left out. Times are plat::TimeMs() values and may wrap.
//
// Threads: not locked; the caller serialises.
class DiagnosticRateLimit {
public:
    DiagnosticRateLimit(unsigned perWindow, uint32_t windowMs)
        : perWindow_(perWindow), windowMs_(windowMs) {}

    // What to write for one line arriving at `now`: nothing (dropped), the line, or the
    // note on the dropped lines followed by the line.
    struct Verdict {
        bool pass = false;
        unsigned droppedBefore = 0; // > 0: write the note first
    };
    Verdict offer(uint32_t now);

private:
    unsigned perWindow_;
    uint32_t windowMs_;
    bool started_ = false;
    uint32_t windowStart_ = 0;
    unsigned inWindow_ = 0;
    unsigned dropped_ = 0;
};

} // namespace sipua
