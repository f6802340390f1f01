// A handset driver library for the loader's test: answers every operation with its code plus
// one and writes the value it was given to the result.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) uint32_t
YL_DeviceIoControl(uint32_t code, void*, uintptr_t value, void*, uint32_t, uint32_t* result) {
    if (result != nullptr) {
        *result = static_cast<uint32_t>(value);
    }
    return code + 1;
}
