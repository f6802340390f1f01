#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One child process of the loopback harness: started with fork and execve, its stdout and
// stderr sent to files, waited for with a deadline, its CPU time taken from the kernel's
// accounting when it is reaped. A child still running when the object goes is killed (by its
// own pid) and reaped.
//
// Threads: one owner thread. Start and Wait may be called while other threads run: the child
// does only async-signal-safe work between fork and exec.
class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Runs `program` with `args` and this process's environment plus `extraEnv` (NAME=value,
    // replacing a variable of the same name).
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& extraEnv, const std::string& stdoutPath,
               const std::string& stderrPath, std::string* error);
    // Waits until the child ends or timeoutMs passes; on time-out kills it, reaps it and
    // returns false with *error set.
    bool Wait(int timeoutMs, std::string* error);

    // The child's process id while it runs (-1 before Start and once reaped).
    pid_t Pid() const { return pid_; }
    bool Exited() const { return exited_; }
    int ExitCode() const { return exitCode_; } // -1 unless it exited normally
    int Signal() const { return signal_; }     // the signal that ended it, or 0
    double UserSeconds() const { return userSeconds_; }
    double SystemSeconds() const { return systemSeconds_; }
    // "exit code 0", "killed by signal 9"...
    std::string Describe() const;

private:
    void Reap(int status, const struct rusage& usage);

    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
    int signal_ = 0;
    double userSeconds_ = 0;
    double systemSeconds_ = 0;
};

// The key=value lines of a text (other lines are ignored; a later key replaces an earlier).
std::map<std::string, std::string> ParseKeyValues(const std::string& text);
// The whole of a small text file, or "" when it cannot be read.
std::string ReadTextFile(const std::string& path);
