#pragma once
#include <cstdint>
#include <cstring>

namespace tamsor {

// Reads and writes of little-endian 16-bit values at any byte position, free of alignment and
// aliasing faults (the engine runs on little-endian hosts only).
inline int16_t ReadPCM16(const uint8_t* at) {
    int16_t value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

inline void WritePCM16(uint8_t* at, int16_t value) {
    std::memcpy(at, &value, sizeof(value));
}

} // namespace tamsor
