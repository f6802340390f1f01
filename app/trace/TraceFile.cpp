#include "app/trace/TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/DebugOutput.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"

std::atomic<iTraceFile*> g_pTrace{nullptr};

namespace {

const char kStars[] = "***********************************************************************";
static_assert(sizeof(kStars) == 72, "71 asterisks");

std::string LocalDateTime() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[64];
    std::strftime(text, sizeof(text), "%d/%m/%Y, %I:%M:%S %p", &tm);
    return text;
}

} // namespace

bool GetModuleVersionText(const std::string& modulePath, std::string* text) {
    if (!text) {
        return false;
    }
    text->clear();
    return plat::ReadModuleVersion(modulePath, text);
}

TraceFile::TraceFile(const std::string& path, const std::string& programPath,
                     const std::string& tamsorPath)
    : startTime_(plat::TimeMs()), programPath_(programPath), tamsorPath_(tamsorPath) {
    g_pTrace.store(this);
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        CapSize();
    }
    WriteBanner("**************** START TRACE:", "****************", true);
}

TraceFile::TraceFile()
    : TraceFile(plat::JoinPath(plat::DataDir(), "trace.txt"), plat::ExecutablePath(),
                plat::JoinPath(plat::ProgramDir(), "libTamsor.so")) {}

TraceFile::~TraceFile() {
    // Unpublish first, so no new message starts on a log that is closing.
    iTraceFile* self = this;
    g_pTrace.compare_exchange_strong(self, nullptr);
    Close();
}

void TraceFile::CapSize() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        return;
    }
    if (st.st_size > kMaxSize) {
        std::vector<char> tail(kKeptSize);
        off_t from = st.st_size - kKeptSize;
        if (pread(fd_, tail.data(), tail.size(), from) == kKeptSize &&
            pwrite(fd_, tail.data(), tail.size(), 0) == kKeptSize) {
            if (ftruncate(fd_, kKeptSize) != 0) {
                plat::DebugOutput("TraceFile: ftruncate failed\n");
            }
        }
    }
    lseek(fd_, 0, SEEK_END);
}

void TraceFile::WriteRaw(const char* text) {
    plat::DebugOutput(text);
    if (fd_ < 0) {
        return;
    }
    size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = ::write(fd_, text, left);
        if (n <= 0) {
            return;
        }
        text += n;
        left -= static_cast<size_t>(n);
    }
}

void TraceFile::WriteBanner(const char* opener, const char* closer, bool withVersions) {
    const char* eol = "\r\n";
    for (int i = 0; i < 4; ++i) {
        WriteRaw(eol);
    }
    for (int i = 0; i < 2; ++i) {
        WriteRaw(kStars);
        WriteRaw(eol);
    }
    WriteRaw(opener);
    WriteRaw(LocalDateTime().c_str());
    WriteRaw(closer);
    WriteRaw(eol);
    if (withVersions) {
        std::string version;
        GetModuleVersionText(programPath_, &version);
        WriteRaw(("quorvex.exe (version): " + version).c_str());
        WriteRaw(eol);
        GetModuleVersionText(tamsorPath_, &version);
        WriteRaw(("Tamsor.dll (version): " + version).c_str());
        WriteRaw(eol);
    }
    for (int i = 0; i < 2; ++i) {
        WriteRaw(kStars);
        WriteRaw(eol);
    }
}

void TraceFile::Close() {
    // Let a writer that is inside a message finish, then hold the lock for the end banner.
    plat::CriticalSectionLock guard(lock_);
    if (closed_.load()) {
        return;
    }
    WriteBanner("******** END TRACE:", "********", false);
    closed_.store(true);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void TraceFile::Lock() {
    lock_.Enter();
}

void TraceFile::Unlock() {
    lock_.Leave();
}

void TraceFile::Write(const char* text) {
    if (!text || closed_.load()) {
        return;
    }
    WriteRaw(text);
}

void TraceFile::NewLine() {
    Write("\r\n");
}

void TraceFile::WriteTime() {
    char number[16];
    std::snprintf(number, sizeof(number), "%u", plat::TimeMs() - startTime_);
    Write("  (time: ");
    Write(number);
    Write(")");
}
