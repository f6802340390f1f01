#include "app/call/CallLayout.h"

#include <algorithm>

#include "skin/SkinResources.h"

namespace {

bool IsPanelWidth(int32_t width) {
    return width >= 0 && width <= kMaxSkinSide;
}

} // namespace

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
