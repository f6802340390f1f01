#include "platform/desktop/SoundServer.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace plat {
namespace {

std::atomic<SoundServer*> g_installed{nullptr};

const char* Noun(SoundServer::Direction direction) {
    return direction == SoundServer::Direction::Output ? "sink" : "source";
}

std::string TrimLine(const std::string& text) {
    size_t end = text.find_first_of("\r\n");
    return text.substr(0, end);
}

} // namespace

bool PactlSoundServer::Run(const std::vector<std::string>& args, std::string* out) {
    const char* over = std::getenv("QUORVEX_PACTL");
    std::vector<std::string> argv{over != nullptr && *over != '\0' ? over : "pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& arg : argv) {
        raw.push_back(arg.data());
    }
    raw.push_back(nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return false;
    }
    out->clear();
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || out->size() > (1u << 20)) {
            break;
        }
        out->append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PactlSoundServer::GetDefault(Direction direction, std::string* name) {
    std::string out;
    if (!Run({std::string("get-default-") + Noun(direction)}, &out)) {
        return false;
    }
    *name = TrimLine(out);
    return !name->empty();
}

bool PactlSoundServer::ListDevices(Direction direction, std::vector<std::string>* names) {
    std::string out;
    if (!Run({"list", "short", std::string(Noun(direction)) + "s"}, &out)) {
        return false;
    }
    // One device a line: index, name, driver, ... separated by tabs.
    names->clear();
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        size_t first = line.find('\t');
        if (first == std::string::npos) {
            continue;
        }
        size_t second = line.find('\t', first + 1);
        names->push_back(line.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                            : second - first - 1));
    }
    return true;
}

bool PactlSoundServer::SetDefault(Direction direction, const std::string& name) {
    std::string out;
    return Run({std::string("set-default-") + Noun(direction), name}, &out);
}

SoundServer& CurrentSoundServer() {
    static PactlSoundServer pactl;
    SoundServer* installed = g_installed.load();
    return installed != nullptr ? *installed : pactl;
}

SoundServer* SetSoundServer(SoundServer* server) {
    return g_installed.exchange(server);
}

} // namespace plat
