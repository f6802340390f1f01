#include "tests/sip/KamailioProcess.h"
#include "tests/support/PeerProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

KamailioProcess::KamailioProcess(const std::vector<std::string>& defines) {
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
    for (const std::string& define : defines) {
        args.push_back("-A");
        args.push_back(define);
    }
    pid_t pid = peerprocess::Spawn(binary, args, dir_ + "/log");
    if (pid <= 0) {
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
    peerprocess::RemoveDir(dir_);
}

std::string KamailioProcess::Log() const {
    return peerprocess::ReadLog(dir_);
}

int KamailioProcess::Count(const std::string& text) const {
    return peerprocess::Occurrences(Log(), text);
}
