// Writes the fixture bitmaps of the resource and skin tests into the directory given: packed
// DIBs (.dib: a BITMAPINFOHEADER and the pixels, stored as raw type-2 resources) including
// damaged ones, and BMP files (.bmp) for the rc compiler's BITMAP statement.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/res/FixturePattern.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes* out, uint32_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes* out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

Bytes Header(uint32_t size, int32_t width, int32_t height, uint16_t bits) {
    Bytes h;
    Put32(&h, size);
    Put32(&h, static_cast<uint32_t>(width));
    Put32(&h, static_cast<uint32_t>(height));
    Put16(&h, 1);
    Put16(&h, bits);
    for (int i = 0; i < 6; ++i) {
        Put32(&h, 0);
    }
    return h;
}

void Pad(Bytes* out, size_t rowStart) {
    while ((out->size() - rowStart) % 4 != 0) {
        out->push_back(0);
    }
}

Bytes Dib16() {
    Bytes d = Header(40, fixture::kWidth16, fixture::kHeight16, 16);
    for (uint32_t mask : {0x0F00u, 0x00F0u, 0x000Fu, 0xF000u}) {
        Put32(&d, mask);
    }
    for (int row = 0; row < fixture::kHeight16; ++row) {
        size_t start = d.size();
        for (int x = 0; x < fixture::kWidth16; ++x) {
            Put16(&d, fixture::Word16(x, row));
        }
        Pad(&d, start);
    }
    return d;
}

Bytes Dib24(int width, int height) {
    Bytes d = Header(40, width, height, 24);
    for (int row = 0; row < height; ++row) {
        size_t start = d.size();
        for (int x = 0; x < width; ++x) {
            d.push_back(fixture::Blue24(x, row));
            d.push_back(fixture::Green24(x, row));
            d.push_back(fixture::Red24(x, row));
        }
        Pad(&d, start);
    }
    return d;
}

Bytes Dib32() {
    Bytes d = Header(40, fixture::kWidth32, fixture::kHeight32, 32);
    for (int row = 0; row < fixture::kHeight32; ++row) {
        for (int x = 0; x < fixture::kWidth32; ++x) {
            fixture::Bgra p = fixture::Pixel32(x, row);
            d.insert(d.end(), {p.b, p.g, p.r, p.a});
        }
    }
    return d;
}

Bytes AsBmpFile(const Bytes& dib) {
    Bytes f = {'B', 'M'};
    Put32(&f, static_cast<uint32_t>(14 + dib.size()));
    Put32(&f, 0);
    Put32(&f, 54);
    f.insert(f.end(), dib.begin(), dib.end());
    return f;
}

bool Write(const std::string& dir, const char* name, const Bytes& bytes) {
    std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fixture_bitmaps <dir>\n");
        return 2;
    }
    const std::string dir = argv[1];

    Bytes rowsPastEnd = Dib24(fixture::kWidth24, fixture::kHeight24);
    rowsPastEnd.resize(rowsPastEnd.size() - 2); // the last row: padding and one pixel byte
    Bytes depth8 = Header(40, 4, 2, 8);
    depth8.resize(depth8.size() + 8, 0x55);
    Bytes header12 = Dib24(fixture::kWidth24, fixture::kHeight24);
    header12[0] = 12;
    Bytes widthZero = Header(40, 0, 2, 24);
    Bytes heightNegative = Dib24(2, 2);
    heightNegative[8] = 0xFE;
    heightNegative[9] = heightNegative[10] = heightNegative[11] = 0xFF;
    Bytes truncated = Header(40, 2, 2, 24);
    truncated.resize(20);
    Bytes hugeUnknown = Header(40, 8000, 8000, 8); // 64 Mi pixels, no pixel data

    struct File {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"bmp16.dib", Dib16()},
        {"bmp24.dib", Dib24(fixture::kWidth24, fixture::kHeight24)},
        {"bmp32.dib", Dib32()},
        {"bmp24.bmp", AsBmpFile(Dib24(fixture::kWidthBmp24, fixture::kHeightBmp24))},
        {"preview.bmp", AsBmpFile(Dib32())},
        {"depth8.dib", depth8},
        {"header12.dib", header12},
        {"widthzero.dib", widthZero},
        {"heightnegative.dib", heightNegative},
        {"rowspastend.dib", rowsPastEnd},
        {"truncated.dib", truncated},
        {"hugeunknown.dib", hugeUnknown},
    };
    for (const File& f : files) {
        if (!Write(dir, f.name, f.bytes)) {
            std::fprintf(stderr, "make_fixture_bitmaps: cannot write %s\n", f.name);
            return 1;
        }
    }
    return 0;
}
