#include "media/files/EndOfFileNotifier.h"

#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "media/base/EngineTrace.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

namespace {

using Lock = std::lock_guard<plat::CriticalSection>;

struct NotifierState {
    plat::CriticalSection lock;
    plat::AutoResetEvent event;
    EndOfFileTarget* target = nullptr;
    int32_t pending = 0;
    bool shuttingDown = false;
};

// The current generation; guarded by generationLock.
std::mutex generationLock;
std::shared_ptr<NotifierState> generation;

std::shared_ptr<NotifierState> Current() {
    std::lock_guard<std::mutex> guard(generationLock);
    return generation;
}

void CallHook(EndOfFileTarget* target, int32_t playId, bool transmit) {
    if (target == nullptr) {
        return;
    }
    if (transmit) {
        target->FireEndOfFileTX(playId);
    } else {
        target->FireEndOfFileRX(playId);
    }
}

void NotifierThread(std::shared_ptr<NotifierState> state, int32_t playId, bool receiveMark) {
    EndOfFileTarget* target = nullptr;
    {
        Lock guard(state->lock);
        if (!state->shuttingDown) {
            target = state->target;
        }
    }
    try {
        CallHook(target, playId, !receiveMark);
    } catch (...) {
        EngineTrace("EndOfFileNotifier: exception");
    }
    Lock guard(state->lock);
    state->pending -= 1;
    state->event.Set();
}

} // namespace

void EndOfFileNotifier::Initialise(EndOfFileTarget* target) {
    auto state = std::make_shared<NotifierState>();
    state->target = target;
    std::lock_guard<std::mutex> guard(generationLock);
    generation = std::move(state);
}

void EndOfFileNotifier::Shutdown() {
    std::shared_ptr<NotifierState> state = Current();
    if (!state) {
        return;
    }
    {
        Lock guard(state->lock);
        state->shuttingDown = true;
    }
    for (;;) {
        {
            Lock guard(state->lock);
            if (state->pending < 1) {
                state->target = nullptr;
                break;
            }
        }
        state->event.Wait(100);
    }
    std::lock_guard<std::mutex> guard(generationLock);
    if (generation == state) {
        generation.reset();
    }
}

bool EndOfFileNotifier::Notify(int32_t playId, bool receiveMark) {
    std::shared_ptr<NotifierState> state = Current();
    if (!state) {
        return false;
    }
    {
        Lock guard(state->lock);
        if (state->shuttingDown || state->target == nullptr) {
            return false;
        }
        state->pending += 1;
    }
    try {
        std::thread(NotifierThread, state, playId, receiveMark).detach();
        return true;
    } catch (const std::system_error&) {
        EngineTrace("EndOfFileNotifier: !CreateThread");
        Lock guard(state->lock);
        state->pending -= 1;
        state->event.Set();
        return false;
    }
}

void EndOfFileNotifier::FireNow(int32_t playId, bool transmitMark) {
    std::shared_ptr<NotifierState> state = Current();
    if (!state) {
        return;
    }
    EndOfFileTarget* target;
    {
        Lock guard(state->lock);
        target = state->shuttingDown ? nullptr : state->target;
    }
    CallHook(target, playId, transmitMark);
}

int EndOfFileNotifier::PendingCount() {
    std::shared_ptr<NotifierState> state = Current();
    if (!state) {
        return 0;
    }
    Lock guard(state->lock);
    return state->pending;
}

} // namespace tamsor
