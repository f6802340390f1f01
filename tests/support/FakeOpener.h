#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The desktop's opener (xdg-open) of the test's own, alone on PATH while the object lives: it
// adds its arguments to the file "opened" beside it, then runs the given shell commands (with
// absolute paths for programs: PATH holds only its folder); or there is no opener at all.
class FakeOpener {
public:
    // `commands`: for example "exit 3" (no method available); null for no opener.
    explicit FakeOpener(const char* commands) : path_(std::getenv("PATH")) {
        char pattern[] = "/tmp/quorvex-opener-XXXXXX";
        dir_ = mkdtemp(pattern) ? pattern : "/nonexistent";
        if (commands) {
            std::ofstream(File("xdg-open"))
                << "#!/bin/sh\necho \"$@\" >> '" << File("opened") << "'\n"
                << commands << "\n";
            chmod(File("xdg-open").c_str(), 0755);
        }
        setenv("PATH", dir_.c_str(), 1);
    }
    ~FakeOpener() {
        setenv("PATH", path_.c_str(), 1);
        std::filesystem::remove_all(dir_);
    }
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    // A file in the opener's folder.
    std::string File(const std::string& name) const { return dir_ + "/" + name; }
    std::string Opened() const {
        std::stringstream text;
        text << std::ifstream(File("opened")).rdbuf();
        return text.str();
    }

private:
    std::string path_;
    std::string dir_;
};
