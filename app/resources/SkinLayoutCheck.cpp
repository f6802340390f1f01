// quorvex_skincheck <skin module>: checks that no control of the call window's side panels
// lies under the face while its panel is open (the face covers the inner edge of both panel
// columns, values 226 and 227). The face reaches as far as its picture draws anything: the
// outermost columns holding a pixel that is not fully transparent. The build runs it on every
// skin module we ship, so a control placed there fails the build, named. Exit status 0 when
// every control is clear, 1 after a line for each one that is not, 2 when the module or one
// of its resources cannot be read.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "app/call/CallLayout.h"
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"

namespace {

// A control as the skin places it: at position `id` with the width of bitmap `bitmap` (a
// button, an arrow, a scroll track, a slider's end with the slider's thumb), or, for bitmap
// 0, in text area `id` (a list, the preview strip).
struct Part {
    int id;
    int bitmap;
};

struct Panel {
    const char* name;
    int id; // its background bitmap
    PanelColumn column;
    std::vector<Part> parts;
};

// The panels in the order the layout takes their widths: skins and audio on the left; contacts,
// call history and menu on the right.
const Panel kPanels[] = {
    {"skins",
     901,
     PanelColumn::Left,
     {{912, 0}, {905, 905}, {906, 906}, {908, 908}, {909, 909}, {910, 910}}},
    {"audio",
     500,
     PanelColumn::Left,
     {{511, 510}, {512, 510}, {505, 504}, {506, 504}, {508, 507}, {509, 507}}},
    {"contacts",
     601,
     PanelColumn::Right,
     {{605, 0}, {609, 609}, {610, 610}, {612, 612}, {613, 613}, {614, 614}, {615, 615}}},
    {"call history",
     401,
     PanelColumn::Right,
     {{405, 0},
      {409, 409},
      {410, 410},
      {412, 412},
      {413, 413},
      {414, 414},
      {415, 415},
      {416, 416}}},
    {"menu", 1001, PanelColumn::Right, {{1005, 0}, {1009, 1009}, {1010, 1010}, {1012, 1012}}},
};
constexpr int kFace = 229;
constexpr int kFaceOverlap = 226;
constexpr int kRightStart = 227;

class Reader {
public:
    Reader(const plat::ResourceModule& module, const char* path) : module_(module), path_(path) {}

    // The first `values.size()` little-endian 32-bit values of resource (type, id).
    bool Ints(uint32_t type, int id, std::span<int32_t> values) const {
        std::span<const uint8_t> data;
        if (module_.Find(type, static_cast<uint32_t>(id), &data) !=
                plat::ResourceModule::Lookup::Found ||
            data.size() < values.size_bytes()) {
            return Fail("resource", id);
        }
        std::memcpy(values.data(), data.data(), values.size_bytes());
        return true;
    }
    bool Picture(int bitmap, zel_Bitmap* picture) const {
        return picture->LoadFromModule(&module_, bitmap) || Fail("bitmap", bitmap);
    }
    bool Width(int bitmap, int32_t* width) const {
        zel_Bitmap picture;
        if (!Picture(bitmap, &picture)) {
            return false;
        }
        *width = picture.width;
        return true;
    }

private:
    bool Fail(const char* what, int id) const {
        std::fprintf(stderr, "quorvex_skincheck: %s: cannot read %s %d\n", path_, what, id);
        return false;
    }

    const plat::ResourceModule& module_;
    const char* path_;
};

// The columns [*first, *end) of `picture` from its leftmost to its rightmost column holding a
// pixel with alpha above 0; false when every pixel is clear.
bool DrawnColumns(const zel_Bitmap& picture, int32_t* first, int32_t* end) {
    *first = picture.width;
    *end = 0;
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* row = picture.surface.Row(y);
        for (int32_t x = 0; x < picture.width; ++x) {
            if (row[4 * x + 3] != 0) {
                *first = std::min(*first, x);
                *end = std::max(*end, x + 1);
            }
        }
    }
    return *first < *end;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvex_skincheck <skin module>\n");
        return 2;
    }
    plat::ResourceModule module;
    if (!module.LoadFromFile(argv[1])) {
        std::fprintf(stderr, "quorvex_skincheck: %s: %s\n", argv[1], module.Error().c_str());
        return 2;
    }
    const Reader read(module, argv[1]);
    CallLayoutInput in;
    int32_t widths[5] = {};
    zel_Bitmap face;
    if (!read.Picture(kFace, &face) ||
        !read.Ints(kSkinTypeValue, kFaceOverlap, {&in.faceOverlap, 1}) ||
        !read.Ints(kSkinTypeValue, kRightStart, {&in.rightStart, 1})) {
        return 2;
    }
    for (int i = 0; i < 5; ++i) {
        if (!read.Width(kPanels[i].id, &widths[i])) {
            return 2;
        }
    }
    in.faceWidth = face.width;
    in.faceHeight = face.height;
    in.leftPanels = {widths[0], widths[1]};
    in.rightPanels = {widths[2], widths[3], widths[4]};
    CallLayout layout;
    if (!ComputeCallLayout(in, &layout)) {
        std::fprintf(stderr, "quorvex_skincheck: %s: the call window cannot be laid out\n",
                     argv[1]);
        return 2;
    }
    int32_t first = 0, end = 0;
    if (!DrawnColumns(face, &first, &end)) {
        return 0; // a face that draws nothing covers nothing
    }
    layout.face.left = layout.faceX + first;
    layout.face.right = layout.faceX + end;
    int status = 0;
    for (int i = 0; i < 5; ++i) {
        const Panel& panel = kPanels[i];
        for (const Part& part : panel.parts) {
            int32_t place[4] = {};
            int32_t width = 0;
            if (part.bitmap == 0 ? !read.Ints(kSkinTypeArea, part.id, place)
                                 : !read.Ints(kSkinTypePosition, part.id, {place, 2}) ||
                                       !read.Width(part.bitmap, &width)) {
                return 2;
            }
            const int32_t left = place[0];
            const int32_t right = left + (part.bitmap == 0 ? place[2] : width);
            if (IsUnderFace(layout, panel.column, widths[i], left, right)) {
                std::fprintf(stderr,
                             "quorvex_skincheck: %s: control %d of the %s panel (x %d to %d) "
                             "lies under the call face\n",
                             argv[1], part.id, panel.name, left, right);
                status = 1;
            }
        }
    }
    return status;
}
