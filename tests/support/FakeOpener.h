#pragma once
#include <cstdlib>
#include <string>

#include "tests/support/TestFolder.h"

// The desktop's opener (xdg-open) of the test's own, alone on PATH while the object lives: it
// adds its arguments to the file "opened" beside it, then runs the given shell commands (with
// absolute paths for programs: PATH holds only its folder); or there is no opener at all.
class FakeOpener : public TestFolder {
public:
    // `commands`: for example "exit 3" (no method available); null for no opener.
    explicit FakeOpener(const char* commands) : path_(std::getenv("PATH")) {
        if (commands) {
            Write("xdg-open",
                  "#!/bin/sh\necho \"$@\" >> '" + File("opened") + "'\n" + commands + "\n");
        }
        setenv("PATH", Path().c_str(), 1);
    }
    ~FakeOpener() { setenv("PATH", path_.c_str(), 1); }

    std::string Opened() const { return Read("opened"); }

private:
    std::string path_;
};
