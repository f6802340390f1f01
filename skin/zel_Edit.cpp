#include "skin/zel_Edit.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/VirtualKeys.h"
#include "skin/Utf8Text.h"
#include "skin/zel_Parent.h"

namespace {
constexpr uint32_t kCaretPixel = 0xFF000000u; // opaque black, premultiplied
} // namespace

bool zel_Edit::CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font) {
    if (!m_pParent && parent) {
        m_nId = static_cast<uint16_t>(id);
        parent->AddChild(this);
    }
    m_pFont = font;
    // The caret's pixels belong to the bitmap the area is about to replace.
    HideCaret();
    if (LoadAreaChecked(id) == AreaLoad::Refused) {
        return false;
    }
    UpdateCaret();
    Invalidate();
    return true;
}

bool zel_Edit::IsFocusable() {
    return m_bEnabled && m_bVisible;
}

void zel_Edit::SetEnabled(bool enabled) {
    zel_Wnd::SetEnabled(enabled);
    if (!enabled && m_bCaretShown) {
        HideCaret();
    }
}

void zel_Edit::SetText(const std::string& text) {
    m_Text = text;
    m_nCaretIndex = Utf8Length(m_Text);
    if (m_Bitmap.surface.IsValid()) {
        UpdateCaret();
        Invalidate();
    }
}

int32_t zel_Edit::CaretColumn(int32_t x) const {
    return std::clamp(x, 0, std::max(m_nAreaWidth - 1, 0));
}

void zel_Edit::EnsureColumn(int32_t height) {
    height = std::max(height, 0);
    if (!m_bHasColumn || static_cast<int32_t>(m_SavedColumn.size()) != height) {
        m_SavedColumn.assign(static_cast<size_t>(height), 0);
        m_bHasColumn = true;
    }
}

void zel_Edit::UpdateCaret() {
    HideCaret();
    plat::Size size;
    if (m_pFont) {
        if (m_nCaretIndex == 0) {
            size = m_pFont->Measure("a");
            size.cx = 0;
        } else {
            size = m_pFont->Measure(
                std::string_view(m_Text).substr(0, Utf8Offset(m_Text, m_nCaretIndex)));
        }
    }
    m_nCaretX = CaretColumn(size.cx);
    m_nCaretHeight = std::min(size.cy, m_nAreaHeight);
    EnsureColumn(m_nCaretHeight);
}

void zel_Edit::ShowCaret() {
    plat::Surface& s = m_Bitmap.surface;
    if (m_bCaretShown || !m_bHasColumn || !m_bEnabled || !s.IsValid()) {
        return;
    }
    m_bCaretShown = 1;
    s.Flush();
    const int32_t rows = std::min<int32_t>(static_cast<int32_t>(m_SavedColumn.size()), s.Height());
    if (m_nCaretX < s.Width()) {
        for (int32_t r = 0; r < rows; ++r) {
            uint8_t* p = s.Row(r) + 4 * static_cast<size_t>(m_nCaretX);
            std::memcpy(&m_SavedColumn[static_cast<size_t>(r)], p, 4);
            std::memcpy(p, &kCaretPixel, 4);
        }
    }
    s.MarkDirty();
    Invalidate();
}

void zel_Edit::HideCaret() {
    plat::Surface& s = m_Bitmap.surface;
    if (!m_bCaretShown || !m_bHasColumn || !s.IsValid()) {
        return;
    }
    m_bCaretShown = 0;
    s.Flush();
    const int32_t rows = std::min<int32_t>(static_cast<int32_t>(m_SavedColumn.size()), s.Height());
    if (m_nCaretX < s.Width()) {
        for (int32_t r = 0; r < rows; ++r) {
            std::memcpy(s.Row(r) + 4 * static_cast<size_t>(m_nCaretX),
                        &m_SavedColumn[static_cast<size_t>(r)], 4);
        }
    }
    s.MarkDirty();
    Invalidate();
}

void zel_Edit::Draw(plat::Canvas& target, const plat::Rect& clip) {
    if (!m_pPos || !m_Bitmap.surface.IsValid()) {
        return;
    }
    const bool fresh = m_bDirty != 0;
    RenderText();
    if (m_bCaretShown && fresh) {
        // The new rendering has no caret yet.
        m_bCaretShown = 0;
        ShowCaret();
    }
    target.AlphaBlend(clip, m_Bitmap.surface, clip.left - m_pPos->x, clip.top - m_pPos->y);
}

bool zel_Edit::OnLButtonDown(uint32_t, plat::Point point) {
    const int32_t cw = m_pFont ? std::max(m_pFont->Measure("8").cx, 1) : 1;
    const int32_t index = std::clamp((point.x + cw / 2) / cw, 0, Utf8Length(m_Text));
    if (index != m_nCaretIndex) {
        m_nCaretIndex = index;
        UpdateCaret();
        ShowCaret();
    }
    return true;
}

void zel_Edit::OnKeyDown(uint32_t vk, uint32_t, uint32_t) {
    switch (vk) {
    case plat::kVkLeft:
        if (m_nCaretIndex > 0) {
            --m_nCaretIndex;
            UpdateCaret();
            ShowCaret();
        }
        break;
    case plat::kVkRight:
        if (m_nCaretIndex < Utf8Length(m_Text)) {
            ++m_nCaretIndex;
            UpdateCaret();
            ShowCaret();
        }
        break;
    case plat::kVkDelete:
        DeleteForward();
        break;
    default:
        break;
    }
}

void zel_Edit::OnChar(uint32_t ch, uint32_t, uint32_t) {
    if (ch == 8) {
        Backspace();
        return;
    }
    const bool allowed = (ch >= '0' && ch <= '9') || (m_bAnyChar && ch >= 32);
    if (allowed && Utf8Length(m_Text) < kMaxTypedLength) {
        InsertChar(ch);
    }
}

void zel_Edit::InsertChar(uint32_t ch) {
    const std::string bytes = Utf8Encode(ch);
    if (bytes.empty()) {
        return;
    }
    m_Text.insert(Utf8Offset(m_Text, m_nCaretIndex), bytes);
    ++m_nCaretIndex;
    UpdateCaret();
    Invalidate();
}

void zel_Edit::Backspace() {
    if (m_nCaretIndex <= 0) {
        return;
    }
    const size_t from = Utf8Offset(m_Text, m_nCaretIndex - 1);
    m_Text.erase(from, Utf8Offset(m_Text, m_nCaretIndex) - from);
    --m_nCaretIndex;
    UpdateCaret();
    m_bCaretShown = 1; // drawn at its new place by the next rendering
    Invalidate();
}

void zel_Edit::DeleteForward() {
    if (m_nCaretIndex >= Utf8Length(m_Text)) {
        return;
    }
    const size_t from = Utf8Offset(m_Text, m_nCaretIndex);
    m_Text.erase(from, Utf8Offset(m_Text, m_nCaretIndex + 1) - from);
    UpdateCaret();
    Invalidate();
}
