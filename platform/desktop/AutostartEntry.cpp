#include "platform/desktop/AutostartEntry.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/core/DebugOutput.h"
#include "platform/core/Paths.h"

namespace plat {

namespace {

constexpr char kGroup[] = "Desktop Entry";

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

void Trace(const std::string& text, GError* error) {
    std::string line = "AutostartEntry: " + text;
    if (error != nullptr) {
        line += ": ";
        line += error->message;
        g_error_free(error);
    }
    DebugOutput((line + "\n").c_str());
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return false; // a file that is not there is not this program
}

} // namespace

AutostartEntry::AutostartEntry(std::string path)
    : path_(path.empty() ? DefaultPath() : std::move(path)) {}

std::string AutostartEntry::DefaultPath() {
    std::string dir;
    const char* home = std::getenv("QUORVEX_HOME");
    if (home != nullptr && *home != '\0') {
        dir = JoinPath(home, "autostart");
    } else {
        dir = JoinPath(EnvOr("XDG_CONFIG_HOME", JoinPath(EnvOr("HOME", "/tmp"), ".config")),
                       "autostart");
    }
    return JoinPath(dir, "quorvex.desktop");
}

bool AutostartEntry::QuoteExec(const std::string& program, std::string* exec) {
    if (program.empty() ||
        !g_utf8_validate(program.data(), static_cast<gssize>(program.size()), nullptr)) {
        return false;
    }
    std::string out = "\"";
    for (char c : program) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out += '\\';
        } else if (c == '%') {
            out += '%';
        }
        out += c;
    }
    out += '"';
    *exec = out;
    return true;
}

bool AutostartEntry::ProgramFromExec(const std::string& exec, std::string* program) {
    gint argc = 0;
    gchar** argv = nullptr;
    // Inside double quotes the shell's rules are the entry format's: a backslash escapes '"',
    // '`', '$' and '\' only.
    if (!g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) {
        return false;
    }
    std::string first = argc > 0 ? argv[0] : "";
    g_strfreev(argv);
    if (first.empty()) {
        return false;
    }
    std::string out;
    for (size_t i = 0; i < first.size(); ++i) {
        out += first[i];
        if (first[i] == '%' && i + 1 < first.size() && first[i + 1] == '%') {
            ++i;
        }
    }
    *program = out;
    return true;
}

bool AutostartEntry::ReadProgram(std::string* program) const {
    KeyFilePtr file(g_key_file_new());
    GError* error = nullptr;
    if (!g_key_file_load_from_file(file.get(), path_.c_str(), G_KEY_FILE_NONE, &error)) {
        if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT)) {
            Trace("cannot read " + path_, error);
        } else {
            g_error_free(error);
        }
        return false;
    }
    if (g_key_file_get_boolean(file.get(), kGroup, "Hidden", nullptr)) {
        return false;
    }
    gchar* exec = g_key_file_get_string(file.get(), kGroup, "Exec", nullptr);
    if (exec == nullptr) {
        Trace("no Exec line in " + path_, nullptr);
        return false;
    }
    bool ok = ProgramFromExec(exec, program);
    g_free(exec);
    if (!ok) {
        Trace("Exec line of " + path_ + " cannot be read", nullptr);
    }
    return ok;
}

bool AutostartEntry::StartsProgram(const std::string& program) const {
    std::string named;
    return ReadProgram(&named) && SameFile(named, program);
}

bool AutostartEntry::Write(const std::string& program) {
    std::string exec;
    if (!QuoteExec(program, &exec)) {
        Trace("a path an entry cannot hold: " + program, nullptr);
        return false;
    }
    auto slash = path_.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path_.substr(0, slash))) {
        Trace("cannot make the folder of " + path_ + ": " + std::strerror(errno), nullptr);
        return false;
    }
    KeyFilePtr file(g_key_file_new());
    g_key_file_set_string(file.get(), kGroup, "Type", "Application");
    g_key_file_set_string(file.get(), kGroup, "Name", "Quorvex");
    // set_string adds the format's string escapes (a backslash becomes two) over the quoting.
    g_key_file_set_string(file.get(), kGroup, "Exec", exec.c_str());
    GError* error = nullptr;
    // Written to a temporary file in the same folder and renamed over the entry.
    if (!g_key_file_save_to_file(file.get(), path_.c_str(), &error)) {
        Trace("cannot write " + path_, error);
        return false;
    }
    return true;
}

bool AutostartEntry::Remove() {
    if (unlink(path_.c_str()) != 0 && errno != ENOENT) {
        Trace("cannot remove " + path_ + ": " + std::strerror(errno), nullptr);
        return false;
    }
    return true;
}

} // namespace plat
