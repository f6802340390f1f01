// Programs started for real, in a folder of the test's own.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/desktop/Shell.h"
#include "platform/ui/GtkRuntime.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/TestFolder.h"

namespace {

// Shell commands that wait until the test creates "release" beside the script (or 10 s pass),
// then create "ended" there.
const char kLinger[] = "i=0\nwhile [ ! -e \"${0%/*}/release\" ] && [ $i -lt 200 ]; do "
                       "/bin/sleep 0.05; i=$((i+1)); done\n: > \"${0%/*}/ended\"";

TEST(ShellTest, AProgramThatCannotBeStartedIsReportedAndOneThatCanRunsWithItsArguments) {
    TestFolder dir;
    const std::string ran = dir.File("ran"), path = getenv("PATH");
    // A program that writes its arguments to `ran`, a file without the right to run, and a
    // script whose interpreter does not exist (execvp fails with ENOENT).
    dir.Write("records",
              "#!/bin/sh\necho \"$@\" > " + ran + ".part && mv " + ran + ".part " + ran + "\n");
    dir.Write("not-executable", "#!/bin/sh\n", 0644);
    dir.Write("no-interpreter", "#!/nonexistent/interpreter\n");
    const struct {
        const char* program; // in the test's folder, or a name to look up on PATH
        bool inFolder;
        bool started;
    } cases[] = {
        {"records", true, true},         {"not-executable", true, false},
        {"no-interpreter", true, false}, {"quorvex-no-such-program", false, false},
        {"records", false, true}, // found on PATH
    };
    setenv("PATH", (dir.Path() + ":" + path).c_str(), 1);
    // The same whether the children are waited for or reap themselves (SIGCHLD ignored).
    for (auto child : {SIG_DFL, SIG_IGN}) {
        signal(SIGCHLD, child);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.program) + (child == SIG_IGN ? ", SIGCHLD ignored" : ""));
            std::filesystem::remove(ran);
            EXPECT_EQ(c.started, plat::StartProgram(c.inFolder ? dir.File(c.program) : c.program,
                                                    {"a b", "c"}));
            // What the started program wrote, once it did (nothing after 5 s).
            if (c.started) {
                Eventually([&] { return std::filesystem::exists(ran); });
            }
            EXPECT_EQ(c.started ? "a b c\n" : "", dir.Read("ran"));
        }
    }
    setenv("PATH", path.c_str(), 1);
    signal(SIGCHLD, SIG_DFL);
}

TEST(ShellTest, AStartedProgramThatOutlivesTheCallDoesNotHoldTheCallerUp) {
    TestFolder dir;
    dir.Write("lingers", std::string("#!/bin/sh\n") + kLinger);
    EXPECT_TRUE(plat::StartProgram(dir.File("lingers"), {}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("ended"))) << "returned only once it ended";
    std::ofstream(dir.File("release"));
    EXPECT_TRUE(Eventually([&] { return std::filesystem::exists(dir.File("ended")); }));
}

TEST(ShellTest, OpeningAPageTakesTheOpenersExitStatusOnTheGuiThreadWithoutWaitingForIt) {
    const struct {
        const char* name;
        const char* opener; // what xdg-open does; null: there is none
        int waitMs;         // how long its status is waited for
        bool opened;
    } cases[] = {
        {"handed on", "exit 0", 60000, true},
        {"failed", "exit 1", 60000, false},
        {"no method available", "exit 3", 60000, false},
        {"killed", "kill -9 $$", 60000, false},
        {"no opener", nullptr, 60000, false},
        {"handed on once released", kLinger, 60000, true},
        {"still showing the page after the wait", kLinger, 300, true}, // and left running
    };
    // The same when this program ignores SIGCHLD (its children then reap themselves).
    for (auto child : {SIG_DFL, SIG_IGN}) {
        signal(SIGCHLD, child);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (child == SIG_IGN ? ", SIGCHLD ignored" : ""));
            const bool lingers = c.opener == kLinger;
            plat::ManualGuiDispatcher gui;
            std::vector<bool> answers;
            FakeOpener opener(c.opener);
            plat::SetOpenerWaitMsForTests(c.waitMs);
            plat::ShellOpen("https://example.test/a b",
                            [&](bool opened) { answers.push_back(opened); });
            if (lingers) {
                // Returned while the opener runs; nothing is answered before it ends or the wait
                // is over.
                EXPECT_FALSE(std::filesystem::exists(opener.File("ended")));
                EXPECT_EQ(0u, gui.PendingCount());
                if (c.waitMs > 1000) {
                    std::ofstream(opener.File("release"));
                }
            }
            ASSERT_TRUE(Eventually([&] { return gui.PendingCount() > 0; }));
            EXPECT_EQ(c.opener ? "https://example.test/a b\n" : "", opener.Opened());
            if (lingers) {
                EXPECT_NE(c.waitMs < 1000, std::filesystem::exists(opener.File("ended")));
                std::ofstream(opener.File("release"));
                EXPECT_TRUE(
                    Eventually([&] { return std::filesystem::exists(opener.File("ended")); }));
            }
            EXPECT_EQ(1, gui.RunPending());
            EXPECT_EQ(std::vector<bool>{c.opened}, answers);
        }
    }
    plat::SetOpenerWaitMsForTests(plat::kOpenerWaitMs);
    signal(SIGCHLD, SIG_DFL);
}

TEST(ShellTest, StartedProgramsGetTheEnvironmentTheUserGaveThisProgram) {
    // The opener and the installer write what they got of two variables to "<program>.env".
    const std::string record = "echo \"${GDK_GL-none} $QUORVEX_OWN\" > \"$0.part\" && "
                               "/bin/mv \"$0.part\" \"$0.env\"";
    setenv("QUORVEX_OWN", "kept", 1);
    // First with the user's own GDK_GL, which the program keeps; then without one, where the
    // program turns GL off for itself alone.
    for (const char* users : {"gles", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(users ? users : "none");
        users ? setenv("GDK_GL", users, 1) : unsetenv("GDK_GL");
        plat::KeepGlOff();
        EXPECT_STREQ(users ? users : "disable", getenv("GDK_GL"));
        FakeOpener opener(record.c_str());
        opener.Write("installer", "#!/bin/sh\n" + record + "\n");
        plat::ShellOpen("page.htm", {});
        EXPECT_TRUE(plat::StartProgram(opener.File("installer"), {}));
        for (const std::string program : {"xdg-open", "installer"}) {
            EXPECT_TRUE(Eventually([&] { return opener.Read(program + ".env") != ""; }));
            EXPECT_EQ(std::string(users ? users : "none") + " kept\n",
                      opener.Read(program + ".env"))
                << program;
        }
    }
    unsetenv("GDK_GL");
    unsetenv("QUORVEX_OWN");
}

} // namespace
