#include "platform/desktop/Shell.h"

#include <atomic>
#include <sys/wait.h>
#include <unistd.h>

namespace plat {
namespace {

std::atomic<ShellSink*> g_sink{nullptr};

// Double fork: the program is re-parented to init, so it is neither waited for nor left a
// zombie. Between fork and exec only async-signal-safe calls are made.
bool Spawn(const std::vector<std::string>& argv) {
    if (ShellSink* sink = g_sink.load()) {
        return sink->Run(argv);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) {
            execvp(args[0], args.data());
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool ShellOpen(const std::string& target) {
    return Spawn({"xdg-open", target});
}

bool StartProgram(const std::string& path, const std::vector<std::string>& args) {
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv);
}

ShellSink* SetShellSinkForTests(ShellSink* sink) {
    return g_sink.exchange(sink);
}

} // namespace plat
