// quorvex_skincheck <skin module>: checks that no control of the call window's side panels
// lies under the face while its panel is open (the face covers the inner edge of both panel
// columns, values 226 and 227). The face reaches as far as its picture draws anything: the
// outermost columns holding a pixel that is not fully transparent. The build runs it on every
// skin module we ship, so a control placed there fails the build, named. Exit status 0 when
// every control is clear, 1 after a line for each one that is not, 2 when the module or one
// of its resources cannot be read.
#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "app/layout/CallLayout.h"
#include "app/layout/FormSkinIds.h"
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"

namespace {

// A control's piece as the skin places it: at position `id` with the width of bitmap `bitmap`
// (a button, an arrow, a scroll track, a slider's end with the slider's thumb), or, for bitmap
// 0, in text area `id` (a list, the preview strip).
struct Piece {
    int id;
    int bitmap;
};

void AddScroll(int id, std::vector<Piece>* pieces) {
    for (int at : {id, id + 1, id + 3}) {
        pieces->push_back({at, at});
    }
}

// The pieces of a panel's controls, by the way each kind of control is placed.
std::vector<Piece> PiecesOf(const PanelIds& panel) {
    std::vector<Piece> pieces;
    for (const PanelControl& control : panel.controls) {
        switch (control.kind) {
        case PanelControlKind::Button:
            pieces.push_back({control.id, control.id});
            break;
        case PanelControlKind::Area:
            pieces.push_back({control.id, 0});
            break;
        case PanelControlKind::Scroll:
            AddScroll(control.id, &pieces);
            break;
        case PanelControlKind::List:
            pieces.push_back({control.id, 0});
            AddScroll(control.id + 4, &pieces);
            break;
        case PanelControlKind::Slider:
            pieces.push_back({control.id + 1, control.id});
            pieces.push_back({control.id + 2, control.id});
            break;
        }
    }
    return pieces;
}

class Reader {
public:
    Reader(const plat::ResourceModule& module, const char* path) : module_(module), path_(path) {}

    // The first `values.size()` values of resource (type, id), by the loaders' own rule.
    bool Ints(uint32_t type, int id, std::span<int32_t> values) const {
        return ReadSkinInts(&module_, type, id, values) == SkinLoadStep::Loaded ||
               Fail("resource", id);
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
    // What the layout reads must be there: a skin without it is no skin we ship.
    zel_Bitmap face;
    int32_t value = 0;
    if (!read.Picture(CallWindowIds::kFace, &face) ||
        !read.Ints(kSkinTypeValue, CallWindowIds::kFaceOverlapValue, {&value, 1}) ||
        !read.Ints(kSkinTypeValue, CallWindowIds::kRightPanelsValue, {&value, 1})) {
        return 2;
    }
    int32_t widths[std::size(kSidePanels)] = {};
    for (size_t i = 0; i < std::size(kSidePanels); ++i) {
        if (!read.Width(kSidePanels[i].id, &widths[i])) {
            return 2;
        }
    }
    const CallLayoutInput in = ReadCallLayoutInput(module);
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
    for (size_t i = 0; i < std::size(kSidePanels); ++i) {
        const PanelIds& panel = kSidePanels[i];
        for (const Piece& part : PiecesOf(panel)) {
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
