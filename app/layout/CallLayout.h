#pragma once
#include <array>
#include <cstdint>

#include "platform/ui/Geometry.h"

namespace plat {
class ResourceModule;
}

// Where the call window puts its face and its two columns of sliding panels. The left column
// (skins, audio) is as wide as its widest panel, L; the face overlaps it by the skin's value
// 226, so its left edge is X = L - value 226; the right column (contacts, call history, menu)
// is as wide as its widest panel, R, and its panels hang from X + value 227. The window is
// W = X + face width + R wide and as high as the face. A panel that is not there counts as 0.
struct CallLayoutInput {
    int32_t faceWidth = 0;
    int32_t faceHeight = 0;
    std::array<int32_t, 2> leftPanels{};  // widths of the skins and audio panels
    std::array<int32_t, 3> rightPanels{}; // widths of the contacts, history and menu panels
    int32_t faceOverlap = 0;              // value 226
    int32_t rightStart = 0;               // value 227
};

struct CallLayout {
    int32_t left = 0;     // L, the left column's width
    int32_t faceX = 0;    // X
    int32_t width = 0;    // W
    int32_t height = 0;   // H
    int32_t rightX = 0;   // X + value 227, where the right panels' container starts
    plat::Rect leftClip;  // (0, 0, L, H)
    plat::Rect rightClip; // (X + value 227, 0, W, H)
    plat::Rect face;      // (X, 0, X + face width, H)
};

// What `module` gives the layout, read as the call window would build it: the face's and each
// panel background's size (0 for a picture that is missing or would not load) and values 226
// and 227 (0 when missing or damaged).
CallLayoutInput ReadCallLayoutInput(const plat::ResourceModule& module);

// The two columns of sliding panels beside the face.
enum class PanelColumn { Left, Right };

// False, leaving *layout alone, when the skin's values do not make a window: a face side or a
// window side of 0 or less or above the skin limit, a panel width below 0 or above it, X below
// 0, or value 227 below 0 or putting the right column's start X + value 227 beyond W.
bool ComputeCallLayout(const CallLayoutInput& in, CallLayout* layout);

// Whether the columns [left, right) of a panel `panelWidth` wide (in the panel's coordinates)
// lie, at least in part, under the face while the panel is open: a left column panel opens
// against the face (its left edge at L - width), a right column panel at the column's start
// (X + value 227). A part that only touches the face's edge is clear of it; an empty part is
// never under it.
bool IsUnderFace(const CallLayout& layout, PanelColumn column, int32_t panelWidth, int32_t left,
                 int32_t right);
