#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The desktop's opener (xdg-open) of the test's own, alone on PATH while the object lives: it
// records its arguments, one line a run, and ends with the given exit status; or there is no
// opener at all.
class FakeOpener {
public:
    // `status`: the opener's exit status (3: no method available); -1 for no opener.
    explicit FakeOpener(int status) : path_(std::getenv("PATH")) {
        char pattern[] = "/tmp/quorvex-opener-XXXXXX";
        dir_ = mkdtemp(pattern) ? pattern : "/nonexistent";
        if (status >= 0) {
            std::ofstream(dir_ + "/xdg-open")
                << "#!/bin/sh\necho \"$@\" >> '" << dir_ << "/opened'\nexit " << status << "\n";
            chmod((dir_ + "/xdg-open").c_str(), 0755);
        }
        setenv("PATH", dir_.c_str(), 1);
    }
    ~FakeOpener() {
        setenv("PATH", path_.c_str(), 1);
        std::filesystem::remove_all(dir_);
    }
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    std::string Opened() const {
        std::stringstream text;
        text << std::ifstream(dir_ + "/opened").rdbuf();
        return text.str();
    }

private:
    std::string path_;
    std::string dir_;
};
