#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/trace/TraceFile.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

namespace {

class TraceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qvtraceXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/trace.txt";
    }
    void TearDown() override {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }

    std::string Read() {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    void WriteFileOfSize(size_t size) {
        std::string content(size, 'a');
        // Mark the last mebibyte so the cut can be checked.
        const size_t mib = 1024 * 1024;
        if (size >= mib) {
            content.replace(size - mib, 5, "BEGIN");
        }
        std::ofstream(path_, std::ios::binary) << content;
    }

    std::unique_ptr<TraceFile> Open() {
        return std::make_unique<TraceFile>(path_, "/nonexistent/quorvex", "/nonexistent/tamsor");
    }

    std::string dir_;
    std::string path_;
};

TEST_F(TraceFileTest, NewFileBeginsWithFourLineEndsAndTheStartBanner) {
    auto trace = Open();
    EXPECT_EQ(g_pTrace.load(), trace.get());
    trace.reset();
    EXPECT_EQ(g_pTrace.load(), nullptr);
    std::string text = Read();
    const std::string stars(71, '*');
    ASSERT_EQ(text.rfind("\r\n\r\n\r\n\r\n" + stars + "\r\n" + stars + "\r\n", 0), 0u);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    // 4 empty lines, 2 star lines, START, 2 versions, 2 star lines; then the end banner.
    ASSERT_EQ(lines.size(), 11u + 9u);
    std::regex start(R"(\*{16} START TRACE:\d\d/\d\d/\d{4}, \d\d:\d\d:\d\d (AM|PM)\*{16}\r)");
    EXPECT_TRUE(std::regex_match(lines[6], start)) << lines[6];
    EXPECT_EQ(lines[7], "quorvex.exe (version): \r");
    EXPECT_EQ(lines[8], "Tamsor.dll (version): \r");
    EXPECT_EQ(lines[9], stars + "\r");
    EXPECT_EQ(lines[10], stars + "\r");
    std::regex end(R"(\*{8} END TRACE:\d\d/\d\d/\d{4}, \d\d:\d\d:\d\d (AM|PM)\*{8}\r)");
    EXPECT_TRUE(std::regex_match(lines[17], end)) << lines[17];
    EXPECT_EQ(lines[19], stars + "\r");
}

TEST_F(TraceFileTest, FileOfExactlyTenMebibytesIsAppendedTo) {
    WriteFileOfSize(10485760);
    Open().reset();
    std::string text = Read();
    EXPECT_GT(text.size(), 10485760u);
    EXPECT_EQ(text.substr(0, 5), "aaaaa");
}

TEST_F(TraceFileTest, LargerFileIsCutToItsLastMebibyteBeforeTheBanner) {
    WriteFileOfSize(10485761);
    auto trace = Open();
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    std::string text = Read();
    EXPECT_EQ(text.substr(0, 5), "BEGIN");
    EXPECT_EQ(text.substr(1048576, 4), "\r\n\r\n");
    EXPECT_NE(text.find("START TRACE:", 1048576), std::string::npos);
}

TEST_F(TraceFileTest, MessagesCarryTimeStampsAndNumbers) {
    plat::FakeClock clock(0xFFFFFFF0u);
    plat::ScopedClock scoped(clock);
    auto trace = Open();
    clock.Advance(0x20); // wraps the 32-bit counter
    WriteTraceMessage(trace.get(), "WaveAudioSink::BeginAudioRender: !waveOutOpen (1), mr=", 4);
    WriteTraceMessage(trace.get(), "solo texto");
    WriteTraceMessageUnsigned(trace.get(), "bytes=", 18446744073709551615ull);
    trace.reset();
    std::string text = Read();
    EXPECT_NE(text.find("WaveAudioSink::BeginAudioRender: !waveOutOpen (1), mr=4  (time: 32)\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\nsolo texto\r\n"), std::string::npos);
    EXPECT_NE(text.find("bytes=18446744073709551615  (time: 32)\r\n"), std::string::npos);
}

TEST_F(TraceFileTest, NullLogWritesNothingAndLateWritesAfterCloseAreIgnored) {
    WriteTraceMessage(nullptr, "nada");
    WriteTraceMessage(nullptr, "nada", 1);
    auto trace = Open();
    trace->Close();
    size_t closedSize = Read().size();
    WriteTraceMessage(trace.get(), "tarde", 1);
    trace->Close(); // a second close writes no second banner
    EXPECT_EQ(Read().size(), closedSize);
}

TEST_F(TraceFileTest, MessagesOfConcurrentThreadsNeverInterleave) {
    auto trace = Open();
    auto writer = [&](const char* who) {
        for (int i = 0; i < 1000; ++i) {
            WriteTraceMessage(trace.get(), who, i);
        }
    };
    std::thread a(writer, "hilo-a:");
    std::thread b(writer, "hilo-b:");
    a.join();
    b.join();
    trace.reset();
    std::istringstream lines(Read());
    std::regex whole(R"(^hilo-[ab]:\d+  \(time: \d+\)\r$)");
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("hilo-", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, whole)) << line;
            count++;
        }
    }
    EXPECT_EQ(count, 2000);
}

TEST_F(TraceFileTest, UnopenableFileStillServesTheLogWithoutFailing) {
    TraceFile trace(dir_ + "/missing-dir/trace.txt", "", "");
    WriteTraceMessage(&trace, "sin archivo", 3);
    trace.Close();
    struct stat st {};
    EXPECT_NE(stat((dir_ + "/missing-dir/trace.txt").c_str(), &st), 0);
}

TEST(ModuleVersionText, StartsFromAnEmptyText) {
    std::string text = "stale";
    EXPECT_FALSE(GetModuleVersionText("/nonexistent", &text));
    EXPECT_EQ(text, "");
}

} // namespace

namespace {

TEST(GlobalTrace, StartupOpensTheLogAndExitClosesItWithTheEndBanner) {
    char tmpl[] = "/tmp/qvglobalXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string home = tmpl;
    std::string command = "QUORVEX_HOME='" + home + "' " GLOBAL_TRACE_PROBE;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(home + "/data/trace.txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    size_t start = text.find("START TRACE:");
    size_t message = text.find("sonda7  (time: ");
    size_t end = text.find("END TRACE:");
    EXPECT_NE(start, std::string::npos);
    EXPECT_NE(message, std::string::npos);
    EXPECT_NE(end, std::string::npos);
    EXPECT_LT(start, message);
    EXPECT_LT(message, end);
    // A settings hive that cannot be opened is one line, with its path and the reason.
    const size_t hive =
        text.find("Registry: cannot open " + home + "/config/no/such/registry.sqlite3: ");
    EXPECT_NE(hive, std::string::npos) << text;
    EXPECT_LT(hive, end);
    std::system(("rm -rf '" + home + "'").c_str());
}

} // namespace
