#pragma once
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// A folder of the test's own under /tmp, removed with the object.
class TestFolder {
public:
    TestFolder() {
        char pattern[] = "/tmp/quorvex-test-XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "/nonexistent";
    }
    ~TestFolder() { std::filesystem::remove_all(path_); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes `text` to the file `name` with `mode` (by default a script that may run).
    void Write(const std::string& name, const std::string& text, mode_t mode = 0755) const {
        std::ofstream(File(name)) << text;
        chmod(File(name).c_str(), mode);
    }
    // What the file `name` holds; empty when there is none.
    std::string Read(const std::string& name) const {
        std::stringstream text;
        text << std::ifstream(File(name)).rdbuf();
        return text.str();
    }

private:
    std::string path_;
};
