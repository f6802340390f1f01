#pragma once
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// A private X display for one test process: starts Xvfb, which picks a free display number
// itself (-displayfd), so parallel runs never share a display, and points DISPLAY at it.
class XvfbDisplay {
public:
    explicit XvfbDisplay(const char* screen = "640x480x24") {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // The server goes when the test does, however it ends, and keeps none of its
            // output streams open.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, 0);
                dup2(devnull, 1);
                dup2(devnull, 2);
            }
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten",
                   "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number.push_back(c);
        }
        close(fds[0]);
        if (!number.empty()) {
            display_ = ":" + number;
            setenv("DISPLAY", display_.c_str(), 1);
        }
    }
    ~XvfbDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool Ok() const { return !display_.empty(); }
    const std::string& Name() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};
