#pragma once
#include <cstdint>

// The fixture bitmaps' sizes and pixels, shared by their generator and the tests. Rows are
// numbered as stored (row 0 is the bottom row of the picture).
namespace fixture {

// 16 bits per pixel: 5 x 3 (rows of 10 bytes padded to 12).
constexpr int kWidth16 = 5;
constexpr int kHeight16 = 3;
// 24 bits: 5 x 4 (rows of 15 bytes padded to 16); 7 x 2 through a BMP file (21 -> 24).
constexpr int kWidth24 = 5;
constexpr int kHeight24 = 4;
constexpr int kWidthBmp24 = 7;
constexpr int kHeightBmp24 = 2;
// 32 bits: 3 x 2.
constexpr int kWidth32 = 3;
constexpr int kHeight32 = 2;

// Stored row 0 starts with the words 0xF8C4 and 0x0FFF; every other pixel has alpha 15.
inline uint16_t Word16(int x, int row) {
    if (row == 0 && x == 0) {
        return 0xF8C4;
    }
    if (row == 0 && x == 1) {
        return 0x0FFF;
    }
    return static_cast<uint16_t>(0xF000 | (((x * 3 + row) & 15) << 8) |
                                 (((x + row * 5) & 15) << 4) | ((x * 7 + row * 2) & 15));
}

// Blue, green, red of a 24-bit pixel.
inline uint8_t Blue24(int x, int row) {
    return static_cast<uint8_t>(x * 40 + row);
}
inline uint8_t Green24(int x, int row) {
    return static_cast<uint8_t>(row * 50 + x + 1);
}
inline uint8_t Red24(int x, int row) {
    return static_cast<uint8_t>(200 - x * 10 - row);
}

// Blue, green, red, alpha of a 32-bit pixel (straight alpha): row 0 holds (200, 100, 50, 128)
// and a fully transparent (90, 80, 70, 0); every other pixel is opaque.
struct Bgra {
    uint8_t b, g, r, a;
};
inline Bgra Pixel32(int x, int row) {
    if (row == 0 && x == 0) {
        return {200, 100, 50, 128};
    }
    if (row == 0 && x == 1) {
        return {90, 80, 70, 0};
    }
    return {static_cast<uint8_t>(10 + x), static_cast<uint8_t>(20 + row),
            static_cast<uint8_t>(30 + x + row), 255};
}

} // namespace fixture
