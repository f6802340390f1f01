#include "platform/ui/testing/FakeWindowSystem.h"

#include <algorithm>
#include <cstring>

#include "platform/core/Clock.h"
#include "platform/ui/EventDelivery.h"
#include "platform/ui/VirtualKeys.h"

namespace plat {

// --- FakeWindow ---

FakeWindow::FakeWindow(FakeWindowSystem& system, WindowEvents& events, FakeWindow* owner)
    : system_(system), events_(events), owner_(owner), alive_(std::make_shared<bool>(true)) {
    std::weak_ptr<bool> alive = alive_;
    port_ = MessagePort::Open([this, alive](const WindowMessage& m) {
        if (!alive.expired()) {
            Deliver([&m](WindowEvents& e) { e.OnMessage(m); });
        }
    });
    system_.windows_.push_back(this);
    system_.zOrder_.push_back(this);
}

FakeWindow::~FakeWindow() {
    *alive_ = false;
    port_->Close();
    timers_.clear();
    due_.clear();
    if (system_.captureHolder_ == this) {
        system_.captureHolder_ = nullptr;
    }
    modalEnded_ = true;
    auto drop = [this](std::vector<FakeWindow*>& list) {
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    };
    drop(system_.windows_);
    drop(system_.zOrder_);
    for (FakeWindow* w : system_.windows_) {
        if (w->owner_ == this) {
            w->owner_ = nullptr;
        }
    }
}

template <typename F> void FakeWindow::Deliver(F&& message) {
    DeliverWindowMessage(alive_, events_, std::forward<F>(message));
}

void FakeWindow::DeliverMouse(const std::vector<MouseSequencer::Message>& messages) {
    DeliverMouseMessages(alive_, events_, messages);
}

void FakeWindow::Present(const Surface& image, uint8_t alpha, const Rect* changed) {
    ++presentCount_;
    lastAlpha_ = alpha;
    if (!image.IsValid()) {
        return;
    }
    lastChanged_ = changed ? *changed : Rect{0, 0, image.Width(), image.Height()};
    rect_.right = rect_.left + image.Width();
    rect_.bottom = rect_.top + image.Height();
    if (lastImage_.Width() != image.Width() || lastImage_.Height() != image.Height()) {
        lastImage_.Create(image.Width(), image.Height());
    }
    for (int y = 0; y < image.Height(); ++y) {
        std::memcpy(lastImage_.Row(y), image.Row(y), static_cast<size_t>(image.Width()) * 4);
    }
    lastImage_.MarkDirty();
}

void FakeWindow::Show(int command) {
    lastShow_ = command;
    switch (command) {
    case kSwHide:
        visible_ = false;
        mouse_.Reset();
        return;
    case kSwShowMinimized:
    case kSwMinimize:
    case kSwShowMinNoActive:
        minimized_ = true;
        break;
    case kSwRestore:
    case kSwShowNormal:
    case kSwShow:
        minimized_ = false;
        break;
    default:
        break;
    }
    visible_ = true;
    auto& z = system_.zOrder_;
    z.erase(std::remove(z.begin(), z.end(), this), z.end());
    z.push_back(this);
}

void FakeWindow::Move(int32_t x, int32_t y) {
    rect_ = rect_.Offset(x - rect_.left, y - rect_.top);
}

void FakeWindow::SetTimer(uint32_t id, uint32_t periodMs) {
    timers_[id] = std::max(periodMs, kMinTimerPeriodMs);
    due_[id] = TimeMs() + timers_[id];
}

void FakeWindow::KillTimer(uint32_t id) {
    timers_.erase(id);
    due_.erase(id);
}

void FakeWindow::SetCapture() {
    FakeWindow* previous = system_.captureHolder_;
    if (previous == this) {
        return;
    }
    system_.captureHolder_ = this;
    if (previous) {
        previous->Deliver([](WindowEvents& e) { e.OnCaptureChanged(); });
    }
}

void FakeWindow::ReleaseCapture() {
    if (system_.captureHolder_ != this) {
        return;
    }
    system_.captureHolder_ = nullptr;
    Deliver([](WindowEvents& e) { e.OnCaptureChanged(); });
}

bool FakeWindow::HasCapture() const {
    return system_.captureHolder_ == this;
}

Point FakeWindow::GetCursorPos() const {
    return system_.cursor_;
}

bool FakeWindow::IsUnderCursor() const {
    return system_.WindowUnderCursor() == this;
}

int FakeWindow::RunModal() {
    ++modalRuns_;
    if (pendingEnd_) {
        pendingEnd_ = false;
        return pendingResult_;
    }
    std::shared_ptr<bool> alive = alive_;
    inModal_ = true;
    modalEnded_ = false;
    modalResult_ = kModalAborted;
    if (system_.modalScript_) {
        auto script = system_.modalScript_;
        script(*this);
    }
    if (!*alive) {
        return kModalAborted;
    }
    inModal_ = false;
    return modalEnded_ ? modalResult_ : kModalAborted;
}

void FakeWindow::EndModal(int result) {
    if (inModal_ && !modalEnded_) {
        modalEnded_ = true;
        modalResult_ = result;
    } else if (!inModal_) {
        pendingEnd_ = true;
        pendingResult_ = result;
    }
}

std::vector<MouseSequencer::Message> FakeWindow::PointerAt(Point client, Point screen) {
    system_.cursor_ = screen;
    system_.NoteCursor();
    if (!pointerAway_ || !IsUnderCursor()) {
        return {};
    }
    pointerAway_ = false;
    return mouse_.Enter(client, screen, buttons_);
}

void FakeWindow::MoveMouse(Point client) {
    auto messages = PointerAt(client, {rect_.left + client.x, rect_.top + client.y});
    auto move = mouse_.Move(client, system_.cursor_, buttons_);
    messages.insert(messages.end(), move.begin(), move.end());
    DeliverMouse(messages);
}

void FakeWindow::Press(Point client) {
    auto messages = PointerAt(client, {rect_.left + client.x, rect_.top + client.y});
    const uint32_t before = buttons_;
    buttons_ |= kMkLButton;
    modalLoopsAtPress_ = ModalLoop::EndedCount();
    auto press = mouse_.Press(client, system_.cursor_, before, TimeMs());
    messages.insert(messages.end(), press.begin(), press.end());
    DeliverMouse(messages);
}

void FakeWindow::Release(Point client) {
    auto messages = PointerAt(client, {rect_.left + client.x, rect_.top + client.y});
    const uint32_t before = buttons_;
    buttons_ &= ~kMkLButton;
    if ((before & kMkLButton) && ModalLoop::EndedCount() != modalLoopsAtPress_) {
        return; // a modal loop opened by the press had the pointer: the release went to it
    }
    auto release = mouse_.Release(client, system_.cursor_, before);
    messages.insert(messages.end(), release.begin(), release.end());
    DeliverMouse(messages);
}

void FakeWindow::MoveMouseScreen(Point screen) {
    MoveMouse({screen.x - rect_.left, screen.y - rect_.top});
}

void FakeWindow::PressScreen(Point screen) {
    Press({screen.x - rect_.left, screen.y - rect_.top});
}

void FakeWindow::ReleaseScreen(Point screen) {
    Release({screen.x - rect_.left, screen.y - rect_.top});
}

void FakeWindow::KeyDown(uint32_t vk, uint32_t ch) {
    std::shared_ptr<bool> alive = alive_;
    bool consumed = false;
    Deliver([&](WindowEvents& e) { consumed = e.OnKeyDown(vk); });
    if (*alive && !consumed && ch != 0) {
        Deliver([&](WindowEvents& e) { e.OnChar(ch); });
    }
}

void FakeWindow::KeyUp(uint32_t vk) {
    Deliver([&](WindowEvents& e) { e.OnKeyUp(vk); });
}

bool FakeWindow::FireTimer(uint32_t id) {
    if (timers_.count(id) == 0) {
        return false;
    }
    due_[id] = TimeMs() + timers_[id];
    Deliver([id](WindowEvents& e) { e.OnTimer(id); });
    return true;
}

void FakeWindow::RequestClose() {
    Deliver([](WindowEvents& e) { e.OnCloseRequest(); });
}

void FakeWindow::BreakCapture() {
    if (system_.captureHolder_ == this) {
        system_.captureHolder_ = nullptr;
        Deliver([](WindowEvents& e) { e.OnCaptureChanged(); });
    }
}

// --- FakeWindowSystem ---

FakeWindowSystem::FakeWindowSystem() : previous_(SetWindowSystem(this)) {}

FakeWindowSystem::~FakeWindowSystem() {
    SetWindowSystem(previous_);
}

std::unique_ptr<Window> FakeWindowSystem::CreateWindow(WindowEvents& events, Window* owner) {
    return std::make_unique<FakeWindow>(*this, events, dynamic_cast<FakeWindow*>(owner));
}

size_t FakeWindowSystem::TimerCount() const {
    size_t n = 0;
    for (FakeWindow* w : windows_) {
        n += w->timers_.size();
    }
    return n;
}

int FakeWindowSystem::RunDueTimers() {
    const uint32_t now = TimeMs();
    std::vector<std::pair<FakeWindow*, uint32_t>> due;
    for (FakeWindow* w : windows_) {
        for (const auto& [id, at] : w->due_) {
            if (static_cast<int32_t>(now - at) >= 0) {
                due.emplace_back(w, id);
            }
        }
    }
    int ran = 0;
    for (const auto& [w, id] : due) {
        // An earlier run may have closed the window or killed or reset the timer.
        if (std::find(windows_.begin(), windows_.end(), w) == windows_.end()) {
            continue;
        }
        auto it = w->due_.find(id);
        if (it != w->due_.end() && static_cast<int32_t>(now - it->second) >= 0) {
            w->FireTimer(id);
            ++ran;
        }
    }
    return ran;
}

void FakeWindowSystem::NoteCursor() {
    FakeWindow* under = WindowUnderCursor();
    for (FakeWindow* w : windows_) {
        if (w != under) {
            w->pointerAway_ = true;
        }
    }
}

FakeWindow* FakeWindowSystem::WindowUnderCursor() const {
    if (foreignUnderCursor_) {
        return nullptr;
    }
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        if ((*it)->visible_ && (*it)->rect_.Contains(cursor_)) {
            return *it;
        }
    }
    return nullptr;
}

} // namespace plat
