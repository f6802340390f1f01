#include "tests/e2e/BaresipProcess.h"
#include "tests/support/PeerProcess.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

BaresipProcess::BaresipProcess(const Options& options) : ctrl_(options.ctrl) {
    char tmpl[] = "/tmp/qvbaresipXXXXXX";
    if (!mkdtemp(tmpl)) {
        return;
    }
    dir_ = tmpl;
    std::string script = QUORVEX_E2E_DIR "/baresip-peer.sh";
    std::vector<std::string> args = {
        "/bin/sh",     script,         "--dir",          dir_,          "--user",
        options.user,  "--password",   options.password, "--registrar", options.registrar,
        "--listen",    options.listen, "--ctrl",         options.ctrl,  "--answer",
        options.answer};
    if (options.echo) {
        args.push_back("--echo");
    } else if (!options.play.empty()) {
        args.insert(args.end(), {"--play", options.play});
    } else {
        args.insert(args.end(), {"--tone", options.tone});
    }
    pid_t pid = peerprocess::Spawn("/bin/sh", args, dir_ + "/log");
    if (pid <= 0) {
        return;
    }
    pid_ = pid;
    registered_ = WaitForLog("200 OK", 5000);
}

BaresipProcess::~BaresipProcess() {
    Stop();
    if (!std::getenv("QUORVEX_KEEP_E2E")) {
        peerprocess::RemoveDir(dir_);
    }
}

void BaresipProcess::Stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    for (int i = 0; i < 60; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string BaresipProcess::Log() const {
    return peerprocess::ReadLog(dir_);
}

bool BaresipProcess::WaitForLog(const std::string& text, int ms, int count) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (peerprocess::Occurrences(Log(), text) >= count) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool BaresipProcess::Command(const std::string& command, const std::string& params) {
    size_t colon = ctrl_.rfind(':');
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(std::atoi(ctrl_.c_str() + colon + 1)));
    inet_pton(AF_INET, ctrl_.substr(0, colon).c_str(), &to.sin_addr);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    bool ok = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0) {
        std::string json =
            "{\"command\":\"" + command + "\",\"params\":\"" + params + "\",\"token\":\"qv\"}";
        std::string netstring = std::to_string(json.size()) + ":" + json + ",";
        if (send(fd, netstring.data(), netstring.size(), 0) ==
            static_cast<ssize_t>(netstring.size())) {
            pollfd p{fd, POLLIN, 0};
            char reply[512];
            ok = poll(&p, 1, 2000) == 1 && recv(fd, reply, sizeof(reply), 0) > 0;
        }
    }
    close(fd);
    return ok;
}

std::vector<std::string> BaresipProcess::Recordings(const std::string& kind) const {
    std::vector<std::string> files;
    DIR* d = opendir(dir_.c_str());
    if (!d) {
        return files;
    }
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.rfind("dump-", 0) == 0 && name.find("-" + kind + ".wav") != std::string::npos) {
            files.push_back(dir_ + "/" + name);
        }
    }
    closedir(d);
    return files;
}
