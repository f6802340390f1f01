#pragma once
#include "skin/zel_Image.h"

// A bitmap at the top-left corner of its parent: window and panel backgrounds.
class zel_Bkgrd : public zel_Image {
public:
    // Bitmap `id` at (0, 0); attaches the background the first time. False when the bitmap
    // is missing.
    bool CreateFromSkin(zel_Parent* parent, int id) override;

    SkinPos m_OwnPos{0, 0};
};
