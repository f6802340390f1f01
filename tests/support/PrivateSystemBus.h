// A system bus of the test's own: Debian's dbus-daemon on a socket in a temporary folder,
// published as $DBUS_SYSTEM_BUS_ADDRESS for the object's life, and on it the test's fake
// logind (fake_login1.py, run by python3 with its GObject bindings), which the test drives by
// signals and questions through its record of events. The daemon can be stopped, so that the
// bus takes connections and answers none. ok() is false when a part is missing or does not
// start. Test thread only. Needs QUORVEX_FAKE_LOGIN1, the script's path.
#pragma once

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
        if (dir_.empty() || daemon_ <= 0 ||
            !Within([&] { return access((dir_ + "/socket").c_str(), F_OK) == 0; })) {
            return;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        logind_ = peerprocess::Spawn("/usr/bin/python3",
                                     {"python3", QUORVEX_FAKE_LOGIN1, dir_ + "/events"},
                                     dir_ + "/login1.log");
        ok_ = logind_ > 0 && Within([&] {
                  std::ifstream in(dir_ + "/events");
                  std::string first;
                  return std::getline(in, first) && first.find(" ready") != std::string::npos;
              });
    }
    ~PrivateSystemBus() {
        StopLogind();
        if (daemon_ > 0) {
            kill(daemon_, SIGCONT);
            kill(daemon_, SIGTERM);
            waitpid(daemon_, nullptr, 0);
        }
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        peerprocess::RemoveDir(dir_);
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool ok() const { return ok_; }
    void StopLogind() {
        if (logind_ > 0) {
            kill(logind_, SIGTERM);
            waitpid(logind_, nullptr, 0);
            logind_ = -1;
        }
    }

    // Stops the bus's daemon (SIGSTOP): it keeps taking connections and answers none.
    void Freeze() { kill(daemon_, SIGSTOP); }

    // Asks the fake logind for a suspend; whether it began one (false: refused or no answer).
    bool Suspend() { return Answer(SIGUSR1) == "prepare"; }
    void Resume() { Answer(SIGUSR2); }
    // What it saw, in order; `timed`: each with its time (microseconds since the epoch) first.
    std::vector<std::string> Events(bool timed = false) const {
        std::vector<std::string> events;
        std::ifstream in(dir_ + "/events");
        std::string line;
        while (std::getline(in, line) && !in.eof()) { // a line not yet ended is left out
            const std::string event = line.substr(line.find(' ') + 1);
            if (event != "ready") {
                events.push_back(timed ? line : event);
            }
        }
        return events;
    }
    std::string Log() const {
        std::ifstream logind(dir_ + "/login1.log");
        return peerprocess::ReadLog(dir_) + std::string(std::istreambuf_iterator<char>(logind), {});
    }

private:
    template <typename Done> static bool Within(Done done) {
        for (int i = 0; i < 500 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
    // Sends `signal` and waits for the answer, the next event recorded; empty when none comes.
    std::string Answer(int signal) {
        const size_t before = Events().size();
        std::vector<std::string> events;
        if (logind_ > 0 && kill(logind_, signal) == 0) {
            Within([&] { return (events = Events()).size() > before; });
        }
        return events.size() > before ? events[before] : "";
    }

    std::string dir_;
    pid_t daemon_ = -1;
    pid_t logind_ = -1;
    bool ok_ = false;
};
