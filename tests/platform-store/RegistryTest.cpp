#include "platform/store/Registry.h"

#include "platform/core/testing/FakeClock.h"
#include "tests/platform-store/ChildProcess.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using plat::Registry;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quorvex-registry-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/registry.sqlite3";
        reg_ = std::make_unique<Registry>(path_);
        ASSERT_TRUE(reg_->IsOpen()) << reg_->OpenError();
    }
    void TearDown() override {
        reg_.reset();
        std::filesystem::remove_all(dir_);
    }

    Registry::Key Create(const char* path, bool* createdNew = nullptr) {
        Registry::Key key;
        EXPECT_EQ(reg_->CreateKey(path, &key, createdNew), plat::kErrorSuccess) << path;
        return key;
    }

    std::string dir_;
    std::string path_;
    std::unique_ptr<Registry> reg_;
};

TEST_F(RegistryTest, KeyPathsIgnoreCaseAndKeepTheFirstSpelling) {
    bool createdNew = false;
    Registry::Key a = Create("Software\\Quorvex", &createdNew);
    EXPECT_TRUE(createdNew);
    Registry::Key b = Create("SOFTWARE\\quorvex", &createdNew);
    EXPECT_FALSE(createdNew);
    EXPECT_EQ(a.id, b.id);
    Registry::Key c = Create("\\software\\\\QUORVEX\\", &createdNew);
    EXPECT_FALSE(createdNew);
    EXPECT_EQ(a.id, c.id);

    Registry::Key root;
    ASSERT_EQ(reg_->OpenKey("", &root), plat::kErrorSuccess);
    std::vector<std::string> names;
    ASSERT_EQ(reg_->EnumKeys(root, &names), plat::kErrorSuccess);
    EXPECT_EQ(names, std::vector<std::string>{"Software"});
    Registry::Key software;
    ASSERT_EQ(reg_->OpenKey("software", &software), plat::kErrorSuccess);
    ASSERT_EQ(reg_->EnumKeys(software, &names), plat::kErrorSuccess);
    EXPECT_EQ(names, std::vector<std::string>{"Quorvex"});
}

TEST_F(RegistryTest, CreateMakesParentsAndOpenFindsOnlyExistingKeys) {
    Registry::Key key;
    EXPECT_EQ(reg_->OpenKey("A\\B\\C", &key), plat::kErrorFileNotFound);
    EXPECT_FALSE(reg_->KeyExists("A"));

    bool createdNew = false;
    Registry::Key c = Create("A\\B\\C", &createdNew);
    EXPECT_TRUE(createdNew);
    EXPECT_TRUE(reg_->KeyExists("a"));
    EXPECT_TRUE(reg_->KeyExists("a\\b"));
    ASSERT_EQ(reg_->OpenKey("a\\b\\c", &key), plat::kErrorSuccess);
    EXPECT_EQ(key.id, c.id);

    // Creating a parent that already exists reports it as opened.
    Create("A\\B", &createdNew);
    EXPECT_FALSE(createdNew);
    EXPECT_EQ(reg_->OpenKey("A\\B\\C\\D", &key), plat::kErrorFileNotFound);
}

TEST_F(RegistryTest, ValuesKeepTypeBytesAndSize) {
    Registry::Key key = Create("Software\\Values");
    const std::string dword("\xB8\0\0\0", 4);
    const std::string binary("\0\1\0\xFF\0", 5);
    const struct {
        const char* name;
        const char* lookup; // the name asked for, in other case
        uint32_t type;
        std::string bytes;
    } stored[] = {
        {"Text", "TEXT", plat::kRegSz, std::string("abc", 4)},
        {"Raw", "raw", plat::kRegSz, "xy"}, // no terminator is added to what was stored
        {"Bin", "bin", plat::kRegBinary, binary},
        {"Num", "Num", plat::kRegDword, dword},
        {"Empty", "Empty", plat::kRegSz, ""},
    };
    for (const auto& v : stored) {
        ASSERT_EQ(reg_->SetValue(key, v.name, v.type, v.bytes.empty() ? nullptr : v.bytes.data(),
                                 static_cast<uint32_t>(v.bytes.size())),
                  plat::kErrorSuccess);
    }
    for (const auto& v : stored) {
        SCOPED_TRACE(v.name);
        uint32_t type = 0;
        char buf[16];
        uint32_t size = sizeof(buf);
        ASSERT_EQ(reg_->QueryValue(key, v.lookup, &type, buf, &size), plat::kErrorSuccess);
        EXPECT_EQ(type, v.type);
        EXPECT_EQ(std::string(buf, size), v.bytes);
    }

    // Replacing a value changes its type and data but keeps its first spelling and place.
    ASSERT_EQ(reg_->SetValue(key, "TEXT", plat::kRegDword, dword.data(), 4), plat::kErrorSuccess);
    std::vector<Registry::Value> values;
    ASSERT_EQ(reg_->EnumValues(key, &values), plat::kErrorSuccess);
    ASSERT_EQ(values.size(), std::size(stored));
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, stored[i].name);
        EXPECT_EQ(values[i].data, i == 0 ? dword : stored[i].bytes);
    }
    EXPECT_EQ(values[0].type, plat::kRegDword);
}

TEST_F(RegistryTest, QueryAnswersSizeMoreDataAndNotFound) {
    Registry::Key key = Create("Software\\Sizes");
    const char text[] = "hello world";
    ASSERT_EQ(reg_->SetValue(key, "Greeting", plat::kRegSz, text, sizeof(text)),
              plat::kErrorSuccess);

    uint32_t type = 0;
    uint32_t size = 0;
    ASSERT_EQ(reg_->QueryValue(key, "Greeting", &type, nullptr, &size), plat::kErrorSuccess);
    EXPECT_EQ(size, sizeof(text));
    EXPECT_EQ(type, plat::kRegSz);

    char small[4] = {'-', '-', '-', '-'};
    size = sizeof(small);
    EXPECT_EQ(reg_->QueryValue(key, "Greeting", &type, small, &size), plat::kErrorMoreData);
    EXPECT_EQ(size, sizeof(text));
    EXPECT_EQ(std::string(small, 4), "----"); // nothing is written on more data

    char exact[sizeof(text)];
    size = sizeof(exact);
    EXPECT_EQ(reg_->QueryValue(key, "Greeting", nullptr, exact, &size), plat::kErrorSuccess);
    EXPECT_STREQ(exact, text);

    size = 99;
    EXPECT_EQ(reg_->QueryValue(key, "Missing", &type, exact, &size), plat::kErrorFileNotFound);
    EXPECT_EQ(size, 99u);
    EXPECT_EQ(reg_->QueryValue(key, "Greeting", &type, exact, nullptr),
              plat::kErrorInvalidParameter);

    // A size beyond what one value can hold is refused before any byte is read; the two
    // zero bytes at the end would otherwise pass for an end marker and store a short value.
    const unsigned char marked[4] = {1, 2, 0, 0};
    EXPECT_EQ(reg_->SetValue(key, "Huge", plat::kRegBinary, marked, 0x80000000u),
              plat::kErrorInvalidParameter);
    EXPECT_EQ(reg_->QueryValue(key, "Huge", &type, nullptr, &size), plat::kErrorFileNotFound);

    EXPECT_EQ(reg_->DeleteValue(key, "GREETING"), plat::kErrorSuccess);
    EXPECT_EQ(reg_->QueryValue(key, "Greeting", &type, nullptr, &size), plat::kErrorFileNotFound);
    EXPECT_EQ(reg_->DeleteValue(key, "Greeting"), plat::kErrorFileNotFound);
}

TEST_F(RegistryTest, DeleteTreeRemovesTheSubtreeOnly) {
    Registry::Key a = Create("Root\\A");
    Registry::Key deep = Create("Root\\A\\B\\C\\D");
    Registry::Key ab = Create("Root\\AB"); // shares a prefix, is not below A
    const uint32_t one = 1;
    ASSERT_EQ(reg_->SetValue(a, "V", plat::kRegDword, &one, 4), plat::kErrorSuccess);
    ASSERT_EQ(reg_->SetValue(deep, "V", plat::kRegDword, &one, 4), plat::kErrorSuccess);
    ASSERT_EQ(reg_->SetValue(ab, "V", plat::kRegDword, &one, 4), plat::kErrorSuccess);

    EXPECT_EQ(reg_->DeleteTree("root\\a"), plat::kErrorSuccess);
    EXPECT_FALSE(reg_->KeyExists("Root\\A"));
    EXPECT_FALSE(reg_->KeyExists("Root\\A\\B\\C\\D"));
    EXPECT_TRUE(reg_->KeyExists("Root\\AB"));
    uint32_t size = 0;
    EXPECT_EQ(reg_->QueryValue(ab, "V", nullptr, nullptr, &size), plat::kErrorSuccess);

    // Handles of deleted keys fail, and a key made again under the same path starts empty.
    EXPECT_EQ(reg_->SetValue(deep, "V", plat::kRegDword, &one, 4), plat::kErrorKeyDeleted);
    std::vector<std::string> names;
    EXPECT_EQ(reg_->EnumKeys(a, &names), plat::kErrorKeyDeleted);
    bool createdNew = false;
    Registry::Key again = Create("Root\\A\\B\\C\\D", &createdNew);
    EXPECT_TRUE(createdNew);
    EXPECT_NE(again.id, deep.id);
    EXPECT_EQ(reg_->QueryValue(again, "V", nullptr, nullptr, &size), plat::kErrorFileNotFound);

    EXPECT_EQ(reg_->DeleteTree("Root\\Missing"), plat::kErrorFileNotFound);
    EXPECT_EQ(reg_->DeleteTree(""), plat::kErrorInvalidParameter);
}

TEST_F(RegistryTest, EnumKeysIsOrderedByNameWithoutCase) {
    Create("List\\b");
    Create("List\\A");
    Create("List\\C");
    Create("List\\a\\below");
    Registry::Key list;
    ASSERT_EQ(reg_->OpenKey("List", &list), plat::kErrorSuccess);
    std::vector<std::string> names;
    ASSERT_EQ(reg_->EnumKeys(list, &names), plat::kErrorSuccess);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "C"}));
}

TEST_F(RegistryTest, TransactionsCommitRollBackAndNest) {
    const uint32_t one = 1;
    {
        Registry::Transaction tx(*reg_);
        ASSERT_TRUE(tx.Active());
        Registry::Key key = Create("Tx\\Dropped");
        ASSERT_EQ(reg_->SetValue(key, "V", plat::kRegDword, &one, 4), plat::kErrorSuccess);
        tx.Rollback();
    }
    EXPECT_FALSE(reg_->KeyExists("Tx"));

    {
        Registry::Transaction tx(*reg_);
        Create("Tx\\Abandoned"); // ends without Commit
    }
    EXPECT_FALSE(reg_->KeyExists("Tx"));

    {
        Registry::Transaction outer(*reg_);
        Registry::Key kept = Create("Tx\\Kept");
        ASSERT_EQ(reg_->SetValue(kept, "V", plat::kRegDword, &one, 4), plat::kErrorSuccess);
        {
            Registry::Transaction inner(*reg_);
            ASSERT_TRUE(inner.Active());
            Create("Tx\\Inner");
            ASSERT_EQ(reg_->DeleteTree("Tx\\Kept"), plat::kErrorSuccess);
            inner.Rollback();
        }
        {
            Registry::Transaction inner(*reg_);
            Create("Tx\\InnerCommitted");
            EXPECT_EQ(inner.Commit(), plat::kErrorSuccess);
        }
        EXPECT_EQ(outer.Commit(), plat::kErrorSuccess);
    }
    EXPECT_TRUE(reg_->KeyExists("Tx\\Kept"));
    EXPECT_FALSE(reg_->KeyExists("Tx\\Inner"));
    EXPECT_TRUE(reg_->KeyExists("Tx\\InnerCommitted"));
    Registry::Key kept;
    ASSERT_EQ(reg_->OpenKey("Tx\\Kept", &kept), plat::kErrorSuccess);
    uint32_t size = 0;
    EXPECT_EQ(reg_->QueryValue(kept, "V", nullptr, nullptr, &size), plat::kErrorSuccess);

    // A committed inner transaction is still undone by its outer one's rollback.
    {
        Registry::Transaction outer(*reg_);
        {
            Registry::Transaction inner(*reg_);
            Create("Tx\\Gone");
            EXPECT_EQ(inner.Commit(), plat::kErrorSuccess);
        }
        outer.Rollback();
    }
    EXPECT_FALSE(reg_->KeyExists("Tx\\Gone"));
}

TEST_F(RegistryTest, ThreadsCreatingOneKeyGetOneRow) {
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<int> created{0};
    std::vector<int64_t> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
            }
            Registry::Key key;
            bool createdNew = false;
            EXPECT_EQ(reg_->CreateKey("Race\\Key", &key, &createdNew), plat::kErrorSuccess);
            ids[t] = key.id;
            created += createdNew ? 1 : 0;
            uint32_t v = static_cast<uint32_t>(t);
            EXPECT_EQ(reg_->SetValue(key, "Shared", plat::kRegDword, &v, 4), plat::kErrorSuccess);
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(created.load(), 1);
    for (int64_t id : ids) {
        EXPECT_EQ(id, ids[0]);
    }
    std::vector<Registry::Value> values;
    ASSERT_EQ(reg_->EnumValues(Registry::Key{ids[0]}, &values), plat::kErrorSuccess);
    EXPECT_EQ(values.size(), 1u);
}

TEST_F(RegistryTest, TwoConnectionsShareTheFile) {
    // A second object on the same file stands for a second process.
    Registry other(path_);
    ASSERT_TRUE(other.IsOpen());
    constexpr int kWrites = 50;
    auto writer = [](Registry& reg, const char* name) {
        Registry::Key key;
        ASSERT_EQ(reg.CreateKey("Shared\\Key", &key), plat::kErrorSuccess);
        for (uint32_t i = 0; i < kWrites; ++i) {
            ASSERT_EQ(reg.SetValue(key, name, plat::kRegDword, &i, 4), plat::kErrorSuccess);
        }
    };
    std::thread a(writer, std::ref(*reg_), "First");
    std::thread b(writer, std::ref(other), "Second");
    a.join();
    b.join();

    Registry::Key key;
    ASSERT_EQ(other.OpenKey("SHARED\\KEY", &key), plat::kErrorSuccess);
    std::vector<Registry::Value> values;
    ASSERT_EQ(reg_->EnumValues(key, &values), plat::kErrorSuccess);
    ASSERT_EQ(values.size(), 2u);
    for (const auto& v : values) {
        uint32_t last = 0;
        std::memcpy(&last, v.data.data(), 4);
        EXPECT_EQ(last, static_cast<uint32_t>(kWrites - 1)) << v.name;
    }

    // What one connection wrote survives its closing and a fresh open.
    reg_.reset();
    Registry reopened(path_);
    EXPECT_TRUE(reopened.KeyExists("shared\\key"));

    // The hive and the WAL files SQLite makes beside it are private to the user.
    for (const std::string& file : {path_, path_ + "-wal", path_ + "-shm"}) {
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
}

TEST_F(RegistryTest, TwoProcessesWriteTheFileAtOnce) {
    constexpr uint32_t kWrites = 100;
    auto writeAll = [this](Registry& reg, const char* name) {
        Registry::Key key;
        if (reg.CreateKey("Processes", &key) != plat::kErrorSuccess) {
            return false;
        }
        for (uint32_t i = 0; i < kWrites; ++i) {
            if (reg.SetValue(key, name, plat::kRegDword, &i, 4) != plat::kErrorSuccess) {
                return false;
            }
        }
        return true;
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Registry own(path_); // a child must not use its parent's connection
        _exit(own.IsOpen() && writeAll(own, "Child") ? 0 : 1);
    }
    EXPECT_TRUE(writeAll(*reg_, "Parent"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    Registry::Key key;
    ASSERT_EQ(reg_->OpenKey("processes", &key), plat::kErrorSuccess);
    for (const char* name : {"Parent", "Child"}) {
        uint32_t value = 0;
        uint32_t size = sizeof(value);
        ASSERT_EQ(reg_->QueryValue(key, name, nullptr, &value, &size), plat::kErrorSuccess);
        EXPECT_EQ(value, kWrites - 1) << name;
    }
}

// Keeps the lines a hive reports for the life of the object.
class ReportRecorder {
public:
    ReportRecorder() {
        Registry::SetReportSink([this](const std::string& line) {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(line);
        });
    }
    ~ReportRecorder() { Registry::SetReportSink(nullptr); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

std::string FileBytes(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) {
        return std::filesystem::exists(path) ? "<not a file>" : "<missing>";
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RegistryTest, AHiveThatCannotBeOpenedAnswersErrorsReportsOnceAndOpensLaterWhenItCan) {
    struct Case {
        const char* name;
        std::string path;
        std::function<void()> breakIt;
        std::function<void()> mend;
        std::string message; // SQLite's or the system's words for it
    };
    const std::string junk = dir_ + "/junk.sqlite3";
    const std::string missing = dir_ + "/no/such/registry.sqlite3";
    const std::string directory = dir_ + "/dir.sqlite3";
    const std::string fifo = dir_ + "/fifo.sqlite3";
    const std::string socket = dir_ + "/socket.sqlite3";
    const std::string device = dir_ + "/device.sqlite3";
    const std::string dangling = dir_ + "/dangling.sqlite3";
    auto remove = [](const std::string& file) { return [file] { std::filesystem::remove(file); }; };
    // A FIFO, socket or device file at `file`; the null device is a link to it where this
    // process may not make device files.
    auto make = [](const std::string& file, mode_t kind) {
        return [file, kind] {
            if (mknod(file.c_str(), kind | 0600, makedev(1, 3)) != 0 && kind == S_IFCHR) {
                std::filesystem::create_symlink("/dev/null", file);
            }
        };
    };
    // Each file SQLite keeps beside a hive that holds settings (the fixture's).
    auto companion = [&](const char* suffix) {
        return Case{suffix, path_, make(path_ + suffix, S_IFIFO), remove(path_ + suffix),
                    path_ + suffix + " is not a regular file (Is a named pipe)"};
    };
    reg_.reset();
    const Case cases[] = {
        {"junk", junk, [&] { std::ofstream(junk, std::ios::binary) << std::string(4096, 'x'); },
         remove(junk), "file is not a database"},
        {"missing directory", missing, [] {},
         [&] { std::filesystem::create_directories(dir_ + "/no/such"); },
         "No such file or directory"},
        {"directory", directory, [&] { std::filesystem::create_directory(directory); },
         remove(directory), "not a regular file (Is a directory)"},
        {"fifo", fifo, make(fifo, S_IFIFO), remove(fifo), "not a regular file (Is a named pipe)"},
        {"socket", socket, make(socket, S_IFSOCK), remove(socket),
         "not a regular file (Is a socket)"},
        {"device", device, make(device, S_IFCHR), remove(device),
         "not a regular file (Is a character device)"},
        companion("-journal"),
        companion("-wal"),
        companion("-shm"),
        // A link is followed: SQLite's files lie beside the hive it leads to.
        {"link", dir_ + "/link.sqlite3",
         [&] {
             std::filesystem::create_symlink(path_, dir_ + "/link.sqlite3");
             make(path_ + "-wal", S_IFIFO)();
         },
         remove(path_ + "-wal"), path_ + "-wal is not a regular file (Is a named pipe)"},
        // SQLite would make a hive where the link points; mended, the link leads to a file.
        {"dangling link", dangling,
         [&] { std::filesystem::create_symlink(dir_ + "/elsewhere.sqlite3", dangling); },
         [&] { std::ofstream(dir_ + "/elsewhere.sqlite3"); },
         "the link leads nowhere (No such file or directory)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InChildWithin(10, [&] {
            plat::FakeClock clock(5000);
            plat::ScopedClock scoped(clock);
            ReportRecorder reports;
            c.breakIt();
            const std::string before = FileBytes(c.path);
            Registry reg(c.path);
            EXPECT_FALSE(reg.IsOpen());
            EXPECT_FALSE(reg.OpenError().empty());
            for (int round = 0; round < 3; ++round) {
                clock.Advance(1000); // each round may try to open again
                Registry::Key key;
                EXPECT_EQ(reg.CreateKey("Software", &key), plat::kErrorBadDb);
                EXPECT_EQ(reg.OpenKey("Software", &key), plat::kErrorBadDb);
                uint32_t size = 0;
                EXPECT_EQ(reg.QueryValue(Registry::Key{1}, "V", nullptr, nullptr, &size),
                          plat::kErrorBadDb);
                EXPECT_EQ(reg.SetValue(Registry::Key{1}, "V", plat::kRegSz, "", 1),
                          plat::kErrorBadDb);
                Registry::Transaction tx(reg);
                EXPECT_FALSE(tx.Active());
            }
            // One line, however often it failed; the file is left as it was.
            ASSERT_EQ(reports.Lines().size(), 1u);
            EXPECT_EQ(reports.Lines()[0].rfind("Registry: cannot open " + c.path + ": ", 0), 0u);
            EXPECT_NE(reports.Lines()[0].find(c.message), std::string::npos) << reports.Lines()[0];
            EXPECT_EQ(FileBytes(c.path), before);

            // Mended: not tried again within the second of the last attempt, then opened.
            c.mend();
            Registry::Key key;
            EXPECT_EQ(reg.CreateKey("Software", &key), plat::kErrorBadDb);
            clock.Advance(999);
            EXPECT_EQ(reg.CreateKey("Software", &key), plat::kErrorBadDb);
            clock.Advance(1);
            EXPECT_EQ(reg.CreateKey("Software", &key), plat::kErrorSuccess);
            EXPECT_TRUE(reg.IsOpen());
            EXPECT_TRUE(reg.OpenError().empty());
            EXPECT_EQ(reports.Lines().back(), "Registry: " + c.path + " is open again");
            EXPECT_EQ(reports.Lines().size(), 2u);
        });
    }
}

// A folder (a tmpfs of 256 KiB) where a hive can be read but not written, and how it is mended.
struct Unwritable {
    const char* name;
    std::function<bool(const std::string& dir)> breakIt;
    std::function<bool(const std::string& dir)> mend;
    const char* reason; // SQLite's words for it, with the system's
};

std::vector<Unwritable> UnwritableFolders() {
    auto remount = [](unsigned long flags) {
        return [flags](const std::string& dir) {
            return mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | flags, "size=256k") == 0;
        };
    };
    return {
        {"read-only folder", remount(MS_RDONLY), remount(0),
         "unable to open database file (Read-only file system)"},
        {"full disk",
         [](const std::string& dir) {
             std::ofstream filler(dir + "/filler");
             for (int i = 0; i < 100 && filler; ++i) {
                 filler << std::string(4096, 'x') << std::flush;
             }
             return !filler;
         },
         [](const std::string& dir) { return unlink((dir + "/filler").c_str()) == 0; },
         "disk I/O error (No space left on device)"},
    };
}

// In a child process, on a tmpfs of 256 KiB of its own made at `dir`: a hive at `file` whose
// Software\Quorvex holds "Value" 200, then `body` with that key. False when it could not run.
bool WithHiveOnTmpfs(const std::string& dir, const std::string& file,
                     const std::function<void(Registry::Key)>& body) {
    EXPECT_TRUE(std::filesystem::create_directory(dir));
    return WithPrivateMounts([&] {
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
            return false;
        }
        Registry::Key key;
        const uint32_t value = 200;
        Registry(file).CreateKey("Software\\Quorvex", &key);
        Registry(file).SetValue(key, "Value", plat::kRegDword, &value, 4);
        body(key);
        return true;
    });
}

TEST_F(RegistryTest, AHiveThatCannotBeWrittenIsReadSaysSoOnceAndIsWrittenWhenItCanBe) {
    for (const Unwritable& c : UnwritableFolders()) {
        SCOPED_TRACE(c.name);
        const std::string dir = dir_ + "/" + c.name;
        const std::string path = dir + "/registry.sqlite3";
        const bool ran = WithHiveOnTmpfs(dir, path, [&](Registry::Key key) {
            EXPECT_TRUE(c.breakIt(dir));
            plat::FakeClock clock(5000);
            plat::ScopedClock scoped(clock);
            ReportRecorder reports;
            Registry reg(path);
            uint32_t value = 0, size = 4;
            auto store = [&](uint32_t v) {
                return reg.SetValue(key, "Value", plat::kRegDword, &v, 4);
            };
            EXPECT_EQ(reg.QueryValue(key, "Value", nullptr, &value, &size), plat::kErrorSuccess);
            EXPECT_EQ(value, 200u);
            clock.Advance(1000); // from here a write may try to open the hive for writing
            EXPECT_EQ(store(201), plat::kErrorBadDb);
            EXPECT_EQ(reg.CreateKey("Software\\New", &key), plat::kErrorBadDb);
            // Mended: tried again a second after the last attempt, not sooner.
            EXPECT_TRUE(c.mend(dir));
            EXPECT_EQ(store(202), plat::kErrorBadDb);
            clock.Advance(999);
            EXPECT_EQ(store(203), plat::kErrorBadDb);
            clock.Advance(1);
            EXPECT_EQ(store(204), plat::kErrorSuccess);
            EXPECT_EQ(reg.QueryValue(key, "Value", nullptr, &value, &size), plat::kErrorSuccess);
            EXPECT_EQ(value, 204u);
            EXPECT_EQ(reports.Lines(), (std::vector<std::string>{
                                           "Registry: the settings in " + path +
                                               " are read-only, changes are not saved: " + c.reason,
                                           "Registry: " + path + " is writable again"}));
        });
        if (!ran) {
            GTEST_SKIP() << "this machine gives no private mounts, or refuses a tmpfs";
        }
    }
}

// A program that ended without closing the hive left its last change in the WAL, and the
// shared-memory file is gone (the folder was copied without it). The change is read or the hive
// is not opened, also through a link from another folder: reading the file alone would hide it.
TEST_F(RegistryTest, AChangeStillInTheWalIsReadOrTheHiveStaysClosed) {
    for (const Unwritable& c : UnwritableFolders()) {
        for (bool viaLink : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (viaLink ? ", through a link" : ""));
            const std::string dir = dir_ + "/" + c.name + (viaLink ? " linked" : "");
            const std::string file = dir + "/registry.sqlite3";
            const std::string path = viaLink ? dir + ".sqlite3" : file;
            const bool ran = WithHiveOnTmpfs(dir, file, [&](Registry::Key key) {
                if (fork() == 0) {
                    const uint32_t value = 201;
                    (new Registry(file))->SetValue(key, "Value", plat::kRegDword, &value, 4);
                    _exit(0);
                }
                wait(nullptr);
                struct stat wal {};
                EXPECT_TRUE(stat((file + "-wal").c_str(), &wal) == 0 && wal.st_size > 0);
                EXPECT_EQ(unlink((file + "-shm").c_str()), 0);
                EXPECT_TRUE(c.breakIt(dir));
                if (viaLink) {
                    std::filesystem::create_symlink(file, path);
                }
                ReportRecorder reports;
                uint32_t value = 0, size = 4;
                const long read = Registry(path).QueryValue(key, "Value", nullptr, &value, &size);
                // On a read-only folder SQLite cannot rebuild the shared memory the WAL is read
                // through.
                const bool readOnly = std::string(c.name) == "read-only folder";
                EXPECT_EQ(read, readOnly ? plat::kErrorBadDb : plat::kErrorSuccess);
                EXPECT_EQ(value, readOnly ? 0u : 201u);
                EXPECT_EQ(reports.Lines(),
                          std::vector<std::string>{
                              (readOnly ? "Registry: cannot open " + path + ": "
                                        : "Registry: the settings in " + path +
                                              " are read-only, changes are not saved: ") +
                              c.reason});
            });
            if (!ran) {
                GTEST_SKIP() << "this machine gives no private mounts, or refuses a tmpfs";
            }
        }
    }
}

TEST_F(RegistryTest, ADamagedHiveIsReportedOnceWithSqlitesWords) {
    // A small value and a large one, written last, whose overflow pages end the file.
    Registry::Key key = Create("Software\\Quorvex");
    const std::string large(64 * 1024, 'x');
    ASSERT_EQ(reg_->SetValue(key, "Small", plat::kRegSz, "s", 1), plat::kErrorSuccess);
    ASSERT_EQ(reg_->SetValue(key, "Large", plat::kRegBinary, large.data(), 64 * 1024), 0);
    reg_.reset();
    // Overflow pages that point past the end of the file. Opening reads only the schema and the
    // root key, so the reads after it meet the damage.
    std::fstream(path_, std::ios::binary | std::ios::in | std::ios::out)
            .seekp(-32768, std::ios::end)
        << std::string(32768, '\xFF');

    ReportRecorder reports;
    Registry reg(path_);
    uint32_t size = 0;
    for (int read = 0; read < 3; ++read) {
        EXPECT_EQ(reg.QueryValue(key, "Large", nullptr, nullptr, &size), plat::kErrorBadDb);
    }
    EXPECT_EQ(reg.QueryValue(key, "Small", nullptr, nullptr, &size), plat::kErrorSuccess);
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{"Registry: value query failed in " + path_ +
                                                        ": database disk image is malformed"});
}

TEST_F(RegistryTest, AWriteLockHeldLongerThanTheBusyTimeOutStopsOnlyTheWrites) {
    Registry::Key key = Create("Software\\Quorvex");
    const uint32_t one = 1;
    ASSERT_EQ(reg_->SetValue(key, "V", plat::kRegDword, &one, 4), plat::kErrorSuccess);
    reg_.reset();

    // Another process holds the write lock for 8 s (the busy time-out is 5 s).
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Registry own(path_);
        Registry::Transaction tx(own);
        Registry::Key k;
        const bool locked = tx.Active() && own.CreateKey("Software\\Other", &k) == 0;
        char byte = locked ? 1 : 0;
        if (write(ready[1], &byte, 1) != 1) {
            _exit(2);
        }
        std::this_thread::sleep_for(std::chrono::seconds(8));
        _exit(tx.Commit() == plat::kErrorSuccess ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);

    ReportRecorder reports;
    Registry reg(path_); // opened while the lock is held
    EXPECT_TRUE(reg.IsOpen()) << reg.OpenError();
    Registry::Key opened;
    ASSERT_EQ(reg.OpenKey("Software\\Quorvex", &opened), plat::kErrorSuccess);
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    EXPECT_EQ(reg.QueryValue(opened, "V", nullptr, &value, &size), plat::kErrorSuccess);
    EXPECT_EQ(value, 1u);
    const uint32_t two = 2;
    EXPECT_EQ(reg.SetValue(opened, "V", plat::kRegDword, &two, 4), plat::kErrorBadDb);
    // The lost write is one line of the program's trace, naming the value.
    EXPECT_EQ(reports.Lines(),
              std::vector<std::string>{"Registry: value write of Software\\Quorvex\\V failed in " +
                                       path_ +
                                       ": database is locked; another process held the write "
                                       "lock too long, the change is lost"});

    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(ready[0]);
    close(ready[1]);

    // Released: writes and reads work again on the same object.
    EXPECT_EQ(reg.SetValue(opened, "V", plat::kRegDword, &two, 4), plat::kErrorSuccess);
    size = sizeof(value);
    EXPECT_EQ(reg.QueryValue(opened, "V", nullptr, &value, &size), plat::kErrorSuccess);
    EXPECT_EQ(value, 2u);
    EXPECT_TRUE(reg.KeyExists("Software\\Other"));
}

TEST_F(RegistryTest, CurrentUserLivesInTheConfigDirAndCanBeReplaced) {
    Registry* previous = Registry::SetCurrentUserForTests(reg_.get());
    EXPECT_EQ(&Registry::CurrentUser(), reg_.get());
    Registry::SetCurrentUserForTests(previous);

    // The real hive is opened once, under the config dir that QUORVEX_HOME points to.
    ASSERT_EQ(setenv("QUORVEX_HOME", (dir_ + "/home").c_str(), 1), 0);
    Registry& real = Registry::CurrentUser();
    unsetenv("QUORVEX_HOME");
    EXPECT_NE(&real, reg_.get());
    EXPECT_EQ(real.Path(), dir_ + "/home/config/registry.sqlite3");
    EXPECT_TRUE(real.IsOpen());
    EXPECT_EQ(&Registry::CurrentUser(), &real);
}

} // namespace
