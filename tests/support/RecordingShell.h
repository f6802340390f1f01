#pragma once
#include <string>
#include <vector>

#include "platform/desktop/Shell.h"

// Records the programs and pages that would have been started, while it lives.
struct RecordingShell final : plat::ShellSink {
    RecordingShell() : previous(plat::SetShellSinkForTests(this)) {}
    ~RecordingShell() override { plat::SetShellSinkForTests(previous); }
    bool Run(const std::vector<std::string>& argv) override {
        runs.push_back(argv);
        return true;
    }
    plat::ShellSink* previous;
    std::vector<std::vector<std::string>> runs;
};
