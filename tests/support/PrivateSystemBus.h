// A system bus of the test's own: Debian's dbus-daemon on a socket in a temporary folder,
// published as $DBUS_SYSTEM_BUS_ADDRESS for the object's life, and on it the test's fake
// logind (fake_login1.py, run by python3 with its GObject bindings), which the test drives and
// questions. ok() is false when a part is missing or does not start.
// Test thread only. Needs QUORVEX_FAKE_LOGIN1, the script's path.
#pragma once

#include <gio/gio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PeerProcess.h"

class PrivateSystemBus {
public:
    PrivateSystemBus() {
        char tmpl[] = "/tmp/qvbusXXXXXX";
        dir_ = mkdtemp(tmpl) ? tmpl : "";
        const std::string address = "unix:path=" + dir_ + "/socket";
        std::ofstream(dir_ + "/bus.conf")
            << "<busconfig><type>system</type><listen>" << address
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
               "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
               "</policy></busconfig>\n";
        daemon_ = peerprocess::Spawn(
            "/usr/bin/dbus-daemon",
            {"dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork", "--nopidfile"},
            dir_ + "/log");
        if (dir_.empty() || daemon_ <= 0 || !WaitForFile(dir_ + "/socket")) {
            return;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        logind_ = peerprocess::Spawn("/usr/bin/python3",
                                     {"python3", QUORVEX_FAKE_LOGIN1, dir_ + "/login1.ready"},
                                     dir_ + "/login1.log");
        if (logind_ <= 0 || !WaitForFile(dir_ + "/login1.ready")) {
            return;
        }
        bus_ = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
    }
    ~PrivateSystemBus() {
        if (bus_ != nullptr) {
            g_dbus_connection_close_sync(bus_, nullptr, nullptr);
            g_object_unref(bus_);
        }
        StopLogind();
        if (daemon_ > 0) {
            kill(daemon_, SIGTERM);
            waitpid(daemon_, nullptr, 0);
        }
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        peerprocess::RemoveDir(dir_);
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool ok() const { return bus_ != nullptr; }
    void StopLogind() {
        if (logind_ > 0) {
            kill(logind_, SIGTERM);
            waitpid(logind_, nullptr, 0);
            logind_ = -1;
        }
    }

    // The fake logind's controls and record (see fake_login1.py).
    bool Suspend() { return Ask("Suspend", "(b)") == "(true,)"; }
    void Resume() { Ask("Resume", nullptr); }
    // What it saw, in order; `timed`: each with its time (microseconds since the epoch) first.
    std::vector<std::string> Events(bool timed = false) {
        std::vector<std::string> events;
        // (['<us> <event>', ...],): the events hold no quotes.
        const std::string list = Ask("Events", "(as)");
        for (size_t at = list.find('\''); at != std::string::npos;) {
            const size_t end = list.find('\'', at + 1);
            const std::string event = list.substr(at + 1, end - at - 1);
            events.push_back(timed ? event : event.substr(event.find(' ') + 1));
            at = list.find('\'', end + 1);
        }
        return events;
    }
    std::string Log() const {
        std::ifstream logind(dir_ + "/login1.log");
        return peerprocess::ReadLog(dir_) + std::string(std::istreambuf_iterator<char>(logind), {});
    }

private:
    static bool WaitForFile(const std::string& path) {
        for (int i = 0; i < 500 && access(path.c_str(), F_OK) != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return access(path.c_str(), F_OK) == 0;
    }
    // The reply printed as GVariant text; empty when there is none.
    std::string Ask(const char* method, const char* reply) {
        GVariant* result = bus_ == nullptr
                               ? nullptr
                               : g_dbus_connection_call_sync(
                                     bus_, "org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.quorvex.test.Login1", method, nullptr,
                                     reply ? G_VARIANT_TYPE(reply) : nullptr,
                                     G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (result == nullptr) {
            return {};
        }
        gchar* text = g_variant_print(result, FALSE);
        std::string printed = text;
        g_free(text);
        g_variant_unref(result);
        return printed;
    }

    std::string dir_;
    pid_t daemon_ = -1;
    pid_t logind_ = -1;
    GDBusConnection* bus_ = nullptr;
};
