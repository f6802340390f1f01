#include "app/dialogs/AreaCodeList.h"

#include <fstream>
#include <sstream>

bool AreaCodeList::Parse(std::string text) {
    text_ = std::move(text);
    entries_.clear();
    size_t pos = 0;
    while (pos < text_.size()) {
        if (text_[pos] == '\r' || text_[pos] == '\n') {
            ++pos; // line ends and empty lines
            continue;
        }
        size_t lineEnd = text_.find_first_of("\r\n", pos);
        if (lineEnd == std::string::npos) {
            lineEnd = text_.size();
        }
        size_t comma = text_.find(',', pos);
        if (comma == std::string::npos || comma >= lineEnd) {
            break;
        }
        size_t code = text_.find_first_of("0123456789", comma + 1);
        if (code == std::string::npos || code > lineEnd) {
            code = lineEnd; // no digit on this line: an empty code
        }
        entries_.push_back({text_.substr(pos, std::min(comma - pos, kMaxName)), code});
        pos = lineEnd;
    }
    return !entries_.empty();
}

bool AreaCodeList::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str());
}

std::string AreaCodeList::CodeAt(size_t offset) const {
    if (offset >= text_.size()) {
        return "";
    }
    size_t end = text_.find_first_of("\r\n", offset);
    if (end == std::string::npos) {
        end = text_.size();
    }
    return text_.substr(offset, std::min(end - offset, kMaxCode));
}
