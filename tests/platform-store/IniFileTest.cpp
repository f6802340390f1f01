#include "platform/store/IniFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/platform-store/ChildProcess.h"

using plat::IniFile;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quorvex-ini-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/test.ini";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void Put(const std::string& text) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    size_t FilesInDir() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_),
                                                 std::filesystem::directory_iterator()));
    }

    std::string dir_;
    std::string path_;
};

TEST_F(IniFileTest, ReadsLeniently) {
    Put("orphan=before any section\r\n"
        "\r\n"
        "; a comment\r\n"
        "  [ Main ]  \r\n"
        "no equals sign here\r\n"
        "   Name   =   Alice Smith   \r\n"
        "=value without a name\r\n"
        "name=second, ignored\r\n"
        "Empty=\r\n"
        "[other]\n"
        "Name=Bob\n"
        "[MAIN]\n"
        "Later=from the repeated section\n"
        "[Unclosed\n"
        "key=unclosed header still names a section");
    IniFile ini(path_);
    EXPECT_EQ(ini.GetString("main", "NAME", "x"), "Alice Smith");
    EXPECT_EQ(ini.GetString("Other", "name", "x"), "Bob");
    EXPECT_EQ(ini.GetString("Main", "Empty", "x"), "");
    EXPECT_EQ(ini.GetString("Main", "Later", "x"), "from the repeated section");
    EXPECT_EQ(ini.GetString("Unclosed", "key", "x"), "unclosed header still names a section");
    EXPECT_EQ(ini.GetString("Main", "orphan", "default"), "default");
    EXPECT_EQ(ini.GetString("Main", "no equals sign here", "default"), "default");
    EXPECT_EQ(ini.GetString("Main", "Missing", "default"), "default");
    EXPECT_EQ(ini.GetString("Nowhere", "Name", "default"), "default");

    IniFile missing(dir_ + "/missing.ini");
    EXPECT_EQ(missing.GetString("Main", "Name", "default"), "default");
    EXPECT_EQ(missing.GetInt("Main", "Name", 7), 7);
}

TEST_F(IniFileTest, ReadsIntegers) {
    Put("[n]\nplain=42\nspaced=  -7  \nsigned=+5\ntrailing=12abc\nword=abc\nempty=\n"
        "huge=99999999999\n");
    IniFile ini(path_);
    EXPECT_EQ(ini.GetInt("n", "plain", 0), 42);
    EXPECT_EQ(ini.GetInt("n", "spaced", 0), -7);
    EXPECT_EQ(ini.GetInt("n", "signed", 0), 5);
    EXPECT_EQ(ini.GetInt("n", "trailing", 0), 12);
    EXPECT_EQ(ini.GetInt("n", "word", 9), 0);
    EXPECT_EQ(ini.GetInt("n", "empty", 9), 9);
    EXPECT_EQ(ini.GetInt("n", "missing", 9), 9);
    EXPECT_EQ(ini.GetInt("n", "huge", 0), 2147483647);
}

TEST_F(IniFileTest, WritesInPlaceAndKeepsOtherLines) {
    Put("; settings\n"
        "[Main]\n"
        "  Volume = 3\n"
        "volume=shadowed\n"
        "\n"
        "[Other]\n"
        "x=1\n");
    IniFile ini(path_);
    ASSERT_TRUE(ini.WriteString("MAIN", "VOLUME", "9"));
    EXPECT_EQ(Contents(), "; settings\n"
                          "[Main]\n"
                          "  Volume =9\n"
                          "volume=shadowed\n"
                          "\n"
                          "[Other]\n"
                          "x=1\n");
    EXPECT_EQ(ini.GetInt("Main", "Volume", 0), 9);

    // A new key goes after the section's last line, before the blank line that ends it.
    ASSERT_TRUE(ini.WriteString("Main", "Added", "yes"));
    ASSERT_TRUE(ini.WriteString("Other", "y", "2"));
    ASSERT_TRUE(ini.WriteString("New", "z", "3"));
    EXPECT_EQ(Contents(), "; settings\n"
                          "[Main]\n"
                          "  Volume =9\n"
                          "volume=shadowed\n"
                          "Added=yes\n"
                          "\n"
                          "[Other]\n"
                          "x=1\n"
                          "y=2\n"
                          "\n"
                          "[New]\n"
                          "z=3\n");

    // Deleting removes only the first match; the shadowed line then shows through.
    ASSERT_TRUE(ini.WriteString("main", "volume", nullptr));
    EXPECT_EQ(ini.GetString("Main", "Volume", ""), "shadowed");
    std::string before = Contents();
    ASSERT_TRUE(ini.WriteString("Main", "NotThere", nullptr));
    ASSERT_TRUE(ini.WriteString("NoSection", "k", nullptr));
    EXPECT_EQ(Contents(), before);
}

TEST_F(IniFileTest, NewLinesFollowTheFilesLineEnds) {
    Put("[A]\r\nk=1"); // CRLF, and no line end after the last line
    IniFile ini(path_);
    ASSERT_TRUE(ini.WriteString("A", "m", "2"));
    ASSERT_TRUE(ini.WriteString("B", "n", "3"));
    EXPECT_EQ(Contents(), "[A]\r\nk=1\r\nm=2\r\n\r\n[B]\r\nn=3\r\n");
    EXPECT_EQ(ini.GetString("a", "M", ""), "2");
}

TEST_F(IniFileTest, FileModes) {
    IniFile fresh(path_);
    ASSERT_TRUE(fresh.WriteString("S", "k", "v"));
    EXPECT_EQ(Contents(), "[S]\nk=v\n");
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    ASSERT_TRUE(fresh.WriteString("S", "k", "w"));
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesInDir(), 1u); // no temporary file left behind
}

TEST_F(IniFileTest, RefusesWritesThatWouldBreakTheFile) {
    Put("[S]\nk=v\n");
    IniFile ini(path_);
    EXPECT_FALSE(ini.WriteString("S", "k", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("S", "k\rx", "v"));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "v"));
    EXPECT_FALSE(ini.WriteString("S]x", "k", "v"));
    EXPECT_FALSE(ini.WriteString("", "k", "v"));
    EXPECT_FALSE(ini.WriteString("S", "  ", "v"));
    EXPECT_EQ(Contents(), "[S]\nk=v\n");

    // A write that cannot complete reports failure and leaves no temporary file.
    IniFile noDir(dir_ + "/missing/dir/test.ini");
    EXPECT_FALSE(noDir.WriteString("S", "k", "v"));
    std::filesystem::create_directory(dir_ + "/adir");
    IniFile isDir(dir_ + "/adir");
    EXPECT_FALSE(isDir.WriteString("S", "k", "v"));
    EXPECT_EQ(FilesInDir(), 2u); // test.ini and adir
}

TEST_F(IniFileTest, AWriterKilledMidRewriteLeavesTheOldFileWhole) {
    const std::string old = "[Main]\nName=old value\n; keep me\n";
    Put(old);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        IniFile ini(path_);
        ini.SetBeforeRenameHookForTests([] { raise(SIGKILL); });
        ini.WriteString("Main", "Name", "new value");
        _exit(0); // not reached: the hook kills the writer before the rename
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    EXPECT_EQ(Contents(), old);
    IniFile ini(path_);
    EXPECT_EQ(ini.GetString("Main", "Name", ""), "old value");
    // The next writer is not disturbed by the dead one's temporary file.
    ASSERT_TRUE(ini.WriteString("Main", "Name", "new value"));
    EXPECT_EQ(ini.GetString("Main", "Name", ""), "new value");
}

TEST_F(IniFileTest, ConcurrentWritesThroughOneObjectAreAllKept) {
    IniFile ini(path_);
    constexpr int kThreads = 4;
    constexpr int kKeys = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&ini, t] {
            for (int k = 0; k < kKeys; ++k) {
                std::string key = "k" + std::to_string(t) + "_" + std::to_string(k);
                EXPECT_TRUE(ini.WriteString("S", key, std::to_string(t * 100 + k).c_str()));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            std::string key = "k" + std::to_string(t) + "_" + std::to_string(k);
            EXPECT_EQ(ini.GetInt("S", key, -1), t * 100 + k) << key;
        }
    }
}

TEST_F(IniFileTest, WhatIsNotARegularFileIsRefusedAtOnce) {
    struct Kind {
        const char* name;
        std::function<int(const std::string&)> make;
    };
    const Kind kinds[] = {
        {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0600); }},
        {"directory", [](const std::string& p) { return mkdir(p.c_str(), 0700); }},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        std::filesystem::remove_all(path_);
        ASSERT_EQ(kind.make(path_), 0);
        IniFile ini(path_);
        auto calls = std::async(std::launch::async, [&] {
            return ini.GetString("General", "user", "def") == "def" &&
                   ini.GetInt("General", "n", 7) == 7 && !ini.WriteString("General", "user", "x");
        });
        if (calls.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
            // Release a reader stuck on the FIFO before failing.
            int writer = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            ADD_FAILURE() << "blocked";
            calls.wait();
            ::close(writer);
            continue;
        }
        EXPECT_TRUE(calls.get());
        // Nothing took its place, and no temporary file was left.
        struct stat info {};
        ASSERT_EQ(lstat(path_.c_str(), &info), 0);
        EXPECT_FALSE(S_ISREG(info.st_mode));
        EXPECT_EQ(FilesInDir(), 1u);
    }
}

TEST_F(IniFileTest, WritesThroughASymbolicLink) {
    const std::string target = dir_ + "/dotfiles/quorvex.ini";
    const struct {
        const char* name;
        std::string leadsTo; // the link's target; "" links the path to itself
        bool written;
    } cases[] = {{"link to the file", target, true},
                 {"dangling link", dir_ + "/dotfiles/missing.ini", false},
                 {"looping link", "", false}};
    std::filesystem::create_directory(dir_ + "/dotfiles");
    // The file the link leads to is in the same file system, then on a tmpfs of its own: the
    // new file is written beside it, so that the rename does not cross file systems.
    auto run = [&]() -> bool {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            std::ofstream(target, std::ios::binary | std::ios::trunc) << "[S]\nk=old\n";
            EXPECT_EQ(chmod(target.c_str(), 0640), 0);
            std::filesystem::remove(path_);
            std::filesystem::create_symlink(c.leadsTo.empty() ? path_ : c.leadsTo, path_);

            EXPECT_EQ(IniFile(path_).WriteString("S", "k", "new"), c.written);
            std::ifstream in(target, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
                      c.written ? "[S]\nk=new\n" : "[S]\nk=old\n");
            struct stat st {};
            EXPECT_TRUE(lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "link replaced";
            EXPECT_TRUE(stat(target.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640);
            // No temporary file left beside the link or the file it leads to.
            EXPECT_EQ(FilesInDir(), 2u);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ + "/dotfiles"), {}),
                      1);
        }
        return true;
    };
    run();
    const bool ran = WithPrivateMounts([&] {
        SCOPED_TRACE("on another file system");
        return mount("tmpfs", (dir_ + "/dotfiles").c_str(), "tmpfs", 0, "size=64k") == 0 && run();
    });
    if (!ran) {
        GTEST_SKIP() << "this machine gives no private mounts, or refuses a tmpfs";
    }
}

} // namespace
