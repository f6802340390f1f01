#include "skin/zel_Label.h"

#include "platform/core/DebugOutput.h"
#include "skin/zel_Parent.h"

namespace {

bool LoadFromCurrentSkin(int id, std::string& text) {
    return g_SkinModule && id >= 0 && g_SkinModule->LoadString(static_cast<uint32_t>(id), &text);
}

zel_Label::StringLoader g_StringLoader = LoadFromCurrentSkin;

} // namespace

void zel_Label::SetStringLoader(StringLoader loader) {
    g_StringLoader = loader ? loader : LoadFromCurrentSkin;
}

bool zel_Label::CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font) {
    m_pFont = font;
    if (!m_pParent && parent) {
        m_nId = static_cast<uint16_t>(id);
        parent->AddChild(this);
    } else {
        m_bDirty = 1;
    }
    return LoadAreaChecked(id) != AreaLoad::Refused;
}

bool zel_Label::LoadArea(int id) {
    return LoadAreaChecked(id) == AreaLoad::Loaded;
}

zel_Label::AreaLoad zel_Label::LoadAreaChecked(int id) {
    if (m_pPos && m_Bitmap.surface.IsValid()) {
        Invalidate(); // the old place
    }
    const SkinArea* area = GetSkinArea(id);
    if (!area) {
        return AreaLoad::Missing;
    }
    if (!IsSkinSizeValid(area->width, area->height) ||
        !m_Bitmap.Create(area->width, area->height, false)) {
        plat::DebugOutput("zel_Label: the skin gives a text area a size it cannot have\n");
        return AreaLoad::Refused;
    }
    m_AreaPos = {area->x, area->y};
    m_nAreaWidth = area->width;
    m_nAreaHeight = area->height;
    m_pPos = &m_AreaPos;
    Invalidate();
    return AreaLoad::Loaded;
}

void zel_Label::SetText(const std::string& text) {
    if (text == m_Text) {
        return;
    }
    m_Text = text;
    Invalidate();
}

void zel_Label::SetTextById(int stringId) {
    std::string text;
    g_StringLoader(stringId, text);
    SetText(text);
}

void zel_Label::CoverageToAlpha() {
    plat::Surface& s = m_Bitmap.surface;
    s.Flush();
    for (int y = 0; y < s.Height(); ++y) {
        uint8_t* p = s.Row(y);
        for (int x = 0; x < s.Width(); ++x, p += 4) {
            p[3] = static_cast<uint8_t>(255 - p[0]);
            p[0] = p[1] = p[2] = 0;
        }
    }
    s.MarkDirty();
}

void zel_Label::RenderText() {
    if (!m_bDirty || !m_Bitmap.surface.IsValid()) {
        return;
    }
    m_bDirty = 0;
    {
        plat::Canvas canvas(m_Bitmap.surface);
        canvas.FillRect({0, 0, m_Bitmap.width, m_Bitmap.height}, plat::Rgb(255, 255, 255));
        if (m_pFont) {
            canvas.DrawText(*m_pFont, m_Text, {0, 0, m_Bitmap.width, m_Bitmap.height}, m_nFormat,
                            plat::Rgb(0, 0, 0));
        }
    }
    CoverageToAlpha();
}

void zel_Label::Draw(plat::Canvas& target, const plat::Rect& clip) {
    if (!m_pPos || !m_Bitmap.surface.IsValid() || m_Text.empty()) {
        return;
    }
    RenderText();
    target.AlphaBlend(clip, m_Bitmap.surface, clip.left - m_pPos->x, clip.top - m_pPos->y);
}

plat::Rect zel_Label::GetRect() const {
    if (!m_pPos || !m_Bitmap.surface.IsValid()) {
        return {};
    }
    return {m_pPos->x, m_pPos->y, m_pPos->x + m_Bitmap.width, m_pPos->y + m_Bitmap.height};
}
