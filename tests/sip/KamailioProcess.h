#pragma once
#include <string>

#include <sys/types.h>

// Runs Debian's kamailio with tests/e2e/kamailio.cfg (127.0.0.2, ports 5082 and 5060) for one
// test, logging to a file of its own. ok() is false when it is not installed or cannot start;
// tests then skip, except under CI (CI=true), which installs it: there they fail.
class KamailioProcess {
public:
    KamailioProcess();
    ~KamailioProcess();
    KamailioProcess(const KamailioProcess&) = delete;
    KamailioProcess& operator=(const KamailioProcess&) = delete;

    bool ok() const { return pid_ > 0; }
    void Stop();
    std::string Log() const;
    // How many times `text` occurs in the log.
    int Count(const std::string& text) const;

private:
    pid_t pid_ = -1;
    std::string dir_;
};
