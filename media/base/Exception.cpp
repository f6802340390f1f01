#include "media/base/Exception.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tamsor {

Exception::Exception(int32_t code, const char* format, ...) : code_(code) {
    message_[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(message_, sizeof(message_), format, args);
        va_end(args);
    }
    message_[kMessageSize - 1] = '\0';
}

Exception::Exception(const Exception& other) : code_(other.code_) {
    std::memcpy(message_, other.message_, sizeof(message_));
}

Exception& Exception::operator=(const Exception& other) {
    code_ = other.code_;
    std::memcpy(message_, other.message_, sizeof(message_));
    return *this;
}

} // namespace tamsor
