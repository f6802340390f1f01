#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "app/update/UpdateHost.h"
#include "platform/ui/MessageBox.h"

extern char** environ;

namespace updatetest {

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// update_server.py on 127.0.0.1, on a port of its own choosing; stopped with the object.
class UpdateServer {
public:
    // With `tls`, it speaks HTTPS with a certificate for 127.0.0.1 made for it (CertFile()).
    explicit UpdateServer(const std::string& dir, bool tls = false)
        : config_(dir + "/server.json"), log_(dir + "/server.log"), cert_(dir + "/cert.pem"),
          scheme_(tls ? "https" : "http") {
        SetFiles("{}");
        std::string ready = dir + "/server.port";
        std::vector<std::string> args{QUORVEX_PYTHON3, QUORVEX_UPDATE_SERVER,
                                      "--config",      config_,
                                      "--log",         log_,
                                      "--ready",       ready};
        if (tls) {
            std::string key = dir + "/key.pem";
            std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
                               "/CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                               key + " -out " + cert_ + " 2>/dev/null";
            if (std::system(make.c_str()) != 0) {
                return;
            }
            args.insert(args.end(), {"--tls", cert_, key});
        }
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, QUORVEX_PYTHON3, nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
            return;
        }
        for (int i = 0; i < 500 && port_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            port_ = ReadFile(ready);
        }
    }
    ~UpdateServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Ready() const { return !port_.empty(); }
    std::string BaseUrl() const { return scheme_ + "://127.0.0.1:" + port_ + "/"; }
    const std::string& CertFile() const { return cert_; }
    // The "files" object of the server's configuration, as JSON.
    void SetFiles(const std::string& json) { WriteFile(config_, "{\"files\": " + json + "}"); }
    // Every request so far, one JSON line each.
    std::string Log() const { return ReadFile(log_); }

private:
    std::string config_;
    std::string log_;
    std::string cert_;
    std::string scheme_;
    std::string port_;
    pid_t pid_ = 0;
};

// The login form's side, recorded: timers, message boxes (answered from a script) and the
// end of the program.
class FakeUpdateHost final : public UpdateHost {
public:
    std::vector<unsigned> timersSet;
    std::vector<unsigned> timersKilled;
    std::vector<std::string> messages;
    int answer = plat::kIdNo;
    int ended = 0;

    void SetTimer(unsigned id, unsigned) override { timersSet.push_back(id); }
    void KillTimer(unsigned id) override { timersKilled.push_back(id); }
    int ShowMessageText(const std::string& text, unsigned) override {
        messages.push_back(text);
        return answer;
    }
    void EndProgramForUpdate() override { ++ended; }
};

// Runs the GUI thread's queue until the condition holds (at most ten seconds).
template <typename Gui> bool RunUntil(Gui& gui, const std::function<bool()>& condition) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        gui.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace updatetest
