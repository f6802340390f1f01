#include "platform/core/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <system_error>

namespace plat {

Thread::~Thread() {
    Resume();
    Join();
}

bool Thread::Create(std::function<void()> body, std::string name) {
    if (thread_.joinable() || !body) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(gateLock_);
        gateOpen_ = false;
        tid_ = 0;
    }
    try {
        thread_ = std::thread([this, body = std::move(body), name = std::move(name)] {
            if (!name.empty()) {
                pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
            }
            {
                std::unique_lock<std::mutex> lock(gateLock_);
                tid_ = gettid();
                gateCond_.notify_all();
                gateCond_.wait(lock, [this] { return gateOpen_; });
            }
            body();
            // The kernel may give this id to another thread from now on.
            std::lock_guard<std::mutex> guard(gateLock_);
            tid_ = -1;
        });
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock<std::mutex> lock(gateLock_);
    gateCond_.wait(lock, [this] { return tid_ != 0; });
    return true;
}

void Thread::Resume() {
    {
        std::lock_guard<std::mutex> guard(gateLock_);
        gateOpen_ = true;
    }
    gateCond_.notify_all();
}

bool Thread::Start(std::function<void()> body, std::string name) {
    if (!Create(std::move(body), std::move(name))) {
        return false;
    }
    Resume();
    return true;
}

void Thread::Join() {
    if (!thread_.joinable()) {
        return;
    }
    if (IsCurrent()) {
        thread_.detach();
        return;
    }
    thread_.join();
}

bool Thread::SetPriority(ThreadPriority priority) {
    if (!thread_.joinable()) {
        return false;
    }
    pthread_t handle = thread_.native_handle();
    if (priority == ThreadPriority::TimeCritical) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
        if (pthread_setschedparam(handle, SCHED_FIFO, &param) == 0) {
            return true;
        }
        // Refused (no permission): stay an ordinary thread.
        sched_param normal{};
        pthread_setschedparam(handle, SCHED_OTHER, &normal);
        return false;
    }
    sched_param normal{};
    if (pthread_setschedparam(handle, SCHED_OTHER, &normal) != 0) {
        return false;
    }
    // Higher priorities are a lower nice value of this one thread, which an unprivileged
    // process may be refused.
    int nice = priority == ThreadPriority::Normal        ? 0
               : priority == ThreadPriority::AboveNormal ? -5
                                                         : -10;
    pid_t tid;
    {
        std::lock_guard<std::mutex> guard(gateLock_);
        tid = tid_;
    }
    if (tid <= 0) {
        return false; // the body has returned
    }
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

} // namespace plat
