#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <sys/types.h>

namespace plat {

enum class ThreadPriority { Normal, AboveNormal, Highest, TimeCritical };

// A thread whose body waits at a start gate until Resume(), in place of a thread created
// suspended: the creator can finish setting up (priority, bookkeeping) before the body runs.
// Create, Resume, SetPriority and Join are called by the owning thread; the body runs on the
// new thread. The destructor resumes and joins a thread that is still running.
class Thread {
public:
    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread held at the gate. Returns false (and runs nothing) when a thread
    // cannot be created or this object already has one that was not joined.
    bool Create(std::function<void()> body, std::string name = {});
    // Opens the gate.
    void Resume();
    // Create followed by Resume.
    bool Start(std::function<void()> body, std::string name = {});
    // Waits for the body to return; a no-op when there is no thread or when called from the
    // thread itself (it is then detached, so nothing waits on itself).
    void Join();

    bool Joinable() const { return thread_.joinable(); }
    bool IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

    // Best effort. TimeCritical asks for real-time scheduling, which is only granted where the
    // process is permitted; when it is refused the thread stays at normal priority and false
    // is returned, so the caller can trace the failure. Never turns a thread into a loop that
    // could run without sleeping.
    bool SetPriority(ThreadPriority priority);

private:
    std::thread thread_;
    std::mutex gateLock_;
    std::condition_variable gateCond_;
    bool gateOpen_ = false;
    pid_t tid_ = 0; // kernel id of the thread once Create returns; -1 after the body returned
};

} // namespace plat
