#include "media/graph/NodeThread.h"

#include <mutex>

#include "media/base/EngineTrace.h"

namespace tamsor {

NodeThread::NodeThread(Node& node, const Rules& rules, std::atomic<bool>& running,
                       std::atomic<bool>& stopRequested, const std::atomic<bool>* busy)
    : node(node), rules(rules), running(running), stopRequested(stopRequested), busy(busy) {}

NodeThread::~NodeThread() {
    StopAndJoin();
}

void NodeThread::Proc() {
    bool setUp = false;
    try {
        running = true;
        startEvent.Set();
        node.ThreadEntered();
        setUp = true;
    } catch (...) {
        // The starter is released either way; the thread winds up without a pass.
        EngineTrace(rules.setUpException);
        startEvent.Set();
    }
    if (setUp) {
        try {
            node.ThreadLoop();
        } catch (...) {
            EngineTrace(rules.loopException);
        }
    }
    // Every way out winds the thread up and signals the stop event, so the node can be stopped
    // and started again.
    {
        std::lock_guard<plat::CriticalSection> state(stateMutex);
        running = false;
        try {
            node.ThreadStopped(handle, threadId);
        } catch (...) {
            EngineTrace(rules.windUpException);
        }
        handle = nullptr;
        threadId = 0;
    }
    stopEvent.Set();
}

void NodeThread::Reap() {
    std::unique_ptr<plat::Thread> done;
    {
        std::lock_guard<plat::CriticalSection> state(stateMutex);
        if (thread && handle == nullptr) {
            done = std::move(thread);
        }
    }
    if (done) {
        done->Join();
    }
}

int NodeThread::Start() {
    std::lock_guard<plat::CriticalSection> startStop(startStopMutex);
    std::unique_lock<plat::CriticalSection> state(stateMutex);
    if (running || (busy && *busy)) {
        return kAlreadyRunning;
    }
    Reap();
    if (handle != nullptr || threadId != 0) {
        return kStillRecorded;
    }
    startEvent.Reset();
    stopEvent.Reset();
    stopRequested = true;
    auto created = std::make_unique<plat::Thread>();
    if (!created->Create([this] { Proc(); }, threadName)) {
        threadId = 0;
        return rules.createFailed;
    }
    thread = std::move(created);
    handle = thread.get();
    threadId = NextAudioThreadId();

    int answer;
    try {
        answer = node.ThreadStarted(handle, threadId);
    } catch (...) {
        EngineTrace(rules.startedException);
        answer = -1;
    }
    int result = 0;
    if (answer != 0) {
        // The thread still runs once through its end, finding the stop request.
        result = rules.vetoed;
    } else {
        stopRequested = false;
    }
    // Opening the start gate cannot fail, so a failed resume never arises.
    thread->Resume();
    startEvent.Wait(plat::kInfinite);
    if (result != 0) {
        // The vetoed thread ends at once; wait for it, so a new start finds the node idle.
        state.unlock();
        stopEvent.Wait(plat::kInfinite);
        Reap();
    }
    return result;
}

int NodeThread::Stop() {
    {
        std::lock_guard<plat::CriticalSection> state(stateMutex);
        if (thread && thread->IsCurrent()) {
            // Asked from inside the thread (while another caller may be waiting for it with
            // the start-stop lock held): it ends after this pass.
            stopRequested = true;
            return 0;
        }
    }
    std::lock_guard<plat::CriticalSection> startStop(startStopMutex);
    bool wait = false;
    {
        std::lock_guard<plat::CriticalSection> state(stateMutex);
        if (running) {
            stopRequested = true;
            wait = true;
        }
    }
    // A thread that does not end within the wait is still inside its node; it is joined once
    // it has wound up (by the next start or stop, or StopAndJoin).
    if (wait) {
        stopEvent.Wait(rules.stopWaitMs);
    }
    Reap();
    return 0;
}

void NodeThread::StopAndJoin() {
    Stop();
    std::unique_ptr<plat::Thread> last;
    {
        std::lock_guard<plat::CriticalSection> state(stateMutex);
        last = std::move(thread);
    }
    if (last) {
        last->Resume();
        last->Join();
    }
}

} // namespace tamsor
