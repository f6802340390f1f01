#pragma once
#include <cstdint>
#include <memory>

#include "skin/zel_Bitmap.h"

// One preview of the skin browser strip: the skin's language caption (running upwards) and
// its preview picture side by side, shown scaled to the strip's height, magnified near the
// cursor as far as the strip's fade allows. Owned by its zel_ImageList.
class zel_ImageItem {
public:
    // The scale it is shown at, and its size on screen.
    float Scale() const { return (*m_pFade * m_fMagnification + 1) * m_fBaseScale; }
    int32_t DisplayedWidth() const { return static_cast<int32_t>(Scale() * m_Picture.width); }
    int32_t DisplayedHeight() const { return static_cast<int32_t>(Scale() * m_Picture.height); }

    zel_Bitmap m_Picture;
    int32_t m_nSkinId = 0;
    int32_t m_nLanguage = 0;
    std::unique_ptr<zel_ImageItem> m_pNext;
    float m_fBaseScale = 1;     // strip height / preview height
    float m_fMagnification = 0; // 0 to 0.6
    const float* m_pFade = nullptr;
};
