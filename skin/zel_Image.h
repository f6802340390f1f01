#pragma once
#include "skin/zel_Bitmap.h"
#include "skin/zel_Wnd.h"

// A skin bitmap at a skin position.
class zel_Image : public zel_Wnd {
public:
    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    plat::Rect GetRect() const override;

    // Position and bitmap `id`; attaches the image the first time (the id is not stored).
    // The result is whether the bitmap loaded.
    virtual bool CreateFromSkin(zel_Parent* parent, int id);

    zel_Bitmap m_Bitmap;
};
