#pragma once
#include <mutex>

namespace plat {

// A recursive lock: the thread that holds it may enter it again. Usable with std::lock_guard
// and std::unique_lock, so every holder releases it when an exception unwinds.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }

    // BasicLockable / Lockable names for the standard guards.
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

using CriticalSectionLock = std::lock_guard<CriticalSection>;

} // namespace plat
