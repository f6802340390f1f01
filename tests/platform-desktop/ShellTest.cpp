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

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvex-shell-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
        path_ = getenv("PATH");
        // A program that writes its arguments to `ran`, a file without the right to run, and
        // a script whose interpreter does not exist (execvp fails with ENOENT).
        Write("records",
              "#!/bin/sh\necho \"$@\" > " + dir_ + "/ran.part && mv " + dir_ + "/ran.part " + dir_ +
                  "/ran\n",
              0755);
        Write("not-executable", "#!/bin/sh\n", 0644);
        Write("no-interpreter", "#!/nonexistent/interpreter\n", 0755);
    }
    void TearDown() override {
        setenv("PATH", path_.c_str(), 1);
        signal(SIGCHLD, SIG_DFL);
        std::filesystem::remove_all(dir_);
    }
    void Write(const std::string& name, const std::string& text, mode_t mode) {
        std::ofstream(dir_ + "/" + name) << text;
        chmod((dir_ + "/" + name).c_str(), mode);
    }
    // What the started program wrote, once it did (empty after 5 s).
    std::string Ran() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            std::ifstream file(dir_ + "/ran");
            if (file) {
                std::stringstream text;
                text << file.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "";
    }

    std::string dir_;
    std::string path_;
};

TEST_F(ShellTest, AProgramThatCannotBeStartedIsReportedAndOneThatCanRunsWithItsArguments) {
    const struct {
        const char* program; // in the test's folder, or a name to look up on PATH
        bool inFolder;
        bool started;
    } cases[] = {
        {"records", true, true},         {"not-executable", true, false},
        {"no-interpreter", true, false}, {"quorvex-no-such-program", false, false},
        {"records", false, true}, // found on PATH
    };
    setenv("PATH", (dir_ + ":" + path_).c_str(), 1);
    // The same whether the children are waited for or reap themselves (SIGCHLD ignored).
    for (auto child : {SIG_DFL, SIG_IGN}) {
        signal(SIGCHLD, child);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.program) + (child == SIG_IGN ? ", SIGCHLD ignored" : ""));
            std::filesystem::remove(dir_ + "/ran");
            const std::string path = c.inFolder ? dir_ + "/" + c.program : c.program;
            EXPECT_EQ(c.started, plat::StartProgram(path, {"a b", "c"}));
            if (c.started) {
                EXPECT_EQ("a b c\n", Ran());
            }
        }
    }
}

} // namespace
