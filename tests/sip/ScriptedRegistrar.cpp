#include "tests/sip/ScriptedRegistrar.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

ScriptedRegistrar::ScriptedRegistrar(const std::vector<std::string>& listen,
                                     const std::string& mode, int expires,
                                     const std::string& realm) {
    char tmpl[] = "/tmp/qvregistrarXXXXXX";
    if (!mkdtemp(tmpl)) {
        return;
    }
    dir_ = tmpl;
    std::vector<std::string> args = {
        "python3",   std::string(QUORVEX_TEST_SCRIPTS) + "/scripted_registrar.py",
        "--log",     dir_ + "/log",
        "--ready",   dir_ + "/ready",
        "--mode",    mode,
        "--expires", std::to_string(expires),
        "--realm",   realm};
    for (const auto& address : listen) {
        args.push_back("--listen");
        args.push_back(address);
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "python3", nullptr, nullptr, argv.data(), environ) != 0) {
        return;
    }
    pid_ = pid;
    struct stat st;
    // Up to 20 s: on a loaded machine python alone can take seconds to start.
    for (int i = 0; i < 400; ++i) {
        if (stat((dir_ + "/ready").c_str(), &st) == 0) {
            return;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1; // it could not bind
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

ScriptedRegistrar::~ScriptedRegistrar() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        std::remove((dir_ + "/log").c_str());
        std::remove((dir_ + "/ready").c_str());
        rmdir(dir_.c_str());
    }
}

std::vector<ScriptedRegistrar::Datagram> ScriptedRegistrar::Received() const {
    std::vector<Datagram> out;
    std::ifstream in(dir_ + "/log", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream head(line);
        std::string marker;
        Datagram d;
        size_t length = 0;
        if (!(head >> marker >> d.source >> d.destination >> length) || marker != "@@") {
            break;
        }
        d.text.resize(length);
        if (!in.read(d.text.data(), static_cast<std::streamsize>(length))) {
            break;
        }
        out.push_back(d);
    }
    return out;
}

std::vector<ScriptedRegistrar::Datagram>
ScriptedRegistrar::Requests(const std::string& method) const {
    std::vector<Datagram> out;
    for (const auto& d : Received()) {
        if (d.text.rfind(method + " ", 0) == 0) {
            out.push_back(d);
        }
    }
    return out;
}

std::string ScriptedRegistrar::Header(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            break;
        }
        size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
            size_t start = line.find_first_not_of(' ', colon + 1);
            return start == std::string::npos ? "" : line.substr(start);
        }
    }
    return "";
}

std::vector<ScriptedRegistrar::Datagram>
ScriptedRegistrar::WaitForRequests(const std::string& method, size_t count, int ms) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto found = Requests(method);
        if (found.size() >= count || std::chrono::steady_clock::now() > end) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
