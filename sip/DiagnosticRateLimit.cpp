#include "sip/DiagnosticRateLimit.h"

namespace sipua {

DiagnosticRateLimit::Verdict DiagnosticRateLimit::offer(uint32_t now) {
    if (!started_ || static_cast<uint32_t>(now - windowStart_) >= windowMs_) {
        started_ = true;
        windowStart_ = now;
        inWindow_ = 0;
    }
    Verdict verdict;
    if (inWindow_ >= perWindow_) {
        ++dropped_;
        return verdict;
    }
    ++inWindow_;
    verdict.pass = true;
    verdict.droppedBefore = dropped_;
    dropped_ = 0;
    return verdict;
}

} // namespace sipua
