#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace plat {

// A private-profile (.ini) file read and written like the original platform's profile calls.
//
// Reading: section and key names compare without regard to ASCII case and to surrounding
// white space; the first matching key (searching the matching sections in file order) wins;
// values are trimmed. Anything that is not a "[section]" header or a "key=value" line inside a
// section (comments, blank lines, lines without '=', text before the first section) is
// skipped. Both LF and CRLF line ends are read.
//
// Writing rewrites the whole file atomically: a temporary file in the same directory is
// written, synced and renamed over the old one, so a failure (or a kill) at any point leaves
// the old file whole. Lines not touched by the write stay byte for byte as they were.
// New files get mode 0600; a replaced file keeps its mode. A symbolic link at the path stays: the
// file it leads to is replaced (the temporary file is written beside that one); a link that
// leads nowhere, or in a loop, is not written.
//
// Threads: any thread may call any member. `lock_` serialises the calls on one object so that
// two writes through it never lose each other's change. Writers in other processes are not
// coordinated (the last rename wins), as with the original.
class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& Path() const { return path_; }

    // The value of `key` in `section`, or `def` when the file, section or key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def) const;
    // The value's leading decimal integer (optional sign); 0 when it has none, `def` when the
    // key is missing or its value is empty.
    int GetInt(std::string_view section, std::string_view key, int def) const;

    // Sets `key` in `section` to `value`: the first matching key line is changed in place,
    // or a new line goes at the end of the section (a missing section is added at the end of
    // the file). A null `value` deletes the key. Names and values holding line breaks (and
    // keys holding '=' or sections holding ']') are refused. Returns false when nothing could
    // be written; the file is then unchanged.
    bool WriteString(std::string_view section, std::string_view key, const char* value);

    // Called after the new contents are written and synced, before they replace the file.
    void SetBeforeRenameHookForTests(std::function<void()> hook);

private:
    bool ReadAll(std::string* text) const;
    bool ReplaceFile(const std::string& text);

    std::string path_;
    mutable std::mutex lock_;
    std::function<void()> beforeRename_; // guarded by lock_
};

} // namespace plat
