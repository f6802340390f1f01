#include "app/layout/CallLayout.h"

#include <algorithm>

#include "app/layout/FormSkinIds.h"
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"

namespace {

bool IsPanelWidth(int32_t width) {
    return width >= 0 && width <= kMaxSkinSide;
}

// Bitmap `id`'s size as it would load; 0 x 0 when it would not.
zel_Bitmap::Info PictureSize(const plat::ResourceModule& module, int id) {
    zel_Bitmap::Info info;
    return zel_Bitmap::Inspect(module, id, &info) ? info : zel_Bitmap::Info{};
}

} // namespace

CallLayoutInput ReadCallLayoutInput(const plat::ResourceModule& module) {
    CallLayoutInput in;
    const zel_Bitmap::Info face = PictureSize(module, CallWindowIds::kFace);
    in.faceWidth = face.width;
    in.faceHeight = face.height;
    int32_t widths[std::size(kSidePanels)] = {};
    for (size_t i = 0; i < std::size(kSidePanels); ++i) {
        widths[i] = PictureSize(module, kSidePanels[i].id).width;
    }
    in.leftPanels = {widths[0], widths[1]};
    in.rightPanels = {widths[2], widths[3], widths[4]};
    ReadSkinInts(&module, kSkinTypeValue, CallWindowIds::kFaceOverlapValue, {&in.faceOverlap, 1});
    ReadSkinInts(&module, kSkinTypeValue, CallWindowIds::kRightPanelsValue, {&in.rightStart, 1});
    return in;
}

bool ComputeCallLayout(const CallLayoutInput& in, CallLayout* layout) {
    if (!IsSkinSizeValid(in.faceWidth, in.faceHeight) ||
        !std::all_of(in.leftPanels.begin(), in.leftPanels.end(), IsPanelWidth) ||
        !std::all_of(in.rightPanels.begin(), in.rightPanels.end(), IsPanelWidth) ||
        in.faceOverlap < -kMaxSkinSide || in.faceOverlap > kMaxSkinSide) {
        return false;
    }
    const int32_t left = *std::max_element(in.leftPanels.begin(), in.leftPanels.end());
    const int32_t right = *std::max_element(in.rightPanels.begin(), in.rightPanels.end());
    const int32_t faceX = left - in.faceOverlap;
    if (faceX < 0) {
        return false;
    }
    // Every term is at most two skin sides, so the sum stays far inside 32 bits.
    const int32_t width = faceX + in.faceWidth + right;
    // The right column starts inside the window: X + value 227 at most W.
    if (!IsSkinSizeValid(width, in.faceHeight) || in.rightStart < 0 ||
        in.rightStart > width - faceX) {
        return false;
    }
    layout->left = left;
    layout->faceX = faceX;
    layout->width = width;
    layout->height = in.faceHeight;
    layout->rightX = faceX + in.rightStart;
    layout->leftClip = {0, 0, left, in.faceHeight};
    layout->rightClip = {faceX + in.rightStart, 0, width, in.faceHeight};
    layout->face = {faceX, 0, faceX + in.faceWidth, in.faceHeight};
    return true;
}

bool IsUnderFace(const CallLayout& layout, PanelColumn column, int32_t panelWidth, int32_t left,
                 int32_t right) {
    const int64_t origin =
        column == PanelColumn::Left ? int64_t{layout.left} - panelWidth : layout.rightX;
    return left < right && origin + left < layout.face.right && origin + right > layout.face.left;
}
