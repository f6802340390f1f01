#include "platform/ui/InputShape.h"

#include <cstdint>

namespace plat {
namespace {

// Runs [left, right) of pixels with alpha above 0 in one row.
void RowRuns(const uint8_t* row, int width, std::vector<std::pair<int32_t, int32_t>>* runs) {
    runs->clear();
    int x = 0;
    while (x < width) {
        while (x < width && row[4 * x + 3] == 0) {
            ++x;
        }
        if (x == width) {
            break;
        }
        int start = x;
        while (x < width && row[4 * x + 3] != 0) {
            ++x;
        }
        runs->push_back({start, x});
    }
}

} // namespace

std::vector<Rect> OpaqueRects(const Surface& image) {
    std::vector<Rect> rects;
    if (!image.IsValid()) {
        return rects;
    }
    std::vector<std::pair<int32_t, int32_t>> band; // runs of the open band
    std::vector<std::pair<int32_t, int32_t>> runs;
    int32_t bandTop = 0;
    auto closeBand = [&](int32_t bottom) {
        for (auto& [l, r] : band) {
            rects.push_back({l, bandTop, r, bottom});
        }
    };
    for (int y = 0; y < image.Height(); ++y) {
        RowRuns(image.Row(y), image.Width(), &runs);
        if (runs != band) {
            closeBand(y);
            band.swap(runs);
            bandTop = y;
        }
    }
    closeBand(image.Height());
    return rects;
}

} // namespace plat
