#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "media/graph/AudioGraph.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"
#include "platform/core/Thread.h"

namespace tamsor {

// The thread of one graph node, for sinks and sources alike: created held at a start gate, the
// node's start hook (which may veto) while it waits, the start handshake, the node's passes, the
// wind-up with the stop hook, the stop request and the join. What differs between a sink's
// thread and a source's (result codes, how long a stop waits, trace texts) is in Rules.
//
// Threads:
// - Start and Stop: the owner's control thread. startStopMutex is held by both for their whole
//   run (it also serialises joining the thread); stateMutex guards thread, handle and id and is
//   taken after startStopMutex. Stop may also be called from inside the node's own thread: it
//   then only asks the thread to end after this pass.
// - Node::ThreadStarted runs on the starting thread under stateMutex before the new thread
//   runs; ThreadEntered and ThreadLoop run on the node's thread; ThreadStopped runs on the
//   node's thread under stateMutex as its last work.
// - The running and stop flags belong to the node (they carry its own names) and are atomic:
//   the thread and callers read them without a lock; the stop flag is written under stateMutex
//   except by the thread itself.
class NodeThread {
public:
    // The node's side of its thread.
    class Node {
    public:
        // On the starting thread before the new thread runs; non-zero vetoes the start.
        virtual int ThreadStarted(AudioThreadHandle handle, uint32_t threadId) = 0;
        // On the new thread, after the start handshake and before the first pass.
        virtual void ThreadEntered() {}
        // The passes, until the stop flag is set. An exception that leaves it is traced with
        // Rules::loopException and the thread winds up.
        virtual void ThreadLoop() = 0;
        // On the node's thread under stateMutex, as its last work; the result is not used.
        virtual int ThreadStopped(AudioThreadHandle handle, uint32_t threadId) = 0;

    protected:
        ~Node() = default;
    };

    struct Rules {
        const char* threadName;
        int createFailed;    // creating the thread failed
        int vetoed;          // the start hook answered non-zero
        uint32_t stopWaitMs; // how long Stop waits for the thread (plat::kInfinite: for ever)
        // Trace-log texts for exceptions at each step of the thread.
        const char* startedException;
        const char* setUpException;
        const char* loopException;
        const char* windUpException;
    };
    // Results of Start shared by every node.
    static constexpr int kAlreadyRunning = -10;
    static constexpr int kStillRecorded = -20;

    // `running` and `stopRequested` are the node's flags; `busy` (optional) is another started
    // state of the node that keeps its thread from starting (a sink started for pushes).
    NodeThread(Node& node, const Rules& rules, std::atomic<bool>& running,
               std::atomic<bool>& stopRequested, const std::atomic<bool>* busy = nullptr);
    // Stops and joins a thread that is still there.
    ~NodeThread();
    NodeThread(const NodeThread&) = delete;
    NodeThread& operator=(const NodeThread&) = delete;

    // 0, kAlreadyRunning, kStillRecorded, Rules::createFailed or Rules::vetoed. A vetoed thread
    // still runs once through its wind-up; Start returns once it has ended.
    int Start();
    // Asks the thread to end and waits for it (at most Rules::stopWaitMs); always 0.
    int Stop();
    // Stops and joins whatever thread there is; for destructors.
    void StopAndJoin();

    // The node's state lock, which its other started states share.
    plat::CriticalSection& StateMutex() { return stateMutex; }
    // The name the next thread is given in place of Rules::threadName (a text that lives as
    // long as the node); call while no thread runs.
    void SetThreadName(const char* name) { threadName = name; }

private:
    void Proc();
    // Joins a thread that has wound up (handle cleared); call with startStopMutex held.
    void Reap();

    Node& node;
    const Rules rules;
    const char* threadName = rules.threadName;
    std::atomic<bool>& running;
    std::atomic<bool>& stopRequested;
    const std::atomic<bool>* busy;

    std::unique_ptr<plat::Thread> thread;
    AudioThreadHandle handle = nullptr;
    uint32_t threadId = 0;
    plat::AutoResetEvent startEvent;
    plat::AutoResetEvent stopEvent;
    plat::CriticalSection stateMutex;
    plat::CriticalSection startStopMutex;
};

} // namespace tamsor
