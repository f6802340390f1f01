#pragma once
#include <cstddef>
#include <string>
#include <vector>

// codes.txt: one entry a line, the location's name, ',', any characters up to the first digit,
// then the code to the end of the line. Lines end with CR, LF or both; empty lines are
// skipped; reading stops at the end of the text or at a line without ','. Nothing is read past
// a line's end or the text's end.
class AreaCodeList {
public:
    static constexpr size_t kMaxName = 259;
    static constexpr size_t kMaxCode = 19;

    struct Entry {
        std::string name;
        size_t codeOffset = 0; // where the code starts in the text
    };

    // Reads the entries of `text`; false when it yields none.
    bool Parse(std::string text);
    // Reads a file whole; false when it cannot be read, is empty or yields no entry.
    bool Load(const std::string& path);

    const std::vector<Entry>& Entries() const { return entries_; }
    // The code at `offset`: up to the next CR or LF or the end, at most kMaxCode characters.
    std::string CodeAt(size_t offset) const;

private:
    std::string text_;
    std::vector<Entry> entries_;
};
