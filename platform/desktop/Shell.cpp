#include "platform/desktop/Shell.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/core/DebugOutput.h"

namespace plat {
namespace {

std::atomic<ShellSink*> g_sink{nullptr};

// Writes the failing call's errno to the report pipe and ends the child.
[[noreturn]] void ReportAndExit(int reportFd) {
    const int error = errno;
    ssize_t written;
    do {
        written = write(reportFd, &error, sizeof error);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// Double fork: the program is re-parented to init, so it is neither waited for nor left a
// zombie. A close-on-exec pipe carries the errno of a failed fork or exec back from the
// children; a successful exec closes it empty. Between fork and exec only async-signal-safe
// calls are made.
bool Spawn(const std::vector<std::string>& argv) {
    if (ShellSink* sink = g_sink.load()) {
        return sink->Run(argv);
    }
    if (argv.empty()) {
        return false;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        DebugOutput("Shell: !pipe2\n");
        return false;
    }
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        DebugOutput("Shell: !fork\n");
        return false;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild < 0) {
            ReportAndExit(report[1]);
        }
        if (grandchild == 0) {
            execvp(args[0], args.data());
            ReportAndExit(report[1]);
        }
        _exit(0);
    }
    close(report[1]);
    // Reaps the middle child. ECHILD (SIGCHLD ignored: the child reaped itself) ends the wait
    // as well; the pipe still tells what happened.
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got != 0) {
        DebugOutput(("Shell: !execvp " + argv[0] + ": " + std::strerror(error) + "\n").c_str());
        return false;
    }
    return true;
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
