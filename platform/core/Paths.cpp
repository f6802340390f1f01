#include "platform/core/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace plat {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string HomeDir() {
    return EnvOr("HOME", "/tmp");
}

std::string UserDir(const char* homeSub, const char* xdgVar, const char* xdgDefault) {
    std::string dir;
    const char* home = std::getenv("QUORVEX_HOME");
    if (home && *home) {
        dir = JoinPath(home, homeSub);
    } else {
        dir = JoinPath(EnvOr(xdgVar, JoinPath(HomeDir(), xdgDefault)), "quorvex");
    }
    MakeDirs(dir);
    return dir;
}

} // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) {
        return name;
    }
    if (dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

bool MakeDirs(const std::string& dir, unsigned mode) {
    if (dir.empty()) {
        return false;
    }
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    auto slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        MakeDirs(dir.substr(0, slash), mode);
    }
    return mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

std::string ProgramDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buf, static_cast<size_t>(n));
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string ConfigDir() {
    return UserDir("config", "XDG_CONFIG_HOME", ".config");
}

std::string DataDir() {
    return UserDir("data", "XDG_DATA_HOME", ".local/share");
}

} // namespace plat
