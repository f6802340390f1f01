#pragma once
#include <cstdint>

namespace tamsor {

// A packet or file error inside the media engine: a code and a formatted message of at most
// 511 characters (longer text is cut). Always caught inside the engine.
class Exception {
public:
    static constexpr int kMessageSize = 512;

    Exception(int32_t code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    virtual ~Exception() = default;

    int32_t GetCode() const { return code_; }
    const char* GetMessage() const { return message_; }

private:
    int32_t code_;
    char message_[kMessageSize];
};

} // namespace tamsor
