#include "tools/loopback/PeerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

constexpr int kPollMs = 20;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

} // namespace

PeerProcess::~PeerProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        struct rusage usage {};
        wait4(pid_, &status, 0, &usage);
        pid_ = -1;
    }
}

bool PeerProcess::Start(const std::string& program, const std::vector<std::string>& args,
                        const std::vector<std::string>& extraEnv, const std::string& stdoutPath,
                        const std::string& stderrPath, std::string* error) {
    // Everything the child needs is built before the fork.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& extra : extraEnv) {
            replaced = replaced || extra.substr(0, extra.find('=')) == name;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || err < 0) {
        *error = "cannot create the output files of " + program + ": " + std::strerror(errno);
        if (out >= 0) {
            close(out);
        }
        if (err >= 0) {
            close(err);
        }
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execve(program.c_str(), argv.data(), envp.data());
        static const char kFailed[] = "exec failed\n";
        (void)!write(STDERR_FILENO, kFailed, sizeof(kFailed) - 1);
        _exit(127);
    }
    const int forkErrno = errno;
    close(out);
    close(err);
    if (pid < 0) {
        *error = std::string("fork: ") + std::strerror(forkErrno);
        return false;
    }
    pid_ = pid;
    exited_ = false;
    return true;
}

bool PeerProcess::Wait(int timeoutMs, std::string* error) {
    if (pid_ <= 0) {
        return true;
    }
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        struct rusage usage {};
        const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            Reap(status, usage);
            return true;
        }
        if (done < 0 && errno != EINTR) {
            *error = std::string("wait4: ") + std::strerror(errno);
            pid_ = -1;
            return false;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t elapsedMs =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsedMs >= timeoutMs) {
            kill(pid_, SIGKILL);
            wait4(pid_, &status, 0, &usage);
            Reap(status, usage);
            *error = "did not end within " + std::to_string(timeoutMs) + " ms and was killed";
            return false;
        }
        usleep(kPollMs * 1000);
    }
}

void PeerProcess::Reap(int status, const struct rusage& usage) {
    pid_ = -1;
    exited_ = WIFEXITED(status);
    exitCode_ = exited_ ? WEXITSTATUS(status) : -1;
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    userSeconds_ = Seconds(usage.ru_utime);
    systemSeconds_ = Seconds(usage.ru_stime);
}

std::string PeerProcess::Describe() const {
    if (exited_) {
        return "exit code " + std::to_string(exitCode_);
    }
    if (signal_ != 0) {
        return "killed by signal " + std::to_string(signal_) + " (" + strsignal(signal_) + ")";
    }
    return "still running";
}

std::map<std::string, std::string> ParseKeyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
