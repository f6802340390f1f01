#include "platform/store/Registry.h"

#include "platform/core/Clock.h"
#include "platform/core/DebugOutput.h"
#include "platform/core/Paths.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace plat {

namespace {

constexpr int64_t kRootId = 1;
constexpr int kBusyTimeoutMs = 5000;
constexpr uint32_t kReopenIntervalMs = 1000;

const char* const kSchema[] = {
    // Keys form a tree under the root row (id 1). AUTOINCREMENT keeps ids of deleted keys
    // from being reused, so a stale handle never reaches a newer key.
    "CREATE TABLE IF NOT EXISTS keys ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER REFERENCES keys(id),"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE (parent, name))",
    "CREATE TABLE IF NOT EXISTS vals ("
    " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE (key, name))",
    "INSERT OR IGNORE INTO keys (id, parent, name) VALUES (1, NULL, '')",
    "PRAGMA user_version = 1",
};

std::atomic<Registry*> g_testOverride{nullptr};

void Trace(const std::string& text) {
    DebugOutput((text + "\n").c_str());
}

struct ReportSink {
    std::mutex lock;
    std::function<void(const std::string&)> sink;
};

ReportSink& Sink() {
    static ReportSink* const sink = new ReportSink; // never destroyed: used until exit
    return *sink;
}

// A change of a hive's state: to the debug output and to the program's sink.
void Report(const std::string& line) {
    Trace(line);
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard<std::mutex> guard(Sink().lock);
        sink = Sink().sink;
    }
    if (sink) {
        sink(line);
    }
}

// Splits a key path at backslashes, skipping empty components.
std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

void BindText(sqlite3_stmt* stmt, int index, std::string_view text) {
    // A null pointer would bind SQL NULL; the empty name is a name like any other.
    const char* p = text.data() ? text.data() : "";
    sqlite3_bind_text(stmt, index, p, static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string PercentEncoded(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// A file path as an SQLite URI, which may carry query parameters.
std::string SqliteUri(const std::string& path) {
    // An absolute path goes after an empty authority, so that "//x" stays a path.
    return (path.rfind('/', 0) == 0 ? "file://" : "file:") + PercentEncoded(path);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const void* p = sqlite3_column_blob(stmt, column);
    int n = sqlite3_column_bytes(stmt, column);
    return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<size_t>(n))
                      : std::string();
}

} // namespace

// Resets a cached statement when the operation that used it ends, on every path.
class Registry::Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Statement() {
        if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }

private:
    sqlite3_stmt* stmt_;
};

// Holds one read transaction over several statements when no transaction is open yet.
class Registry::ReadScope {
public:
    explicit ReadScope(Registry& reg) : reg_(reg) {
        if (sqlite3_get_autocommit(reg_.db_)) {
            Statement begin(reg_.Prepare(reg_.beginRead_, "BEGIN"));
            began_ = begin && sqlite3_step(begin.get()) == SQLITE_DONE;
        }
    }
    ~ReadScope() {
        if (began_) {
            Statement end(reg_.Prepare(reg_.endRead_, "COMMIT"));
            if (!end || sqlite3_step(end.get()) != SQLITE_DONE) {
                reg_.Exec("ROLLBACK");
            }
        }
    }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

private:
    Registry& reg_;
    bool began_ = false;
};

Registry::Registry(const std::string& path) : path_(path) {
    CriticalSectionLock guard(lock_);
    TryOpen();
}

void Registry::SetReportSink(std::function<void(const std::string& line)> sink) {
    std::lock_guard<std::mutex> guard(Sink().lock);
    Sink().sink = std::move(sink);
}

bool Registry::IsOpen() const {
    CriticalSectionLock guard(lock_);
    return db_ != nullptr;
}

std::string Registry::OpenError() const {
    CriticalSectionLock guard(lock_);
    return openError_;
}

bool Registry::EnsureOpen() {
    if (db_) {
        return true;
    }
    if (TimeMs() - lastAttemptMs_ < kReopenIntervalMs) {
        return false;
    }
    return TryOpen();
}

bool Registry::EnsureWritable() {
    if (!EnsureOpen()) {
        return false;
    }
    if (!readOnly_) {
        return true;
    }
    // A read-only hive (a full disk, a folder made read-only) is tried for writing again at
    // most once a second, never inside a transaction that reads on the present connection.
    if (txDepth_ > 0 || TimeMs() - lastAttemptMs_ < kReopenIntervalMs) {
        return false;
    }
    CloseConnection();
    return TryOpen() && !readOnly_;
}

bool Registry::TryOpen() {
    lastAttemptMs_ = TimeMs();
    openError_.clear();
    // SQLite would wait for ever on a FIFO in the place of the hive or of a file beside it,
    // so what is not a regular file is refused before SQLite opens anything.
    if (std::string refusal = FindHiveFile(); !refusal.empty()) {
        openError_ = refusal;
        ReportOpenFailure();
        return false;
    }
    std::string reason;
    bool writable = false;
    if (Connect(Access::kReadWrite)) {
        // SQLite falls back to reading a file it may not write.
        writable = !sqlite3_db_readonly(db_, "main");
        reason = WithSystemReason(sqlite3_errstr(SQLITE_READONLY), SQLITE_READONLY);
    } else {
        reason = openError_;
        // Reads still work without writing: the shared-memory file opened read-only (it may be
        // unusable, as on a full disk); in a read-only folder without one, the file alone, as
        // long as no WAL holds changes that are not in it yet.
        const bool opened =
            Connect(Access::kReadOnly) || (WalIsEmpty() && Connect(Access::kFileOnly));
        if (!opened) {
            openError_ = reason;
            ReportOpenFailure();
            return false;
        }
        openError_.clear();
    }
    readOnly_ = !writable;
    if (readOnly_) {
        if (!reportedReadOnly_) {
            Report("Registry: the settings in " + path_ +
                   " are read-only, changes are not saved: " + reason);
            reportedReadOnly_ = true;
        }
    } else if (reportedFailure_ || reportedReadOnly_) {
        Report("Registry: " + path_ + (reportedFailure_ ? " is open again" : " is writable again"));
        reportedReadOnly_ = false;
    }
    reportedFailure_ = false;
    return true;
}

void Registry::ReportOpenFailure() {
    if (!reportedFailure_) {
        Report("Registry: cannot open " + path_ + ": " + openError_);
        reportedFailure_ = true;
    }
}

std::string Registry::FindHiveFile() {
    file_ = path_;
    struct stat st {};
    // SQLite follows a link to the file it leads to and keeps its own files beside that one.
    // A link that leads nowhere is refused: SQLite would create a hive wherever it points.
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path_.c_str(), nullptr);
        if (!resolved) {
            return std::string("the link leads nowhere (") + std::strerror(errno) + ")";
        }
        file_ = resolved;
        std::free(resolved);
    }
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        const std::string name = file_ + suffix;
        // A missing file is SQLite's to create, or to report.
        if (::stat(name.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
            continue;
        }
        const char* kind = S_ISDIR(st.st_mode)    ? "Is a directory"
                           : S_ISFIFO(st.st_mode) ? "Is a named pipe"
                           : S_ISSOCK(st.st_mode) ? "Is a socket"
                           : S_ISCHR(st.st_mode)  ? "Is a character device"
                           : S_ISBLK(st.st_mode)  ? "Is a block device"
                                                  : "Is of an unknown kind";
        return (*suffix ? name + " is not" : std::string("not")) + " a regular file (" + kind + ")";
    }
    return std::string();
}

void Registry::CloseConnection() {
    for (sqlite3_stmt** stmt :
         {&beginRead_, &endRead_, &findChild_, &insertChild_, &keyAlive_, &queryValue_, &setValue_,
          &deleteValue_, &deleteTree_, &enumKeys_, &enumValues_}) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
    }
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

Registry::~Registry() {
    CloseConnection();
}

bool Registry::WalIsEmpty() const {
    struct stat st {};
    return ::stat((file_ + "-wal").c_str(), &st) != 0 || st.st_size == 0;
}

bool Registry::Connect(Access access) {
    // Only SQLite ever opens the hive: closing any other descriptor of the file would drop the
    // POSIX locks of every connection this process has on it, and another process would then
    // take the WAL away from them. A new hive is made private by SQLite itself, which creates
    // it with the mode of a private file ("modeof") and gives its WAL files the same mode.
    std::string uri = SqliteUri(path_);
    std::string modeFile;
    struct stat st {};
    int flags = SQLITE_OPEN_URI;
    if (access == Access::kReadWrite) {
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) {
            modeFile = path_ + ".modeXXXXXX";
            int fd = ::mkstemp(modeFile.data()); // mode 0600
            if (fd >= 0) {
                ::close(fd);
                uri += "?modeof=" + PercentEncoded(modeFile);
            } else {
                modeFile.clear();
            }
        }
    } else {
        flags |= SQLITE_OPEN_READONLY;
        uri += access == Access::kReadOnly ? "?readonly_shm=1" : "?immutable=1";
    }
    int rc = sqlite3_open_v2(uri.c_str(), &db_, flags, nullptr);
    if (!modeFile.empty()) {
        ::unlink(modeFile.c_str());
    }
    if (rc != SQLITE_OK) {
        openError_ = db_ ? ErrorText() : sqlite3_errstr(rc);
    }
    if (rc == SQLITE_OK && Setup(access)) {
        return true;
    }
    CloseConnection();
    return false;
}

bool Registry::Setup(Access access) {
    // Keeps SQLite's words for the failed step.
    auto failed = [this] {
        openError_ = ErrorText();
        return false;
    };
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);

    if (access == Access::kReadWrite) {
        // WAL lets readers run beside a writer; NORMAL skips the disk sync on every commit
        // (values are written from audio threads), and a crash of the program still loses
        // nothing.
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode = WAL", -1, &stmt, nullptr) != SQLITE_OK) {
            return failed();
        }
        int rc = sqlite3_step(stmt);
        std::string mode = rc == SQLITE_ROW ? ColumnText(stmt, 0) : std::string();
        sqlite3_finalize(stmt);
        if (rc != SQLITE_ROW) {
            return failed();
        }
        if (mode != "wal") {
            Trace("Registry: " + path_ + " runs in journal mode " + mode + " instead of WAL");
        }
        if (!Exec("PRAGMA synchronous = NORMAL")) {
            return failed();
        }
    }
    if (!Exec("PRAGMA foreign_keys = ON")) {
        return failed();
    }
    // A hive that has its schema needs no write lock to open: another process may hold one
    // for longer than the busy time-out, and reads must still work then.
    if (SchemaPresent()) {
        return true;
    }
    if (access != Access::kReadWrite || sqlite3_db_readonly(db_, "main")) {
        openError_ = "the file holds no settings";
        return false;
    }
    // Two processes may create the schema at once; the write lock and IF NOT EXISTS make
    // that harmless.
    if (!Exec("BEGIN IMMEDIATE")) {
        return failed();
    }
    for (const char* sql : kSchema) {
        if (!Exec(sql)) {
            failed();
            Exec("ROLLBACK");
            return false;
        }
    }
    if (!Exec("COMMIT")) {
        failed();
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

std::string Registry::ErrorText() const {
    if (!db_) {
        return "not open";
    }
    return WithSystemReason(sqlite3_errmsg(db_), sqlite3_extended_errcode(db_) & 0xff);
}

std::string Registry::WithSystemReason(std::string message, int primary) const {
    if (primary != SQLITE_CANTOPEN && primary != SQLITE_IOERR && primary != SQLITE_READONLY) {
        return message;
    }
    // SQLite's last system error may come from a later fallback (a missing shared-memory file
    // tried read-only), so a file or folder that cannot be written names the reason first.
    std::string why = WriteBlocker();
    if (why.empty() && db_) {
        if (int err = sqlite3_system_errno(db_); err != 0) {
            why = std::strerror(err);
        }
    }
    return why.empty() ? message : message + " (" + why + ")";
}

std::string Registry::WriteBlocker() const {
    if (::access(file_.c_str(), W_OK) != 0 && errno != ENOENT) {
        return std::strerror(errno);
    }
    const size_t slash = file_.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : file_.substr(0, slash));
    if (::access(dir.c_str(), W_OK) != 0) {
        return std::strerror(errno);
    }
    return std::string();
}

bool Registry::SchemaPresent() {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "SELECT (SELECT user_version FROM pragma_user_version) = 1 AND"
                           " EXISTS (SELECT 1 FROM keys WHERE id = 1) AND"
                           " EXISTS (SELECT 1 FROM sqlite_schema WHERE name = 'vals')",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        return false; // no keys table yet, or unreadable: set the schema up
    }
    const bool present = sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) == 1;
    sqlite3_finalize(stmt);
    return present;
}

bool Registry::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void Registry::Fail(const char* what, Step step, const std::function<std::string()>& subject) {
    const int primary = db_ ? (sqlite3_extended_errcode(db_) & 0xff) : SQLITE_MISUSE;
    const std::string error = ErrorText(); // before `subject` reads the hive again
    std::string line = std::string("Registry: ") + what;
    if (subject) {
        line += " of " + subject();
    }
    line += " failed in " + path_ + ": " + error;
    const uint32_t kind = 1u << (primary & 31);
    if (step == Step::kWrite && (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)) {
        Report(line + "; another process held the write lock too long, the change is lost");
    } else if ((reportedKinds_ & kind) == 0) {
        reportedKinds_ |= kind;
        Report(line);
    } else {
        Trace(line);
    }
}

std::string Registry::ValueSubject(Key key, std::string_view name) {
    return KeyPathOf(key.id) + "\\" + std::string(name);
}

std::string Registry::KeyPathOf(int64_t id) {
    std::string path;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT parent, name FROM keys WHERE id = ?1", -1, &stmt,
                           nullptr) != SQLITE_OK) {
        return "key " + std::to_string(id);
    }
    // The depth bound only guards against a damaged file whose parents form a loop.
    for (int depth = 0; id != kRootId && depth < 1000; ++depth) {
        sqlite3_bind_int64(stmt, 1, id);
        if (sqlite3_step(stmt) != SQLITE_ROW) {
            path = "key " + std::to_string(id) + (path.empty() ? "" : "\\" + path);
            break;
        }
        std::string name = ColumnText(stmt, 1);
        id = sqlite3_column_int64(stmt, 0);
        path = path.empty() ? name : name + "\\" + path;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    return path;
}

sqlite3_stmt* Registry::Prepare(sqlite3_stmt*& slot, const char* sql) {
    if (!slot &&
        sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr) != SQLITE_OK) {
        Fail("prepare");
        slot = nullptr;
    }
    return slot;
}

long Registry::MapError(int rc) const {
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) {
        return kErrorKeyDeleted;
    }
    return kErrorBadDb;
}

Registry& Registry::CurrentUser() {
    if (Registry* replacement = g_testOverride.load(std::memory_order_acquire)) {
        return *replacement;
    }
    // Never destroyed: engine threads may still read settings while the process exits.
    static Registry* const hive = new Registry(JoinPath(ConfigDir(), "registry.sqlite3"));
    return *hive;
}

Registry* Registry::SetCurrentUserForTests(Registry* registry) {
    return g_testOverride.exchange(registry, std::memory_order_acq_rel);
}

long Registry::FindChild(int64_t parent, std::string_view name, int64_t* child) {
    Statement st(Prepare(findChild_, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2"));
    if (!st) {
        return kErrorBadDb;
    }
    sqlite3_bind_int64(st.get(), 1, parent);
    BindText(st.get(), 2, name);
    int rc = sqlite3_step(st.get());
    if (rc == SQLITE_ROW) {
        *child = sqlite3_column_int64(st.get(), 0);
        return kErrorSuccess;
    }
    if (rc == SQLITE_DONE) {
        return kErrorFileNotFound;
    }
    Fail("key lookup");
    return kErrorBadDb;
}

// Walks `path` from the root as far as it exists. `*id` is the deepest key found and
// `*allFound` says whether that is the whole path.
long Registry::Resolve(std::string_view path, int64_t* id, bool* allFound) {
    // One read transaction for the whole walk: each statement on its own would take and
    // release the WAL read lock (a few system calls) again.
    ReadScope scope(*this);
    int64_t current = kRootId;
    for (std::string_view part : SplitPath(path)) {
        int64_t next = 0;
        long rc = FindChild(current, part, &next);
        if (rc == kErrorFileNotFound) {
            *id = current;
            *allFound = false;
            return kErrorSuccess;
        }
        if (rc != kErrorSuccess) {
            return rc;
        }
        current = next;
    }
    *id = current;
    *allFound = true;
    return kErrorSuccess;
}

long Registry::ResolveExisting(std::string_view path, int64_t* id) {
    bool allFound = false;
    long rc = Resolve(path, id, &allFound);
    if (rc != kErrorSuccess) {
        return rc;
    }
    return allFound ? kErrorSuccess : kErrorFileNotFound;
}

long Registry::CheckLiveKey(Key key) {
    if (!EnsureOpen()) {
        return kErrorBadDb;
    }
    return KeyAlive(key.id) ? kErrorSuccess : kErrorKeyDeleted;
}

long Registry::ReadRows(sqlite3_stmt* stmt, const char* what,
                        const std::function<void(sqlite3_stmt*)>& row) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        row(stmt);
    }
    if (rc != SQLITE_DONE) {
        Fail(what);
        return kErrorBadDb;
    }
    return kErrorSuccess;
}

bool Registry::KeyAlive(int64_t id) {
    Statement st(Prepare(keyAlive_, "SELECT 1 FROM keys WHERE id = ?1"));
    if (!st) {
        return false;
    }
    sqlite3_bind_int64(st.get(), 1, id);
    return sqlite3_step(st.get()) == SQLITE_ROW;
}

long Registry::CreateKey(std::string_view path, Key* key, bool* createdNew) {
    if (!key) {
        return kErrorInvalidParameter;
    }
    CriticalSectionLock guard(lock_);
    if (!EnsureOpen()) {
        return kErrorBadDb;
    }
    // Most calls open a key that exists: find it without taking the write lock.
    int64_t id = 0;
    bool allFound = false;
    long rc = Resolve(path, &id, &allFound);
    if (rc != kErrorSuccess) {
        return rc;
    }
    if (allFound) {
        key->id = id;
        if (createdNew) {
            *createdNew = false;
        }
        return kErrorSuccess;
    }

    Transaction tx(*this);
    if (!tx.Active()) {
        return kErrorBadDb;
    }
    // Walk again under the write lock: another thread or process may have created part of
    // the path since. INSERT OR IGNORE against the unique (parent, name) pair means that of
    // several creators exactly one inserts and all end on the same row.
    int64_t current = kRootId;
    bool insertedLast = false;
    for (std::string_view part : SplitPath(path)) {
        Statement ins(
            Prepare(insertChild_, "INSERT OR IGNORE INTO keys (parent, name) VALUES (?1, ?2)"));
        if (!ins) {
            return kErrorBadDb;
        }
        sqlite3_bind_int64(ins.get(), 1, current);
        BindText(ins.get(), 2, part);
        int step = sqlite3_step(ins.get());
        if (step != SQLITE_DONE) {
            Fail("key creation", Step::kWrite, [path] { return std::string(path); });
            return MapError(step);
        }
        insertedLast = sqlite3_changes(db_) > 0;
        int64_t next = 0;
        rc = FindChild(current, part, &next);
        if (rc != kErrorSuccess) {
            return rc == kErrorFileNotFound ? kErrorBadDb : rc;
        }
        current = next;
    }
    rc = tx.Commit();
    if (rc != kErrorSuccess) {
        return rc;
    }
    key->id = current;
    if (createdNew) {
        *createdNew = insertedLast;
    }
    return kErrorSuccess;
}

long Registry::OpenKey(std::string_view path, Key* key) {
    if (!key) {
        return kErrorInvalidParameter;
    }
    CriticalSectionLock guard(lock_);
    if (!EnsureOpen()) {
        return kErrorBadDb;
    }
    int64_t id = 0;
    long rc = ResolveExisting(path, &id);
    if (rc != kErrorSuccess) {
        return rc;
    }
    key->id = id;
    return kErrorSuccess;
}

bool Registry::KeyExists(std::string_view path) {
    Key key;
    return OpenKey(path, &key) == kErrorSuccess;
}

long Registry::QueryValue(Key key, std::string_view name, uint32_t* type, void* data,
                          uint32_t* size) {
    if (!key) {
        return kErrorInvalidParameter;
    }
    if (data && !size) {
        return kErrorInvalidParameter;
    }
    CriticalSectionLock guard(lock_);
    if (!EnsureOpen()) {
        return kErrorBadDb;
    }
    Statement st(Prepare(queryValue_, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2"));
    if (!st) {
        return kErrorBadDb;
    }
    sqlite3_bind_int64(st.get(), 1, key.id);
    BindText(st.get(), 2, name);
    int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE) {
        return kErrorFileNotFound;
    }
    if (rc != SQLITE_ROW) {
        Fail("value query");
        return kErrorBadDb;
    }
    const void* bytes = sqlite3_column_blob(st.get(), 1);
    auto needed = static_cast<uint32_t>(sqlite3_column_bytes(st.get(), 1));
    if (type) {
        *type = static_cast<uint32_t>(sqlite3_column_int64(st.get(), 0));
    }
    if (!data) {
        if (size) {
            *size = needed;
        }
        return kErrorSuccess;
    }
    if (*size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (needed > 0) {
        std::memcpy(data, bytes, needed);
    }
    *size = needed;
    return kErrorSuccess;
}

long Registry::SetValue(Key key, std::string_view name, uint32_t type, const void* data,
                        uint32_t size) {
    if (!key) {
        return kErrorInvalidParameter;
    }
    // SQLite takes the size as an int and reads a negative one as "up to a terminator".
    if ((!data && size > 0) || size > static_cast<uint32_t>(INT_MAX)) {
        return kErrorInvalidParameter;
    }
    CriticalSectionLock guard(lock_);
    if (!EnsureWritable()) {
        return kErrorBadDb;
    }
    // ON CONFLICT keeps the row (and the spelling of its name) and replaces type and data, so
    // concurrent writers of one value never make two rows.
    Statement st(Prepare(setValue_, "INSERT INTO vals (key, name, type, data)"
                                    " VALUES (?1, ?2, ?3, ?4)"
                                    " ON CONFLICT (key, name) DO UPDATE"
                                    " SET type = excluded.type, data = excluded.data"));
    if (!st) {
        return kErrorBadDb;
    }
    static const char kEmpty = 0;
    sqlite3_bind_int64(st.get(), 1, key.id);
    BindText(st.get(), 2, name);
    sqlite3_bind_int64(st.get(), 3, type);
    sqlite3_bind_blob(st.get(), 4, size > 0 ? data : &kEmpty, static_cast<int>(size),
                      SQLITE_STATIC);
    int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE) {
        return kErrorSuccess;
    }
    if (rc != SQLITE_CONSTRAINT_FOREIGNKEY) {
        Fail("value write", Step::kWrite, [&] { return ValueSubject(key, name); });
    }
    return MapError(rc);
}

long Registry::DeleteValue(Key key, std::string_view name) {
    if (!key) {
        return kErrorInvalidParameter;
    }
    CriticalSectionLock guard(lock_);
    if (!EnsureWritable()) {
        return kErrorBadDb;
    }
    Statement st(Prepare(deleteValue_, "DELETE FROM vals WHERE key = ?1 AND name = ?2"));
    if (!st) {
        return kErrorBadDb;
    }
    sqlite3_bind_int64(st.get(), 1, key.id);
    BindText(st.get(), 2, name);
    if (sqlite3_step(st.get()) != SQLITE_DONE) {
        Fail("value deletion", Step::kWrite, [&] { return ValueSubject(key, name); });
        return kErrorBadDb;
    }
    return sqlite3_changes(db_) > 0 ? kErrorSuccess : kErrorFileNotFound;
}

long Registry::DeleteTree(std::string_view path) {
    CriticalSectionLock guard(lock_);
    if (!EnsureOpen()) {
        return kErrorBadDb;
    }
    if (SplitPath(path).empty()) {
        return kErrorInvalidParameter;
    }
    Transaction tx(*this);
    if (!tx.Active()) {
        return kErrorBadDb;
    }
    int64_t id = 0;
    long rc = ResolveExisting(path, &id);
    if (rc != kErrorSuccess) {
        return rc;
    }
    // One statement removes the whole subtree, so the parent references hold at its end;
    // the values go with their keys through ON DELETE CASCADE.
    {
        Statement st(Prepare(deleteTree_, "WITH RECURSIVE sub(id) AS ("
                                          " SELECT ?1 UNION SELECT keys.id FROM keys"
                                          " JOIN sub ON keys.parent = sub.id)"
                                          " DELETE FROM keys WHERE id IN sub"));
        if (!st) {
            return kErrorBadDb;
        }
        sqlite3_bind_int64(st.get(), 1, id);
        if (sqlite3_step(st.get()) != SQLITE_DONE) {
            Fail("tree deletion", Step::kWrite, [path] { return std::string(path); });
            return kErrorBadDb;
        }
    }
    return tx.Commit();
}

long Registry::EnumKeys(Key key, std::vector<std::string>* names) {
    if (!key || !names) {
        return kErrorInvalidParameter;
    }
    names->clear();
    CriticalSectionLock guard(lock_);
    if (long rc = CheckLiveKey(key); rc != kErrorSuccess) {
        return rc;
    }
    Statement st(Prepare(enumKeys_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name"));
    if (!st) {
        return kErrorBadDb;
    }
    sqlite3_bind_int64(st.get(), 1, key.id);
    long rc = ReadRows(st.get(), "key enumeration",
                       [names](sqlite3_stmt* row) { names->push_back(ColumnText(row, 0)); });
    if (rc != kErrorSuccess) {
        names->clear();
    }
    return rc;
}

long Registry::EnumValues(Key key, std::vector<Value>* values) {
    if (!key || !values) {
        return kErrorInvalidParameter;
    }
    values->clear();
    CriticalSectionLock guard(lock_);
    if (long rc = CheckLiveKey(key); rc != kErrorSuccess) {
        return rc;
    }
    Statement st(
        Prepare(enumValues_, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid"));
    if (!st) {
        return kErrorBadDb;
    }
    sqlite3_bind_int64(st.get(), 1, key.id);
    long rc = ReadRows(st.get(), "value enumeration", [values](sqlite3_stmt* row) {
        Value v;
        v.name = ColumnText(row, 0);
        v.type = static_cast<uint32_t>(sqlite3_column_int64(row, 1));
        v.data = ColumnText(row, 2);
        values->push_back(std::move(v));
    });
    if (rc != kErrorSuccess) {
        values->clear();
    }
    return rc;
}

int Registry::BeginLevel() {
    if (txDepth_ == 0 ? !EnsureWritable() : !EnsureOpen()) {
        return 0;
    }
    int level = txDepth_ + 1;
    bool ok;
    if (level == 1) {
        // IMMEDIATE takes the write lock now, waiting out other processes with the busy
        // timeout, instead of failing later when a read turns into a write.
        ok = Exec("BEGIN IMMEDIATE");
    } else {
        ok = Exec(("SAVEPOINT level" + std::to_string(level)).c_str());
    }
    if (!ok) {
        Fail("transaction start", Step::kWrite);
        return 0;
    }
    txDepth_ = level;
    return level;
}

long Registry::EndLevel(int level, bool commit) {
    txDepth_ = level - 1;
    if (sqlite3_get_autocommit(db_)) {
        // SQLite already rolled the whole transaction back after an error.
        return commit ? kErrorBadDb : kErrorSuccess;
    }
    if (level == 1) {
        if (commit && Exec("COMMIT")) {
            return kErrorSuccess;
        }
        if (commit) {
            Fail("commit", Step::kWrite);
        }
        Exec("ROLLBACK");
        return commit ? kErrorBadDb : kErrorSuccess;
    }
    std::string name = "level" + std::to_string(level);
    if (commit && Exec(("RELEASE " + name).c_str())) {
        return kErrorSuccess;
    }
    Exec(("ROLLBACK TO " + name).c_str());
    Exec(("RELEASE " + name).c_str());
    return commit ? kErrorBadDb : kErrorSuccess;
}

Registry::Transaction::Transaction(Registry& registry) : registry_(registry) {
    registry_.lock_.lock();
    level_ = registry_.BeginLevel();
    active_ = level_ > 0;
}

Registry::Transaction::~Transaction() {
    if (active_) {
        registry_.EndLevel(level_, false);
    }
    registry_.lock_.unlock();
}

long Registry::Transaction::Commit() {
    if (!active_) {
        return kErrorBadDb;
    }
    active_ = false;
    return registry_.EndLevel(level_, true);
}

void Registry::Transaction::Rollback() {
    if (active_) {
        active_ = false;
        registry_.EndLevel(level_, false);
    }
}

} // namespace plat
