#include "tests/sip/KamailioProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// True once something holds 127.0.0.2:<port>.
bool PortTaken(int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
    bool taken = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 && errno == EADDRINUSE;
    close(fd);
    return taken;
}

} // namespace

KamailioProcess::KamailioProcess() {
    const char* binary = "/usr/sbin/kamailio";
    struct stat st;
    if (stat(binary, &st) != 0 || PortTaken(5082) || PortTaken(5060)) {
        return;
    }
    char tmpl[] = "/tmp/qvkamailioXXXXXX";
    if (!mkdtemp(tmpl)) {
        return;
    }
    dir_ = tmpl;
    std::vector<std::string> args = {binary, "-f", QUORVEX_KAMAILIO_CFG,
                                     "-DD",  "-E", "-Y",
                                     dir_,   "-P", dir_ + "/kamailio.pid",
                                     "-w",   dir_, "-m",
                                     "32",   "-M", "4"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string log = dir_ + "/log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int err = posix_spawn(&pid, binary, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        return;
    }
    pid_ = pid;
    for (int i = 0; i < 100; ++i) {
        if (PortTaken(5082) && PortTaken(5060)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // children up
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
}

void KamailioProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        for (int i = 0; i < 40 && (PortTaken(5082) || PortTaken(5060)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

KamailioProcess::~KamailioProcess() {
    Stop();
    if (!dir_.empty()) {
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) {
            // a leftover temp dir is harmless
        }
    }
}

std::string KamailioProcess::Log() const {
    std::ifstream in(dir_ + "/log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int KamailioProcess::Count(const std::string& text) const {
    std::string log = Log();
    int n = 0;
    for (size_t pos = log.find(text); pos != std::string::npos; pos = log.find(text, pos + 1)) {
        ++n;
    }
    return n;
}
