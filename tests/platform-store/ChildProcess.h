#pragma once
// Test bodies run in a child process: one that may block for ever, one that mounts a tmpfs.
// The child's failures are the test's.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "tests/support/Eventually.h"

// Runs `body` in a forked child; its exit status is 1 when `body` failed, 2 when it returned
// false. Failures the test had before the fork are not the child's.
inline pid_t ForkBody(const std::function<bool()>& body) {
    pid_t child = fork();
    if (child == 0) {
        const ::testing::TestResult& result =
            *::testing::UnitTest::GetInstance()->current_test_info()->result();
        const int before = result.total_part_count();
        const bool ran = body();
        bool failed = false;
        for (int i = before; i < result.total_part_count(); ++i) {
            failed |= result.GetTestPartResult(i).failed();
        }
        _exit(failed ? 1 : ran ? 0 : 2);
    }
    return child;
}

// Runs `body` in a child process, which is killed when it has not ended within `seconds` (a
// hive opened on a FIFO waits for a writer for ever).
inline void InChildWithin(int seconds, const std::function<void()>& body) {
    const pid_t child = ForkBody([&] {
        body();
        return true;
    });
    int status = -1;
    if (!Eventually([&] { return waitpid(child, &status, WNOHANG) == child; }, seconds * 1000)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "still blocked after " << seconds << " s";
        return;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed in the child";
}

// Runs `body` in a child process whose mounts are its own (a user namespace stands in for the
// privilege where the process lacks it). False when it could not run (no private mounts, or
// `body` returned false).
inline bool WithPrivateMounts(const std::function<bool()>& body) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    const pid_t child = ForkBody([&] {
        bool own = unshare(CLONE_NEWNS) == 0;
        if (!own && unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
            std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
            own = true;
        }
        return own && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 && body();
    });
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1) << "failed in the child";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
