#pragma once
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "tests/support/Eventually.h"

// Runs `body` in a forked child process, whose failures are the test's (those the test had
// before the fork are not). With `ownMounts` the child's mounts are its own (a user namespace
// stands in for the privilege where the process lacks it). A child still running after
// `seconds` is killed and fails the test. False when it did not run whole: no private mounts,
// `body` returned false, or it was killed.
inline bool InChild(bool ownMounts, int seconds, const std::function<bool()>& body) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    const pid_t child = fork();
    if (child == 0) {
        bool ran = !ownMounts || unshare(CLONE_NEWNS) == 0;
        if (!ran && unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
            std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
            ran = true;
        }
        ran =
            ran && (!ownMounts || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
        const ::testing::TestResult& result =
            *::testing::UnitTest::GetInstance()->current_test_info()->result();
        const int before = result.total_part_count();
        ran = ran && body();
        bool failed = false;
        for (int i = before; i < result.total_part_count(); ++i) {
            failed |= result.GetTestPartResult(i).failed();
        }
        _exit(failed ? 1 : ran ? 0 : 2);
    }
    int status = -1;
    if (!Eventually([&] { return waitpid(child, &status, WNOHANG) == child; }, seconds * 1000)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "still running after " << seconds << " s";
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1) << "failed in the child";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs `body` in a child process, which is killed when it has not ended within `seconds` (a
// hive opened on a FIFO waits for a writer for ever).
inline void InChildWithin(int seconds, const std::function<void()>& body) {
    InChild(false, seconds, [&] {
        body();
        return true;
    });
}

// Runs `body` in a child process whose mounts are its own, to mount a tmpfs. False when it
// could not run (no private mounts, or `body` returned false).
inline bool WithPrivateMounts(const std::function<bool()>& body) {
    return InChild(true, 60, body);
}
