// What the test peers (kamailio, baresip) share: each runs in a temporary folder of its own
// and writes its output and errors to <folder>/log.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace peerprocess {

// Starts `path` with `args` (the first is the program's name), input from /dev/null, output
// and errors to `log`; the process id, or -1 when it could not start.
inline pid_t Spawn(const char* path, std::vector<std::string> args, const std::string& log) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    int err = posix_spawn(&pid, path, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return err == 0 ? pid : -1;
}

inline std::string ReadLog(const std::string& dir) {
    std::ifstream in(dir + "/log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// How many times `what` occurs in `text`.
inline int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
        ++n;
    }
    return n;
}

inline void RemoveDir(const std::string& dir) {
    if (!dir.empty() && std::system(("rm -rf '" + dir + "'").c_str()) != 0) {
        // a leftover temp dir is harmless
    }
}

} // namespace peerprocess
