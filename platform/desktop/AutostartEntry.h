#pragma once
#include <string>

namespace plat {

// The desktop's "start at login" entry for this program: an XDG autostart file,
// $XDG_CONFIG_HOME/autostart/quorvex.desktop (~/.config when XDG_CONFIG_HOME is unset;
// <QUORVEX_HOME>/autostart/quorvex.desktop under QUORVEX_HOME), whose Exec line starts the
// program by its full path, quoted and escaped as the Desktop Entry format requires. The file
// is shared by every copy of the program: an entry starts this copy only when it names this
// very file, and removing it removes it for every copy. An entry with Hidden=true is no entry
// (the desktop does not start it).
//
// Writes are atomic: the new file is written beside the old one and renamed over it, so the
// entry is never half-written. Threads: any; the object holds only its path.
class AutostartEntry {
public:
    // `path`: the entry file; empty for the desktop's own (DefaultPath()).
    explicit AutostartEntry(std::string path = {});

    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    // The program the entry starts; false when there is no entry, it is hidden, or its Exec
    // line cannot be read.
    bool ReadProgram(std::string* program) const;
    // Whether the entry starts the file at `program` (the same file, under any name).
    bool StartsProgram(const std::string& program) const;
    // Makes the entry start `program`, replacing any entry there was. False, with the old
    // entry left as it was, when it cannot be written or the path cannot be put in an entry.
    bool Write(const std::string& program);
    // Removes the entry, whatever program it starts. True when no entry is left.
    bool Remove();

    // The Exec value that starts `program`: the path in double quotes, with '"', '`', '$' and
    // '\' escaped by a backslash and '%' doubled. False for an empty path or one holding
    // control characters or bytes that are not UTF-8, which an entry cannot carry.
    static bool QuoteExec(const std::string& program, std::string* exec);
    // The program an Exec value starts (its first argument, unquoted); false when the value
    // does not parse.
    static bool ProgramFromExec(const std::string& exec, std::string* program);

private:
    std::string path_;
};

} // namespace plat
