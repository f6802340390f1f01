#pragma once
#include <string>
#include <vector>

#include <sys/types.h>

// Runs Debian's kamailio with tests/e2e/kamailio.cfg (127.0.0.2, ports 5082 and 5060) for one
// test, logging to a file of its own. ok() is false when it is not installed or cannot start;
// tests then skip, except under CI (CI=true), which installs it: there they fail.
// `defines` are handed to kamailio's -A (for example "NONCE_EXPIRE=5", "MAX_EXPIRES=60").
class KamailioProcess {
public:
    explicit KamailioProcess(const std::vector<std::string>& defines = {});
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
