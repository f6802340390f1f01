#include "platform/store/IniFile.h"

#include "platform/core/DebugOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace plat {

namespace {

void Trace(const std::string& text) {
    DebugOutput((text + "\n").c_str());
}

std::string_view Trim(std::string_view s) {
    const char* ws = " \t\r\f\v";
    size_t first = s.find_first_not_of(ws);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = s.find_last_not_of(ws);
    return s.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z') {
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        }
        if (cb >= 'A' && cb <= 'Z') {
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        }
        if (ca != cb) {
            return false;
        }
    }
    return true;
}

// One line of the file as read: its text, its line end ("", "\n" or "\r\n") and what it is.
struct Line {
    enum Kind { kOther, kSection, kKey };
    std::string_view text;
    std::string_view eol;
    Kind kind = kOther;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
    size_t valueStart = 0;  // offset in text just after '='
};

std::vector<Line> Parse(std::string_view file) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < file.size()) {
        size_t nl = file.find('\n', pos);
        Line line;
        if (nl == std::string_view::npos) {
            line.text = file.substr(pos);
            pos = file.size();
        } else {
            size_t end = nl;
            if (end > pos && file[end - 1] == '\r') {
                --end;
            }
            line.text = file.substr(pos, end - pos);
            line.eol = file.substr(end, nl + 1 - end);
            pos = nl + 1;
        }
        std::string_view t = Trim(line.text);
        if (!t.empty() && t.front() == '[') {
            // A header without its closing bracket still names a section.
            size_t close = t.find(']');
            line.kind = Line::kSection;
            line.name = Trim(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
        } else if (size_t eq = line.text.find('='); eq != std::string_view::npos) {
            std::string_view key = Trim(line.text.substr(0, eq));
            if (!key.empty()) {
                line.kind = Line::kKey;
                line.name = key;
                line.valueStart = eq + 1;
                line.value = Trim(line.text.substr(eq + 1));
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// Index of the first key line named `key` inside a section named `section`, if any.
std::optional<size_t> FindKey(const std::vector<Line>& lines, std::string_view section,
                              std::string_view key) {
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == Line::kSection) {
            inSection = EqualNoCase(line.name, section);
        } else if (inSection && line.kind == Line::kKey && EqualNoCase(line.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != s.npos;
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

void IniFile::SetBeforeRenameHookForTests(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(lock_);
    beforeRename_ = std::move(hook);
}

bool IniFile::ReadAll(std::string* text) const {
    text->clear();
    // Opened without blocking, so a FIFO or a device at the path cannot hang the caller (and
    // every other user of the object waiting for its lock); only a regular file is read.
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A missing file reads as empty; anything else is a failure.
        if (errno == ENOENT) {
            return true;
        }
        Trace("IniFile: cannot open " + path_ + ": " + std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Trace("IniFile: not a regular file: " + path_);
        ::close(fd);
        return false;
    }
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            Trace("IniFile: cannot read " + path_ + ": " + std::strerror(errno));
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        text->append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view def) const {
    std::string text;
    if (!ReadAll(&text)) {
        return std::string(def);
    }
    std::vector<Line> lines = Parse(text);
    std::optional<size_t> at = FindKey(lines, Trim(section), Trim(key));
    return at ? std::string(lines[*at].value) : std::string(def);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int def) const {
    std::string text;
    if (!ReadAll(&text)) {
        return def;
    }
    std::vector<Line> lines = Parse(text);
    std::optional<size_t> at = FindKey(lines, Trim(section), Trim(key));
    if (!at || lines[*at].value.empty()) {
        return def;
    }
    std::string_view v = lines[*at].value;
    size_t i = 0;
    bool negative = false;
    if (v[0] == '+' || v[0] == '-') {
        negative = v[0] == '-';
        i = 1;
    }
    long long n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        n = n * 10 + (v[i] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) {
            n = static_cast<long long>(INT_MAX) + 1; // saturate; the loop only grows it
        }
    }
    n = negative ? -n : n;
    if (n > INT_MAX) {
        n = INT_MAX;
    }
    return static_cast<int>(n);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, const char* value) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        section.find(']') != section.npos || key.find('=') != key.npos || key.front() == '[' ||
        (value && HasLineBreak(value))) {
        Trace("IniFile: refused to write an unsafe name or value to " + path_);
        return false;
    }

    std::lock_guard<std::mutex> guard(lock_);
    std::string old;
    if (!ReadAll(&old)) {
        return false;
    }
    std::vector<Line> lines = Parse(old);
    std::string_view eol = "\n";
    for (const Line& line : lines) {
        if (!line.eol.empty()) {
            eol = line.eol;
            break;
        }
    }

    std::optional<size_t> at = FindKey(lines, section, key);
    std::string replacement; // text that takes the place of lines[change]
    size_t change = lines.size();
    if (!value) {
        if (!at) {
            return true; // nothing to delete
        }
        change = *at;
    } else if (at) {
        const Line& line = lines[*at];
        change = *at;
        replacement =
            std::string(line.text.substr(0, line.valueStart)) + value + std::string(line.eol);
    } else {
        // The end of the first matching section is its last line that is not blank.
        std::optional<size_t> last;
        bool inSection = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::kSection) {
                if (last) {
                    break;
                }
                inSection = EqualNoCase(lines[i].name, section);
            }
            if (inSection && !Trim(lines[i].text).empty()) {
                last = i;
            }
        }
        std::string newLine = std::string(key) + "=" + value + std::string(eol);
        if (last) {
            change = *last;
            replacement = std::string(lines[change].text) +
                          std::string(lines[change].eol.empty() ? eol : lines[change].eol) +
                          newLine;
        } else {
            replacement = "[" + std::string(section) + "]" + std::string(eol) + newLine;
            if (!lines.empty()) {
                const Line& lastLine = lines.back();
                std::string head = lastLine.eol.empty() ? std::string(eol) : std::string();
                if (!Trim(lastLine.text).empty()) {
                    head += eol; // a blank line before the new section
                }
                replacement = head + replacement;
            }
        }
    }

    std::string text;
    text.reserve(old.size() + replacement.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i == change) {
            text += replacement;
        } else {
            text.append(lines[i].text);
            text.append(lines[i].eol);
        }
    }
    if (change == lines.size()) {
        text += replacement;
    }
    return ReplaceFile(text);
}

bool IniFile::ReplaceFile(const std::string& text) {
    // A link at the path (dotfiles kept in a repository and linked) is written through: the new
    // contents replace the file it leads to, and the link stays as it is.
    std::string target = path_;
    struct stat link {};
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(path_.c_str(), nullptr);
        if (!resolved) {
            Trace("IniFile: cannot follow the link " + path_ + ": " + std::strerror(errno));
            return false;
        }
        target = resolved;
        std::free(resolved);
    }
    std::string tmp = target + ".XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC); // created with mode 0600
    if (fd < 0) {
        Trace("IniFile: cannot create a temporary file beside " + target + ": " +
              std::strerror(errno));
        return false;
    }
    auto fail = [&](const char* what) {
        Trace("IniFile: " + std::string(what) + " failed for " + target + ": " +
              std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(tmp.c_str());
        return false;
    };
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && ::fchmod(fd, st.st_mode & 07777) != 0) {
        return fail("keeping the file mode");
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail("write");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        return fail("sync");
    }
    int closeRc = ::close(fd);
    fd = -1;
    if (closeRc != 0) {
        return fail("close");
    }
    if (beforeRename_) {
        beforeRename_();
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        return fail("rename");
    }
    // Make the rename itself durable.
    std::string dir = ".";
    if (size_t slash = target.find_last_of('/'); slash != std::string::npos) {
        dir = slash == 0 ? "/" : target.substr(0, slash);
    }
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace plat
