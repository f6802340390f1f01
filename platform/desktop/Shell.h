#pragma once
#include <string>
#include <vector>

namespace plat {

// Starting other programs, detached from this one (they outlive it and are never waited for).
// Threads: any.

// Opens a web address or a file with the desktop's handler (xdg-open). False when xdg-open
// could not be started.
bool ShellOpen(const std::string& target);
// Starts the program at `path` with `args`. False when it could not be started (not found,
// not executable, ...); true once it runs, without waiting for it.
bool StartProgram(const std::string& path, const std::vector<std::string>& args);

// Where started programs go instead (tests): receives the whole command line.
class ShellSink {
public:
    virtual ~ShellSink() = default;
    virtual bool Run(const std::vector<std::string>& argv) = 0;
};
// Installs a sink (null restores real starts); returns the previous one.
ShellSink* SetShellSinkForTests(ShellSink* sink);

} // namespace plat
