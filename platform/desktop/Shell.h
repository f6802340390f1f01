#pragma once
#include <functional>
#include <string>
#include <vector>

namespace plat {

// Starting other programs, detached from this one (they outlive it and are never waited for
// beyond what is said below). They get the environment the user gave this program
// (UserEnvironment), not what the program set for itself.
// Threads: any; ShellOpen's `done` runs on the GUI thread.

// How long ShellOpen waits for the opener's exit status.
constexpr int kOpenerWaitMs = 10000;

// Opens a web address or a file with the desktop's handler (xdg-open) and returns at once.
// `done` (may be empty) runs later on the GUI thread, through the GUI dispatcher: true when
// xdg-open exited with status 0 (it does once it has handed the page on) or still runs after
// kOpenerWaitMs (it shows the page itself, as a browser started for it does; it is left
// running); false when it could not be started, exited with another status (3: no program to
// open it with) or was killed. The reason goes to the debug output.
void ShellOpen(const std::string& target, std::function<void(bool opened)> done);
// Starts the program at `path` with `args`. False when it could not be started (not found,
// not executable, ...); true once it runs, without waiting for it.
bool StartProgram(const std::string& path, const std::vector<std::string>& args);

// Where started programs go instead (tests): receives the whole command line; for ShellOpen
// its answer is what `done` gets.
class ShellSink {
public:
    virtual ~ShellSink() = default;
    virtual bool Run(const std::vector<std::string>& argv) = 0;
};
// Installs a sink (null restores real starts); returns the previous one.
ShellSink* SetShellSinkForTests(ShellSink* sink);
// Sets how long ShellOpen waits for the opener (kOpenerWaitMs by default); returns the
// previous wait.
int SetOpenerWaitMsForTests(int ms);

} // namespace plat
