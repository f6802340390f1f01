#include <gtest/gtest.h>

#include <gio/gdesktopappinfo.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/desktop/AutostartEntry.h"

namespace {

namespace fs = std::filesystem;

class AutostartEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvautoXXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Entry() const { return dir_ + "/autostart/quorvex.desktop"; }
    std::string MakeProgram(const std::string& name) const {
        std::string path = dir_ + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "#!/bin/sh\n";
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    std::string ReadEntry() const {
        std::stringstream text;
        text << std::ifstream(Entry()).rdbuf();
        return text.str();
    }
    std::string dir_;
};

TEST_F(AutostartEntryTest, ThePathIsQuotedAndEscapedSoTheDesktopStartsThatVeryFile) {
    const std::pair<std::string, std::string> cases[] = {
        // the program below the test folder D, and its line in the entry
        {"plain/quorvex", R"(Exec="D/plain/quorvex")"},
        {"with space/q", R"(Exec="D/with space/q")"},
        {"quote\"d/q", R"(Exec="D/quote\\"d/q")"},
        {"back`tick/q", R"(Exec="D/back\\`tick/q")"},
        {"$HOME/q", R"(Exec="D/\\$HOME/q")"},
        {"back\\slash/q", R"(Exec="D/back\\\\slash/q")"},
        {"it's;&|*?<>~#()/q", R"(Exec="D/it's;&|*?<>~#()/q")"},
        {"señal/q", R"(Exec="D/señal/q")"},
        {"100%/%f", R"(Exec="D/100%%/%%f")"},
    };
    for (const auto& [name, line] : cases) {
        SCOPED_TRACE(name);
        std::string program = MakeProgram(name);
        plat::AutostartEntry entry(Entry());
        ASSERT_TRUE(entry.Write(program));
        std::string expected = line;
        expected.replace(expected.find('D'), 1, dir_);
        EXPECT_NE(ReadEntry().find("\n" + expected + "\n"), std::string::npos) << ReadEntry();
        std::string read;
        EXPECT_TRUE(entry.ReadProgram(&read) && read == program) << read;
        // GIO loads an entry only when the program it names is there (it looks before it
        // undoes "%%", so those paths are left out).
        if (name.find('%') == std::string::npos) {
            GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(Entry().c_str());
            EXPECT_NE(info, nullptr) << "GIO cannot find the program the entry names";
            g_clear_object(&info);
        }
    }
}

TEST_F(AutostartEntryTest, AFailedWriteLeavesTheOldEntryAndNoOtherFile) {
    std::string program = MakeProgram("bin/quorvex");
    plat::AutostartEntry entry(Entry());
    ASSERT_TRUE(entry.Write(program));
    const std::string before = ReadEntry();
    for (const std::string& bad : {std::string(), dir_ + "/a\nb", dir_ + "/tab\tq",
                                   dir_ + "/del\x7f", dir_ + "/latin\xf1"}) {
        EXPECT_FALSE(entry.Write(bad)) << bad;
        EXPECT_EQ(ReadEntry(), before);
    }
    fs::remove(Entry());
    fs::create_directories(Entry()); // a folder where the entry goes: the rename fails
    EXPECT_FALSE(entry.Write(program));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/autostart"), {}), 1);
}

TEST_F(AutostartEntryTest, OnlyAnEntryStartingThisFileIsOursAndAnyEntryIsRemoved) {
    std::string ours = MakeProgram("bin/quorvex");
    std::string other = MakeProgram("copy/quorvex");
    fs::create_symlink(ours, dir_ + "/link");
    auto entry = [](const std::string& exec, const std::string& extra = "") {
        return "[Desktop Entry]\nType=Application\nName=Q\nExec=" + exec + "\n" + extra;
    };
    const std::tuple<std::string, std::string, bool> cases[] = {
        // what the entry holds (empty: no entry), and whether it is ours
        {"ours", entry("\"" + ours + "\""), true},
        {"ours through a link", entry("\"" + dir_ + "/link\" --x"), true},
        {"unquoted", entry(ours), true},
        {"another copy", entry("\"" + other + "\""), false},
        {"a missing program", entry("\"" + dir_ + "/gone\""), false},
        {"hidden", entry("\"" + ours + "\"", "Hidden=true\n"), false},
        {"no Exec", "[Desktop Entry]\nType=Application\n", false},
        {"open quote", entry("\"" + ours), false},
        {"not an entry", "garbage\n", false},
        {"none", "", false},
    };
    for (const auto& [name, contents, isOurs] : cases) {
        SCOPED_TRACE(name);
        fs::create_directories(dir_ + "/autostart");
        fs::remove(Entry());
        if (!contents.empty()) {
            std::ofstream(Entry()) << contents;
        }
        plat::AutostartEntry autostart(Entry());
        EXPECT_EQ(autostart.StartsProgram(ours), isOurs);
        EXPECT_TRUE(autostart.Remove());
        EXPECT_FALSE(fs::exists(Entry()));
    }
    // A folder in the entry's place cannot be removed: that is reported.
    fs::create_directories(Entry() + "/x");
    EXPECT_FALSE(plat::AutostartEntry(Entry()).Remove());
}

TEST(AutostartEntryPathTest, TheEntryFollowsXdgConfigHomeThenHome) {
    std::string home = std::getenv("HOME");
    setenv("HOME", "/h", 1);
    setenv("XDG_CONFIG_HOME", "/x/", 1);
    EXPECT_EQ(plat::AutostartEntry().Path(), "/x/autostart/quorvex.desktop");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(plat::AutostartEntry().Path(), "/h/.config/autostart/quorvex.desktop");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home.c_str(), 1);
}

} // namespace
