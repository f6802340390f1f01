#include "skin/zel_ImageList.h"

#include <cmath>
#include <span>

#include "platform/core/DebugOutput.h"
#include "platform/ui/Font.h"
#include "skin/zel_Parent.h"

namespace {

const char* CaptionFor(int32_t language) {
    switch (language) {
    case 0:
        return "English";
    case 1:
        return "Espa\xC3\xB1ol";
    case 2:
        return "Portuguese";
    default:
        return "Other Language";
    }
}

constexpr float kFadeStep = 0.2f;

// Colour `id` of the current skin, without a message when it is missing (skins made for dark
// captions have none): black then. White would be taken for the background, so it is too.
uint32_t CaptionColor(int id) {
    const uint32_t colour = GetSkinColorOr(id, 0) & 0xFFFFFF;
    return colour == 0xFFFFFF ? 0 : colour;
}

} // namespace

zel_ImageList::~zel_ImageList() {
    RemoveAll();
}

plat::Rect zel_ImageList::GetRect() const {
    return {m_AreaPos.x, m_AreaPos.y, m_AreaPos.x + m_nAreaWidth, m_AreaPos.y + m_nAreaHeight};
}

void zel_ImageList::Invalidate() {
    if (m_pParent) {
        m_pParent->InvalidateRect(nullptr);
    }
}

bool zel_ImageList::CreateFromSkin(zel_Parent* parent, int id) {
    m_ColorKey = 0xFFFFFF;
    m_CaptionColor = CaptionColor(id + 1);
    RemoveAll();
    m_nId = static_cast<uint16_t>(id);
    m_pSelected = nullptr;
    m_nScroll = 0;
    m_nMagnifierShift = 0;
    m_fFade = 1;
    m_fCursorFraction = 1;
    if (!m_pParent && parent) {
        parent->AddChild(this);
        m_pPos = &m_AreaPos;
    } else {
        m_bDirty = 1;
    }
    const SkinArea* area = GetSkinArea(id);
    if (!area || area->width > kMaxSkinSide || area->height > kMaxSkinSide) {
        plat::DebugOutput(
            "zel_ImageList: the skin lacks the strip's area or gives it a bad size\n");
        m_nAreaWidth = m_nAreaHeight = 0;
        return false;
    }
    m_AreaPos = {area->x, area->y};
    m_nAreaWidth = area->width;
    m_nAreaHeight = area->height;
    return true;
}

int32_t zel_ImageList::Count() const {
    int32_t n = 0;
    for (const zel_ImageItem* item = m_pFirst.get(); item; item = item->m_pNext.get()) {
        ++n;
    }
    return n;
}

bool zel_ImageList::AddSkin(const plat::ResourceModule* module, bool select,
                            const std::string& face) {
    if (m_nAreaWidth <= 0 || m_nAreaHeight <= 0) {
        return false; // nothing can be shown in it
    }
    const int32_t skinId = GetModuleSkinValue(module, kSkinIdValueId);
    if (skinId == -1) {
        return false;
    }
    for (const zel_ImageItem* item = m_pFirst.get(); item; item = item->m_pNext.get()) {
        if (item->m_nSkinId == skinId) {
            return false;
        }
    }
    // The picture's size is known from the preview's header: one that cannot be shown is
    // refused before its pixels are made.
    zel_Bitmap::Info info;
    if (!zel_Bitmap::Inspect(*module, kSkinPreviewId, &info)) {
        return false;
    }
    const float baseScale = static_cast<float>(m_nAreaHeight) / static_cast<float>(info.height);
    // The caption: a strip 20 pixels wide on screen, the text running upwards, centred.
    const auto strip = static_cast<int32_t>(20 / baseScale);
    // The picture keeps to the cap of a loaded bitmap (a small preview header must not make a
    // huge picture), and shown at the strip's height it is at most a skin side wide, so that
    // the strip's sums of widths stay far inside 32 bits.
    const int64_t pictureWidth = int64_t{strip} + info.width;
    if (!IsSkinSizeValid(strip + info.width, info.height) ||
        pictureWidth * info.height > zel_Bitmap::kMaxPixels ||
        pictureWidth * m_nAreaHeight > int64_t{kMaxSkinSide} * info.height) {
        plat::DebugOutput("zel_ImageList: a preview too large for the strip\n");
        return false;
    }
    zel_Bitmap preview;
    auto item = std::make_unique<zel_ImageItem>();
    if (!preview.LoadFromModule(module, kSkinPreviewId) ||
        !item->m_Picture.Create(strip + preview.width, preview.height, true)) {
        return false;
    }
    item->m_nSkinId = skinId;
    item->m_nLanguage = GetModuleSkinValue(module, kSkinLanguageId);
    item->m_fBaseScale = baseScale;
    item->m_fMagnification = 0;
    item->m_pFade = &m_fFade;

    plat::Font caption;
    caption.Create(face, strip - static_cast<int32_t>(1 / item->m_fBaseScale), 400, 900);
    const char* text = CaptionFor(item->m_nLanguage);
    plat::Surface& picture = item->m_Picture.surface;
    {
        plat::Canvas canvas(picture);
        canvas.FillRect({0, 0, item->m_Picture.width, item->m_Picture.height},
                        plat::Rgb(255, 255, 255));
        const int32_t textWidth = caption.Measure(text).cx;
        canvas.TextOut(caption, {0, preview.height / 2 + textWidth / 2}, text, m_CaptionColor);
    }
    picture.Flush();
    for (int32_t y = 0; y < picture.Height(); ++y) {
        uint8_t* p = picture.Row(y);
        for (int32_t x = 0; x < picture.Width(); ++x, p += 4) {
            if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF) {
                p[0] = p[1] = p[2] = p[3] = 0;
            } else {
                p[3] = 255;
            }
        }
    }
    picture.MarkDirty();
    {
        plat::Canvas canvas(picture);
        canvas.AlphaBlend({strip, 0, strip + preview.width, preview.height}, preview.surface, 0, 0);
    }

    const bool selected = select || skinId == GetModuleSkinValue(g_SkinModule, kSkinIdValueId);
    // Sorted by language; a new item goes before older ones of its language.
    std::unique_ptr<zel_ImageItem>* at = &m_pFirst;
    while (*at && (*at)->m_nLanguage < item->m_nLanguage) {
        at = &(*at)->m_pNext;
    }
    item->m_pNext = std::move(*at);
    *at = std::move(item);
    if (selected) {
        m_pSelected = at->get();
    }
    Invalidate();
    return true;
}

void zel_ImageList::RemoveAll() {
    if (!m_pFirst) {
        return;
    }
    // Unlinked one by one: no recursion however many items there are.
    while (m_pFirst) {
        m_pFirst = std::move(m_pFirst->m_pNext);
    }
    m_pSelected = nullptr;
    Invalidate();
}

int32_t zel_ImageList::GetScrollWidth() const {
    int32_t sum = 0;
    for (const zel_ImageItem* item = m_pFirst.get(); item; item = item->m_pNext.get()) {
        sum += item->DisplayedWidth() + kGap;
    }
    return sum - m_nAreaWidth + 20;
}

void zel_ImageList::SetScrollPos(int32_t offset) {
    m_nScroll = offset;
    Invalidate();
}

int32_t zel_ImageList::GetSelectedId() const {
    return m_pSelected ? m_pSelected->m_nSkinId : -1;
}

void zel_ImageList::Draw(plat::Canvas& target, const plat::Rect& clip) {
    int32_t x = m_AreaPos.x -
                static_cast<int32_t>(m_nMagnifierShift * m_fCursorFraction * m_fFade) - m_nScroll;
    for (const zel_ImageItem* item = m_pFirst.get(); item && x < clip.right;
         item = item->m_pNext.get()) {
        const int32_t right = x + item->DisplayedWidth();
        if (right >= clip.left) {
            // Bottom-aligned in the area.
            const int32_t height = item->DisplayedHeight();
            const int32_t top = m_AreaPos.y + m_nAreaHeight - height;
            const plat::Rect dst = plat::Intersect({x, top, right, top + height}, clip);
            const float scale = item->Scale();
            if (!dst.IsEmpty() && scale > 0) {
                target.AlphaBlendScaled(dst, item->m_Picture.surface, (dst.left - x) / scale,
                                        (dst.top - top) / scale, dst.Width() / scale,
                                        dst.Height() / scale, item == m_pSelected ? 255 : 130);
            }
        }
        x = right + kGap;
    }
}

bool zel_ImageList::OnMouseEnter(uint32_t) {
    AcquireTimer();
    m_fFade = 0;
    m_bFadingIn = 1;
    return true;
}

void zel_ImageList::OnMouseLeave(uint32_t) {
    AcquireTimer();
    m_bFadingIn = 0;
}

void zel_ImageList::OnTimerTick() {
    if (m_bFadingIn) {
        m_fFade += kFadeStep;
        if (m_fFade >= 1) {
            ReleaseTimer();
            m_fFade = 1;
        }
    } else {
        m_fFade -= kFadeStep;
        if (m_fFade <= 0) {
            m_fFade = 0;
            ReleaseTimer();
        }
    }
    Invalidate();
}

bool zel_ImageList::OnMouseMove(uint32_t, plat::Point point) {
    if (m_fFade < 1) {
        m_fFade += kFadeStep;
        if (m_fFade >= 1) {
            ReleaseTimer();
            m_fFade = 1;
        }
    }
    m_nMagnifierShift = 0;
    m_fCursorFraction =
        m_nAreaWidth > 0 ? static_cast<float>(point.x) / static_cast<float>(m_nAreaWidth) : 0;
    const int32_t d = m_nScroll + point.x - 95;
    int32_t sum = 0;
    for (zel_ImageItem* item = m_pFirst.get(); item; item = item->m_pNext.get()) {
        const auto w0 = static_cast<int32_t>(item->m_Picture.width * item->m_fBaseScale);
        sum += w0;
        if (d < sum && sum < d + 180) {
            const double f = (sum - d) * 0.005555555555555556;
            item->m_fMagnification =
                f >= 0 && f <= 1 ? static_cast<float>(0.6 * std::sin(f * 3.1415)) : 0.0f;
            m_nMagnifierShift += (item->DisplayedWidth() - w0) / 2;
        } else {
            item->m_fMagnification = 0;
        }
        sum += kGap;
    }
    Invalidate();
    return true;
}

bool zel_ImageList::OnLButtonDown(uint32_t, plat::Point point) {
    const auto x0 = static_cast<int32_t>(m_nMagnifierShift * m_fCursorFraction * m_fFade);
    int32_t before = 0; // widths and gaps of the previous items
    zel_ImageItem* hit = nullptr;
    for (zel_ImageItem* item = m_pFirst.get(); item; item = item->m_pNext.get()) {
        const int32_t d = before - x0 - m_nScroll;
        if (d >= m_nAreaWidth) {
            break;
        }
        if (point.x < d + item->DisplayedWidth()) {
            hit = item;
            break;
        }
        before += item->DisplayedWidth() + kGap;
    }
    if (hit != m_pSelected || !hit) {
        m_pSelected = hit;
        Invalidate();
    }
    return true;
}

void zel_ImageList::OnLButtonDblClk(uint32_t, plat::Point) {
    if (m_pSelected && m_pSelected->m_nSkinId >= 0) {
        Notify(m_nId, m_pSelected->m_nSkinId);
    }
}
