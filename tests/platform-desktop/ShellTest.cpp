// Programs started for real, in a folder of the test's own.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/desktop/Shell.h"

namespace {

TEST(ShellTest, AProgramThatCannotBeStartedIsReportedAndOneThatCanRunsWithItsArguments) {
    char pattern[] = "/tmp/quorvex-shell-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string dir = pattern, ran = dir + "/ran", path = getenv("PATH");
    auto write = [&dir](const char* name, const std::string& text, mode_t mode) {
        std::ofstream(dir + "/" + name) << text;
        chmod((dir + "/" + name).c_str(), mode);
    };
    // A program that writes its arguments to `ran`, a file without the right to run, and a
    // script whose interpreter does not exist (execvp fails with ENOENT).
    write("records",
          "#!/bin/sh\necho \"$@\" > " + ran + ".part && mv " + ran + ".part " + ran + "\n", 0755);
    write("not-executable", "#!/bin/sh\n", 0644);
    write("no-interpreter", "#!/nonexistent/interpreter\n", 0755);
    const struct {
        const char* program; // in the test's folder, or a name to look up on PATH
        bool inFolder;
        bool started;
    } cases[] = {
        {"records", true, true},         {"not-executable", true, false},
        {"no-interpreter", true, false}, {"quorvex-no-such-program", false, false},
        {"records", false, true}, // found on PATH
    };
    setenv("PATH", (dir + ":" + path).c_str(), 1);
    // The same whether the children are waited for or reap themselves (SIGCHLD ignored).
    for (auto child : {SIG_DFL, SIG_IGN}) {
        signal(SIGCHLD, child);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.program) + (child == SIG_IGN ? ", SIGCHLD ignored" : ""));
            std::filesystem::remove(ran);
            EXPECT_EQ(c.started, plat::StartProgram(c.inFolder ? dir + "/" + c.program : c.program,
                                                    {"a b", "c"}));
            // What the started program wrote, once it did (nothing after 5 s).
            for (int i = 0; c.started && i < 500 && !std::filesystem::exists(ran); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::stringstream text;
            text << std::ifstream(ran).rdbuf();
            EXPECT_EQ(c.started ? "a b c\n" : "", text.str());
        }
    }
    setenv("PATH", path.c_str(), 1);
    signal(SIGCHLD, SIG_DFL);
    std::filesystem::remove_all(dir);
}

} // namespace
