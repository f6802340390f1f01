#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "app/contacts/CallHistory.h"
#include "app/contacts/ContactBook.h"
#include "platform/store/Registry.h"
#include "tests/support/RegistrySandbox.h"

namespace {

ino_t Inode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// What `sqlite3 <file> '<sql>'` does: open, read the first column of the first row, close.
std::string ReadAsAnotherTool(const std::string& file, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    std::string result = "<failed>";
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK && sqlite3_busy_timeout(db, 5000) == 0 &&
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

// The program writes through its stores and, opened after them, a second connection as the media
// library keeps one, while another process opens, reads and closes the hive between its writes.
// Every write survives the program's end, even one without closing its connections, and the WAL
// is never taken away from under the program.
TEST(HiveSharingTest, AnOutsideReaderBetweenWritesLosesNothing) {
    constexpr int kRounds = 4;
    for (bool killed : {true, false}) {
        SCOPED_TRACE(killed ? "writer killed" : "writer closes its connections");
        RegistrySandbox sandbox;
        const std::string file = sandbox.Dir() + "/shared.sqlite3";
        int link[2]; // [0] the test's end, [1] the writer's
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, link), 0);
        pid_t writer = fork();
        if (writer == 0) {
            char command = 'w';
            {
                plat::Registry program(file);
                ContactBook contacts(program);
                CallHistory history(program);
                std::optional<plat::Registry> engine;
                for (int n = 0; command == 'w'; ++n) {
                    const std::string text = std::to_string(n);
                    if (!contacts.AddContact("Contact " + text, "10" + text) ||
                        !history.AddEntry("", "20" + text, HistoryList::Dialed)) {
                        _exit(1);
                    }
                    if (!engine) {
                        engine.emplace(file); // opened after the program's, as the engine's is
                    }
                    if (!engine->KeyExists("Software\\Quorvex") || write(link[1], "w", 1) != 1 ||
                        read(link[1], &command, 1) != 1) {
                        _exit(1);
                    }
                }
            }
            _exit(command == 'q' ? 0 : 1);
        }
        ino_t wal = 0;
        for (int round = 0; round < kRounds; ++round) {
            char ack = 0;
            ASSERT_EQ(read(link[0], &ack, 1), 1) << "round " << round;
            wal = round == 0 ? Inode(file + "-wal") : wal;
            EXPECT_EQ(ReadAsAnotherTool(file, "SELECT count(*) > 0 FROM keys"), "1");
            EXPECT_EQ(Inode(file + "-wal"), wal) << "the WAL was taken away in round " << round;
            if (round + 1 < kRounds || !killed) { // a killed writer gets no word first
                ASSERT_EQ(write(link[0], round + 1 < kRounds ? "w" : "q", 1), 1);
            }
        }
        int status = -1;
        ASSERT_TRUE(!killed || kill(writer, SIGKILL) == 0);
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        EXPECT_EQ(status, killed ? SIGKILL : 0);
        close(link[0]);
        close(link[1]);

        EXPECT_EQ(ReadAsAnotherTool(file, "PRAGMA integrity_check"), "ok");
        plat::Registry registry(file);
        std::vector<ListItem> contacts = ContactBook(registry).LoadContacts();
        std::vector<ListItem> dialed = CallHistory(registry).Reload(HistoryList::Dialed);
        EXPECT_EQ(contacts.size(), size_t{kRounds});
        EXPECT_EQ(dialed.size(), size_t{kRounds});
        ASSERT_FALSE(contacts.empty() || dialed.empty());
        EXPECT_EQ(contacts.back().text, ListItemText(kRounds, "Contact 3"));
        EXPECT_EQ(dialed.front().text, ListItemText(1, "203"));
    }
}

} // namespace
