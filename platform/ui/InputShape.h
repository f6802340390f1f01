#pragma once
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/Surface.h"

namespace plat {

// The part of an image that takes mouse input: every pixel whose alpha is above 0, as
// rectangles. Rows with the same runs are merged into one band, so a typical form gives a few
// dozen rectangles. Rectangles come top to bottom, left to right; equal images give equal
// lists, so a caller can compare lists to see whether the shape changed.
std::vector<Rect> OpaqueRects(const Surface& image);

} // namespace plat
