#pragma once
#include "platform/core/CriticalSection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace plat {

// Value types, numbered as the original platform numbers them.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// Result codes, numbered as the original platform's error codes.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2; // key or value does not exist
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234; // the caller's buffer is too small
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorBadDb = 1009;      // the database could not be opened or used
constexpr long kErrorKeyDeleted = 1018; // the key behind a handle was deleted

// A user's registry hive: a tree of keys holding typed values, kept in one SQLite file.
//
// Keys are addressed by backslash-separated paths from the hive's root ("Software\Quorvex").
// Key and value names compare without regard to ASCII case; a key or value keeps the spelling
// it was first written with. Empty path components are ignored, so "" is the root key.
// Values are raw bytes with a type; a string value holds exactly the bytes the caller stored.
//
// Threads: every member may be called from any thread, including audio threads. One SQLite
// connection serves all of them; `lock_` (recursive) guards the connection (which a later call
// may open after a failed open), its prepared statements, the open state, what was reported and
// `txDepth_`. A Transaction holds `lock_` from its start to its end, so other threads wait
// instead of seeing or joining its changes. Several processes (and several objects in one
// process) may share the file: SQLite's WAL mode and a busy timeout arbitrate between them. A
// write that meets another process's write lock waits up to the busy time-out (5 s), then fails
// and is reported. Only SQLite opens or closes descriptors of the file: closing any other would
// drop every POSIX lock this process holds on it.
class Registry {
public:
    // A handle to an open key. Handles stay valid until the key is deleted; operations on a
    // handle whose key was deleted answer kErrorKeyDeleted (or not found for queries).
    struct Key {
        int64_t id = 0;
        explicit operator bool() const { return id != 0; }
    };

    struct Value {
        std::string name;
        uint32_t type = kRegNone;
        std::string data;
    };

    // Opens (creating when missing, private to the user) the hive at `path`. A hive that cannot
    // be opened leaves the object usable: every operation answers kErrorBadDb until a later one
    // (at most one attempt a second) opens it. A hive that can be read but not written (a
    // read-only folder, a disk too full for SQLite's shared-memory file) is opened for reading:
    // writes answer kErrorBadDb until a later one (at most one attempt a second) can write.
    // The file is never changed to make it open. A FIFO, socket, device or directory at the
    // path (or in the place of SQLite's journal, WAL or shared-memory file beside it) cannot be
    // opened, and neither can a link that leads nowhere; a link to a regular file is followed,
    // and SQLite's files lie beside the file it leads to.
    explicit Registry(const std::string& path);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    bool IsOpen() const;
    const std::string& Path() const { return path_; }
    // Why the hive could not be opened; empty when it is open.
    std::string OpenError() const;

    // Where a hive reports, in one line each time, with its path and SQLite's message: that it
    // cannot be opened, that it is read-only, that it is open or writable again, the first
    // failure of each kind in its life (a file damaged while open fails every read after), and
    // each write lost because another process held the write lock beyond the busy time-out.
    // The program sends these lines to its trace log; they always go to the debug output too.
    // Any thread; null removes the sink.
    static void SetReportSink(std::function<void(const std::string& line)> sink);

    // The current user's hive, <ConfigDir()>/registry.sqlite3, opened on first use and kept
    // for the life of the process (threads may still use it while static objects are torn
    // down). Tests may put another hive in its place.
    static Registry& CurrentUser();
    // Makes `registry` the current user's hive (nullptr restores the real one). Returns the
    // previous replacement. The caller keeps ownership and must restore before destroying it.
    static Registry* SetCurrentUserForTests(Registry* registry);

    // Opens the key at `path`, creating it and its missing parents. `createdNew` (optional)
    // says whether this call created the key itself.
    long CreateKey(std::string_view path, Key* key, bool* createdNew = nullptr);
    // Opens an existing key; kErrorFileNotFound when it (or a parent) is missing.
    long OpenKey(std::string_view path, Key* key);
    bool KeyExists(std::string_view path);

    // Reads a value. With `data` null only the type and size are reported. When `*size` is
    // smaller than the value, `*size` is set to the size needed and kErrorMoreData returned
    // (the buffer is left as it was). `type` and `size` may be null (size only with null data).
    long QueryValue(Key key, std::string_view name, uint32_t* type, void* data, uint32_t* size);
    // Creates or replaces a value with `size` bytes of `data`.
    long SetValue(Key key, std::string_view name, uint32_t type, const void* data, uint32_t size);
    long DeleteValue(Key key, std::string_view name);
    // Deletes the key at `path` with all its subkeys and values. The root cannot be deleted.
    long DeleteTree(std::string_view path);

    // Names of the direct subkeys, ordered by name without regard to case.
    long EnumKeys(Key key, std::vector<std::string>* names);
    // The key's values in the order they were first created.
    long EnumValues(Key key, std::vector<Value>* values);

    // Groups changes so that they all take effect or none do. The object must end on the
    // thread that made it; other threads' registry calls wait until it ends. Transactions nest:
    // an inner one that rolls back undoes only its own changes. Ending without Commit() rolls
    // back.
    class Transaction {
    public:
        explicit Transaction(Registry& registry);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

        // False when the transaction could not be started (its changes then apply one by one).
        bool Active() const { return active_; }
        long Commit();
        void Rollback();

    private:
        Registry& registry_;
        bool active_ = false;
        int level_ = 0;
    };

private:
    friend class Transaction;
    class Statement;
    class ReadScope;

    // How a connection opens the file: for reading and writing; for reading only, with the
    // shared-memory file read-only too; or the file alone, for a folder where SQLite can make
    // neither of its WAL files.
    enum class Access { kReadWrite, kReadOnly, kFileOnly };
    // A failed step either reads or writes; a write that fails loses a change.
    enum class Step { kRead, kWrite };

    // With lock_ held: true when the hive is open, opening it again after a failure when the
    // last attempt is at least kReopenIntervalMs old; reports each change of state.
    bool EnsureOpen();
    // EnsureOpen, and for a hive open read-only, an attempt (as often as EnsureOpen's) to open
    // it for writing again. False when it cannot be written.
    bool EnsureWritable();
    // Opens the hive for writing or, failing that, for reading; reports each change of state.
    bool TryOpen();
    // Reports, once until the hive opens again, that it cannot be opened (openError_).
    void ReportOpenFailure();
    // Sets file_, and says why the hive cannot be opened when it, or a file SQLite keeps
    // beside it (journal, WAL, shared memory), is there but no regular file, or when a link
    // at the path leads nowhere; empty otherwise. Looks with stat only: opening is SQLite's.
    std::string FindHiveFile();
    bool Connect(Access access);
    bool Setup(Access access);
    void CloseConnection();
    // Whether the WAL holds nothing that the file alone lacks.
    bool WalIsEmpty() const;
    // Whether the hive already has its tables and root key (a read; no write lock needed).
    bool SchemaPresent();
    bool Exec(const char* sql);
    // SQLite's message for the last failure, with the system's reason where it has one.
    std::string ErrorText() const;
    // `message` with the system's reason, for the kinds of failure that have one.
    std::string WithSystemReason(std::string message, int primary) const;
    // Why the file, or its folder (where SQLite makes its WAL files), cannot be written; empty
    // when both can.
    std::string WriteBlocker() const;
    // Traces a failed step. The program's sink gets SQLite's message the first time each kind
    // of failure happens, and every write lost to another process's write lock.
    void Fail(const char* what, Step step = Step::kRead,
              const std::function<std::string()>& subject = nullptr);
    std::string ValueSubject(Key key, std::string_view name);
    std::string KeyPathOf(int64_t id);
    sqlite3_stmt* Prepare(sqlite3_stmt*& slot, const char* sql);
    long FindChild(int64_t parent, std::string_view name, int64_t* child);
    long Resolve(std::string_view path, int64_t* id, bool* allFound);
    // Resolve for a path that must exist whole: kErrorFileNotFound when part of it is missing.
    long ResolveExisting(std::string_view path, int64_t* id);
    // With lock_ held: kErrorSuccess when the database is open and `key` still exists.
    long CheckLiveKey(Key key);
    // Steps `stmt` to its end, handing each row to `row`; a failed step is traced as `what`.
    long ReadRows(sqlite3_stmt* stmt, const char* what,
                  const std::function<void(sqlite3_stmt*)>& row);
    bool KeyAlive(int64_t id);
    long MapError(int rc) const;

    // Transaction steps; called with lock_ held. Return the nesting level begun, or 0.
    int BeginLevel();
    long EndLevel(int level, bool commit);

    std::string path_;
    std::string file_;      // path_, or the file a link at path_ leads to; guarded by lock_,
    std::string openError_; // like everything below
    mutable CriticalSection lock_;
    sqlite3* db_ = nullptr;
    bool readOnly_ = false;         // open for reading only
    bool reportedFailure_ = false;  // "cannot open" was reported since the hive last opened
    bool reportedReadOnly_ = false; // "read-only" was reported since it was last writable
    uint32_t reportedKinds_ = 0;    // bit n: a failure with SQLite's primary code n was reported
    uint32_t lastAttemptMs_ = 0;
    int txDepth_ = 0;
    sqlite3_stmt* beginRead_ = nullptr;
    sqlite3_stmt* endRead_ = nullptr;
    sqlite3_stmt* findChild_ = nullptr;
    sqlite3_stmt* insertChild_ = nullptr;
    sqlite3_stmt* keyAlive_ = nullptr;
    sqlite3_stmt* queryValue_ = nullptr;
    sqlite3_stmt* setValue_ = nullptr;
    sqlite3_stmt* deleteValue_ = nullptr;
    sqlite3_stmt* deleteTree_ = nullptr;
    sqlite3_stmt* enumKeys_ = nullptr;
    sqlite3_stmt* enumValues_ = nullptr;
};

} // namespace plat
