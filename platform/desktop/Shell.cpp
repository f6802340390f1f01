#include "platform/desktop/Shell.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "platform/core/DebugOutput.h"
#include "platform/ui/GtkRuntime.h"
#include "platform/ui/GuiThread.h"

namespace plat {
namespace {

std::atomic<ShellSink*> g_sink{nullptr};
std::atomic<int> g_openerWaitMs{kOpenerWaitMs};

// What the children report through the pipe: a failed start (value: errno), then, when the
// middle child waits for the program, its wait status or that it still runs.
struct Report {
    enum Kind : int32_t { kNotStarted = 1, kExited, kStillRunning };
    int32_t kind = 0;
    int32_t value = 0;
};

void WriteReport(int fd, Report::Kind kind, int value) {
    const Report report{kind, value};
    ssize_t written;
    do {
        written = write(fd, &report, sizeof report);
    } while (written < 0 && errno == EINTR);
}

// What became of a started program.
struct Outcome {
    bool started = false;
    int error = 0;       // errno of the failed start
    bool waited = false; // its status was waited for
    bool exited = false; // it ended within the wait; `status` is its wait status
    int status = 0;
};

// A started program whose outcome is still to be read: the middle child and the reading end
// of the report pipe (-1 when nothing was started; `outcome` then says why).
struct Launch {
    pid_t middle = -1;
    int reportFd = -1;
    Outcome outcome;
};

// Milliseconds of the monotonic clock; async-signal-safe.
int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// The middle child: waits for the program at most `waitMs`, reports, ends. Only
// async-signal-safe calls.
[[noreturn]] void WaitAndReport(pid_t program, int reportFd, int waitMs) {
    const int64_t end = NowMs() + waitMs;
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(program, &status, WNOHANG);
        if (got == program) {
            WriteReport(reportFd, Report::kExited, status);
            _exit(0);
        }
        if ((got < 0 && errno != EINTR) || NowMs() >= end) {
            WriteReport(reportFd, Report::kStillRunning, 0);
            _exit(0);
        }
        const timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

// Double fork: the program is re-parented to init, so it is never left a zombie. A
// close-on-exec pipe carries the errno of a failed fork or exec back from the children; a
// successful exec closes the program's end, so the pipe says nothing more of it. With
// `waitMs` >= 0 the middle child also waits that long for the program and reports its wait
// status. The program's environment and PATH are this thread's at the call. Between fork and
// exec only async-signal-safe calls are made.
Launch Start(const std::vector<std::string>& argv, int waitMs) {
    Launch launch;
    if (argv.empty()) {
        launch.outcome.error = EINVAL;
        return launch;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> environment = UserEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        launch.outcome.error = errno;
        DebugOutput("Shell: !pipe2\n");
        return launch;
    }
    const pid_t child = fork();
    if (child < 0) {
        launch.outcome.error = errno;
        close(report[0]);
        close(report[1]);
        DebugOutput("Shell: !fork\n");
        return launch;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        // An ignored SIGCHLD would reap the program before its status is read, and would stay
        // ignored in it across exec.
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigaction(SIGCHLD, &dfl, nullptr);
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            WriteReport(report[1], Report::kNotStarted, errno);
            _exit(127);
        }
        if (grandchild == 0) {
            execvpe(args[0], args.data(), envp.data());
            WriteReport(report[1], Report::kNotStarted, errno);
            _exit(127);
        }
        if (waitMs >= 0) {
            WaitAndReport(grandchild, report[1], waitMs);
        }
        _exit(0);
    }
    close(report[1]);
    launch.middle = child;
    launch.reportFd = report[0];
    launch.outcome.started = true;
    return launch;
}

// Reads the children's reports until the middle child's last word (or, when it does not wait,
// until both have let go of the pipe), then reaps the middle child.
Outcome Finish(Launch launch, const std::string& program) {
    Outcome& outcome = launch.outcome;
    if (launch.reportFd < 0) {
        return outcome;
    }
    Report got;
    for (;;) {
        const ssize_t n = read(launch.reportFd, &got, sizeof got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n != static_cast<ssize_t>(sizeof got)) {
            break;
        }
        if (got.kind == Report::kNotStarted && outcome.started) {
            outcome.started = false;
            outcome.error = got.value;
        } else if (got.kind == Report::kExited || got.kind == Report::kStillRunning) {
            outcome.waited = true;
            outcome.exited = got.kind == Report::kExited;
            outcome.status = got.value;
            break;
        }
    }
    close(launch.reportFd);
    // ECHILD (SIGCHLD ignored: the child reaped itself) ends the wait as well; the pipe told
    // what happened.
    while (waitpid(launch.middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!outcome.started) {
        DebugOutput(
            ("Shell: !execvp " + program + ": " + std::strerror(outcome.error) + "\n").c_str());
    }
    return outcome;
}

// Whether the opener handed the page on; says why not in the debug output.
bool Opened(const Outcome& outcome, const std::string& target, int waitMs) {
    if (!outcome.started) {
        return false;
    }
    if (!outcome.waited) {
        DebugOutput(("Shell: xdg-open " + target + ": no status came back\n").c_str());
        return false;
    }
    if (!outcome.exited) {
        DebugOutput(("Shell: xdg-open " + target + " still runs after " + std::to_string(waitMs) +
                     " ms; it shows the page itself\n")
                        .c_str());
        return true;
    }
    if (WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0) {
        return true;
    }
    DebugOutput(("Shell: xdg-open " + target +
                 (WIFEXITED(outcome.status)
                      ? " exited with status " + std::to_string(WEXITSTATUS(outcome.status))
                      : " was ended by signal " + std::to_string(WTERMSIG(outcome.status))) +
                 "\n")
                    .c_str());
    return false;
}

void Deliver(std::function<void(bool)> done, bool opened) {
    if (done) {
        PostToGuiThread([done = std::move(done), opened] { done(opened); });
    }
}

} // namespace

void ShellOpen(const std::string& target, std::function<void(bool opened)> done) {
    const std::vector<std::string> argv{"xdg-open", target};
    if (ShellSink* sink = g_sink.load()) {
        Deliver(std::move(done), sink->Run(argv));
        return;
    }
    const int waitMs = g_openerWaitMs.load();
    Launch launch = Start(argv, waitMs);
    // The opener's status is waited for on a thread of its own, so that the caller (the GUI
    // thread) never waits for it.
    try {
        std::thread([launch, target, waitMs, done]() mutable {
            Deliver(std::move(done), Opened(Finish(launch, "xdg-open"), target, waitMs));
        }).detach();
    } catch (const std::system_error& e) {
        // The middle child still runs: without the thread, nothing waits for it or reads
        // the pipe, so both are given up (the child is left a zombie; it holds no page).
        DebugOutput((std::string("Shell: !thread for xdg-open: ") + e.what() + "\n").c_str());
        if (launch.reportFd >= 0) {
            close(launch.reportFd);
        }
        Deliver(std::move(done), false);
    }
}

bool StartProgram(const std::string& path, const std::vector<std::string>& args) {
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    if (ShellSink* sink = g_sink.load()) {
        return sink->Run(argv);
    }
    return Finish(Start(argv, -1), path).started;
}

ShellSink* SetShellSinkForTests(ShellSink* sink) {
    return g_sink.exchange(sink);
}

int SetOpenerWaitMsForTests(int ms) {
    return g_openerWaitMs.exchange(ms);
}

} // namespace plat
