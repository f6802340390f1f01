#include "skin/zel_List.h"

#include "platform/core/DebugOutput.h"
#include "skin/Utf8Text.h"

// --- the rows ---

void zel_List::zel_ListImage::Create(zel_Parent* list, int id, const plat::Font* font, bool sticky,
                                     bool notifyOnDoubleClick) {
    if (!m_pParent && list) {
        list->AddChild(this);
        m_pPos = &m_OwnPos;
    }
    m_ColorKey = 0xFFFFFF;
    m_TextColor = GetSkinColor(id + 1);
    m_HoverColor = GetSkinColor(id + 2);
    m_SelectionColor = GetSkinColor(id + 3);
    m_nHover = m_nSelected = -1;
    m_nScroll = 0;
    m_nRowHeight = 0;
    m_pFont = font;
    m_bSticky = sticky;
    m_bNotifyOnDoubleClick = notifyOnDoubleClick;
}

bool zel_List::zel_ListImage::Layout(int32_t x, int32_t y, int32_t width, int32_t height) {
    m_OwnPos = {x, y};
    if (!m_Bitmap.Create(width, height, false)) {
        return false;
    }
    Invalidate();
    const plat::Size xg = m_pFont ? m_pFont->Measure("Xg") : plat::Size{};
    m_nRowHeight = xg.cy;
    m_nCharWidth = xg.cx / 2;
    return true;
}

void zel_List::zel_ListImage::RenderRows() {
    if (!m_bDirty || m_nRowHeight <= 0 || !m_Bitmap.surface.IsValid() || !m_pFont) {
        return;
    }
    m_bDirty = 0;
    const int32_t w = m_Bitmap.width;
    const int32_t h = m_Bitmap.height;
    {
        plat::Canvas canvas(m_Bitmap.surface);
        canvas.FillRect({0, 0, w, h}, plat::Rgb(255, 255, 255));
        const auto count = static_cast<int32_t>(m_Texts.size());
        for (int32_t i = 0; i < count; ++i) {
            if (i == m_nHover || i == m_nSelected) {
                continue;
            }
            const int32_t y = i * m_nRowHeight - m_nScroll;
            canvas.DrawText(*m_pFont, m_Texts[static_cast<size_t>(i)], {0, y, w, h}, 0,
                            m_TextColor);
        }
        for (auto [row, colour] :
             {std::pair{m_nHover, m_HoverColor}, std::pair{m_nSelected, m_SelectionColor}}) {
            if (row < 0 || row >= count) {
                continue;
            }
            const int32_t y = row * m_nRowHeight - m_nScroll;
            canvas.FillRect({0, y, w, y + m_nRowHeight}, plat::Rgb(255, 255, 255));
            canvas.DrawText(*m_pFont, m_Texts[static_cast<size_t>(row)], {0, y, w, h}, 0,
                            m_TextColor, true, colour);
        }
    }
    plat::Surface& s = m_Bitmap.surface;
    s.Flush();
    const uint8_t keyR = m_ColorKey & 0xFF;
    const uint8_t keyG = (m_ColorKey >> 8) & 0xFF;
    const uint8_t keyB = (m_ColorKey >> 16) & 0xFF;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = s.Row(y);
        for (int32_t x = 0; x < w; ++x, p += 4) {
            if (p[0] == keyB && p[1] == keyG && p[2] == keyR) {
                p[0] = p[1] = p[2] = p[3] = 0;
            } else {
                p[3] = 255;
            }
        }
    }
    s.MarkDirty();
}

void zel_List::zel_ListImage::Draw(plat::Canvas& target, const plat::Rect& clip) {
    RenderRows();
    zel_Image::Draw(target, clip);
}

int32_t zel_List::zel_ListImage::RowAt(plat::Point point) const {
    if (m_nRowHeight <= 0 || point.y + m_nScroll < 0) {
        return -1;
    }
    const int32_t index = (m_nScroll + point.y) / m_nRowHeight;
    if (index >= static_cast<int32_t>(m_Texts.size())) {
        return -1;
    }
    const int32_t textWidth = Utf8Length(m_Texts[static_cast<size_t>(index)]) * m_nCharWidth;
    return point.x <= textWidth ? index : -1;
}

bool zel_List::zel_ListImage::OnMouseMove(uint32_t, plat::Point point) {
    int32_t index = RowAt(point);
    if (m_bSticky && index == m_nSelected) {
        index = -1;
    }
    if (index != m_nHover) {
        if (!m_bSticky) {
            m_nSelected = -1;
        }
        m_nHover = index;
        Invalidate();
    }
    return true;
}

bool zel_List::zel_ListImage::OnLButtonDown(uint32_t, plat::Point point) {
    const int32_t index = RowAt(point);
    if (index != m_nSelected) {
        m_nSelected = index;
        m_nHover = -1;
        Invalidate();
    }
    if (m_nSelected >= 0 && !m_bNotifyOnDoubleClick) {
        Notify(m_nId, m_Data[static_cast<size_t>(m_nSelected)]);
    }
    return m_nSelected >= 0;
}

void zel_List::zel_ListImage::OnLButtonUp(uint32_t, plat::Point) {
    if (!m_bSticky) {
        m_nHover = m_nSelected;
        m_nSelected = -1;
        Invalidate();
    }
}

void zel_List::zel_ListImage::OnLButtonDblClk(uint32_t, plat::Point point) {
    if (!m_bNotifyOnDoubleClick) {
        return;
    }
    // Only a row that was hit: never a notification for "no row".
    const int32_t index = RowAt(point);
    if (index >= 0 && (index == m_nHover || index == m_nSelected)) {
        Notify(m_nId, m_Data[static_cast<size_t>(index)]);
    }
}

void zel_List::zel_ListImage::OnMouseLeave(uint32_t) {
    if (m_nHover != -1) {
        m_nHover = -1;
        Invalidate();
    }
}

// --- the list ---

bool zel_List::CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font, bool sticky,
                              bool notifyOnDoubleClick) {
    const SkinArea* area = GetSkinArea(id);
    const bool barLoaded = m_Scroll.CreateFromSkin(this, id + 4, false);
    if (!m_pParent && parent) {
        parent->AddChild(this);
        m_pPos = &m_RectPos;
    } else {
        RemoveAll();
        m_bDirty = 1;
    }
    m_Rows.Create(this, id, font, sticky, notifyOnDoubleClick);
    m_nId = static_cast<uint16_t>(id);
    m_Rows.m_nId = static_cast<uint16_t>(id);
    if (!area || !IsSkinSizeValid(area->width, area->height)) {
        plat::DebugOutput("zel_List: the skin lacks the list's area or gives it a bad size\n");
        m_Rows.m_Bitmap.Free();
        m_Rows.m_nRowHeight = 0;
        return false;
    }
    const plat::Rect areaRect{area->x, area->y, area->x + area->width, area->y + area->height};
    const plat::Rect own = barLoaded ? plat::Union(areaRect, m_Scroll.OwnRect()) : areaRect;
    SetOwnRect(own);
    if (barLoaded) {
        m_Scroll.OffsetRect({own.left, own.top});
    }
    m_nAreaHeight = area->height;
    if (!m_Rows.Layout(area->x - own.left, area->y - own.top, area->width, area->height)) {
        return false;
    }
    m_Scroll.SetRange(0, 0);
    Invalidate();
    return barLoaded; // the rows work without their bar, but the skin is incomplete
}

void zel_List::UpdateRange() {
    m_Scroll.SetRange(0, GetCount() * m_Rows.m_nRowHeight - m_nAreaHeight);
}

void zel_List::AddItem(const std::string& text, int32_t data) {
    m_Rows.m_Texts.push_back(text);
    m_Rows.m_Data.push_back(data);
    UpdateRange();
    m_Rows.Invalidate();
}

void zel_List::RemoveAll() {
    m_Rows.m_Texts.clear();
    m_Rows.m_Data.clear();
    m_Scroll.SetRange(0, 0);
    // Back to the top: a shorter list must not be drawn scrolled or left unscrollable.
    m_Rows.m_nScroll = 0;
    m_Scroll.m_Thumb.SetAxisPos(m_Scroll.m_Thumb.m_nMin);
    m_Rows.m_nHover = m_Rows.m_nSelected = -1;
    m_Rows.Invalidate();
}

int32_t zel_List::GetSelectedData() const {
    const int32_t s = m_Rows.m_nSelected;
    return s >= 0 && s < GetCount() ? m_Rows.m_Data[static_cast<size_t>(s)] : -1;
}

void zel_List::Notify(uint16_t id, int32_t value) {
    if (id == m_Scroll.m_nId && id != m_Rows.m_nId) {
        m_Rows.m_nScroll = static_cast<int32_t>(m_Scroll.GetPos());
        m_Rows.Invalidate();
        return;
    }
    zel_Wnd::Notify(id, value);
}
