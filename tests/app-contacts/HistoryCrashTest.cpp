#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/contacts/CallHistory.h"
#include "platform/store/Registry.h"
#include "tests/support/RegistrySandbox.h"

namespace {

// Starts the writer on `file` and answers its process id once it has written its first entry
// (or -1 when it could not start).
pid_t StartWriter(const std::string& file) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(HISTORY_WRITER, HISTORY_WRITER, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char ready = 0;
    ssize_t got = pid > 0 ? read(fds[0], &ready, 1) : -1;
    close(fds[0]);
    if (got != 1) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        return -1;
    }
    return pid;
}

// The entries of `list`, newest first. Fails the test when the list's sub-keys are not exactly
// "00" up to its length, or an entry's name and number differ.
std::vector<long> ReadWholeList(plat::Registry& registry, HistoryList list) {
    std::vector<long> numbers;
    CallHistory history(registry);
    std::vector<ListItem> items = history.Reload(list);
    for (const ListItem& item : items) {
        std::string number;
        EXPECT_TRUE(history.GetNumber(list, item.data, &number));
        EXPECT_EQ(item.text.substr(item.text.find(": ") + 2), number);
        numbers.push_back(std::atol(number.c_str()));
    }
    plat::Registry::Key key;
    std::vector<std::string> keys;
    if (registry.OpenKey(CallHistory::KeyPath(list), &key) == plat::kErrorSuccess) {
        EXPECT_EQ(registry.EnumKeys(key, &keys), plat::kErrorSuccess);
    }
    EXPECT_EQ(keys.size(), numbers.size()) << "a gap in " << CallHistory::KeyPath(list);
    return numbers;
}

// A writer killed at random moments leaves each list whole: its entries count down one by one
// from the newest, with nothing missing and nothing twice, ten of them once ten were written.
TEST(HistoryCrashTest, AListIsWholeAfterTheWriterIsKilledAtAnyMoment) {
    RegistrySandbox sandbox;
    const std::string file = sandbox.Dir() + "/crash.sqlite3";
    std::random_device seeder;
    const unsigned seed = seeder();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::uniform_int_distribution<int> delayUs(0, 30000);
    const HistoryList lists[] = {HistoryList::Missed, HistoryList::Dialed, HistoryList::Received};
    long written = 0;
    for (int run = 0; run < 20; ++run) {
        pid_t pid = StartWriter(file);
        ASSERT_GT(pid, 0) << "the writer did not start";
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_EQ(kill(pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself, status " << status;

        plat::Registry registry(file);
        ASSERT_TRUE(registry.IsOpen());
        written = 0;
        for (HistoryList list : lists) {
            SCOPED_TRACE("run " + std::to_string(run) + ", " + CallHistory::KeyPath(list));
            std::vector<long> numbers = ReadWholeList(registry, list);
            if (numbers.empty()) {
                continue; // the writer had not reached this list yet
            }
            ASSERT_LE(numbers.size(), 10u);
            for (size_t i = 1; i < numbers.size(); ++i) {
                ASSERT_EQ(numbers[i], numbers[i - 1] - 1) << "at entry " << i;
            }
            if (numbers.size() < 10) {
                EXPECT_EQ(numbers.back(), 1) << "older entries lost";
            }
            written += numbers.front();
        }
    }
    // The runs did write: at least one entry each, and the lists filled up.
    EXPECT_GE(written, 20);
}

} // namespace
