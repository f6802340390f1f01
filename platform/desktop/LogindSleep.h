#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/desktop/SleepInhibitor.h"

namespace plat {

// systemd-logind on the system bus (org.freedesktop.login1): its sleep notices and its sleep
// inhibitors. logind signals PrepareForSleep(true) before the computer sleeps and
// PrepareForSleep(false) after it woke; the handler gets each on the GUI thread, in order. An
// inhibitor is a file descriptor that logind hands out (Inhibit("sleep", "quorvex", why,
// "delay" or "block")); closing it lets go. The descriptors are close-on-exec, so a program
// started from here does not keep the computer awake.
//
// Threads: Connect, Take, Release and the destructor on the GUI thread; Connect waits for
// GDBus's own connecting thread, and cancels it at its time limit. A listener thread of
// its own runs a private GLib main context that receives the signals and posts them to the GUI
// thread (plat::PostToGuiThread); a posted notice reaches the handler only while this object
// lives. The descriptors are touched by the GUI thread only.
class LogindSleep final : public SleepInhibitor {
public:
    using Handler = std::function<void(bool sleeping)>;

    // Connects to the system bus ($DBUS_SYSTEM_BUS_ADDRESS, else the standard socket) and
    // listens for the sleep notices. Null, with the reason in *error, when there is no system
    // bus, or none that answers within 2 s, or no logind on it that answers within 2 s more.
    static std::unique_ptr<LogindSleep> Connect(Handler handler, std::string* error);
    ~LogindSleep() override;
    LogindSleep(const LogindSleep&) = delete;
    LogindSleep& operator=(const LogindSleep&) = delete;

    bool Take(Mode mode, const std::string& why, std::string* error) override;
    void Release(Mode mode) override;

private:
    struct Impl;
    explicit LogindSleep(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace plat
