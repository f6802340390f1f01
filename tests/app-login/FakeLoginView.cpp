#include "tests/app-login/FakeLoginView.h"

#include "app/trace/TraceFile.h"

void FakeCallWindow::Destroy() {
    if (destroyed) {
        ++*destroyed;
    }
    if (slot_ && *slot_ == this) {
        *slot_ = nullptr;
    }
    delete this;
}

FakeLoginView::~FakeLoginView() = default;

void FakeLoginView::Run(CUserLogin& login, uint32_t ms, plat::FakeClock& clock) {
    const uint32_t end = clock.NowMs() + ms;
    for (;;) {
        // Fire the due timers, lowest id first, each once per pass.
        std::vector<unsigned> due;
        for (const auto& [id, timer] : timers) {
            if (static_cast<int32_t>(clock.NowMs() - timer.due) >= 0) {
                due.push_back(id);
            }
        }
        for (unsigned id : due) {
            auto it = timers.find(id);
            if (it == timers.end()) {
                continue; // killed by an earlier one
            }
            it->second.due = clock.NowMs() + it->second.period;
            login.OnTimer(id);
        }
        if (!due.empty()) {
            continue; // firing may have moved the clock past other timers
        }
        if (static_cast<int32_t>(end - clock.NowMs()) <= 0) {
            return;
        }
        clock.Advance(1);
    }
}

bool FakeLoginView::RunUntil(CUserLogin& login, const std::function<bool()>& done, uint32_t ms) {
    const uint32_t start = plat::TimeMs();
    while (!done()) {
        if (plat::TimeMs() - start > ms) {
            return false;
        }
        std::vector<unsigned> due;
        for (const auto& [id, timer] : timers) {
            if (static_cast<int32_t>(plat::TimeMs() - timer.due) >= 0) {
                due.push_back(id);
            }
        }
        for (unsigned id : due) {
            auto it = timers.find(id);
            if (it != timers.end()) {
                it->second.due = plat::TimeMs() + it->second.period;
                login.OnTimer(id);
            }
        }
        if (due.empty()) {
            plat::SleepMs(1);
        }
    }
    return true;
}

TraceCapture::TraceCapture() {
    g_pTrace.store(this);
}
TraceCapture::~TraceCapture() {
    g_pTrace.store(nullptr);
}

bool TraceCapture::Has(const std::string& text) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const auto& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}
