#pragma once
#include <vector>

#include "skin/zel_Label.h"

// A one-line text field with a caret: the caret is a one-pixel column of opaque black drawn
// into the text bitmap (the pixels under it are kept and put back when it hides). Characters
// are typed through OnChar (digits only, unless any character is allowed) up to 16 of them;
// Left, Right and Delete move and delete; a click places the caret by the width of "8".
// The caret always stays inside the area.
class zel_Edit : public zel_Label {
public:
    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    bool IsFocusable() override;
    void SetEnabled(bool enabled) override;
    void ShowCaret() override;
    void HideCaret() override;
    bool OnLButtonDown(uint32_t flags, plat::Point point) override;
    void OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags) override;
    void OnChar(uint32_t ch, uint32_t repeat, uint32_t flags) override;
    // Stores the text (always) and puts the caret at its end.
    void SetText(const std::string& text) override;
    bool CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font) override;
    // Measures where the caret goes (its column and height) after a change.
    virtual void UpdateCaret();

    // Editing at the caret; the program calls these too (handset keys).
    void InsertChar(uint32_t ch);
    void Backspace();
    void DeleteForward();

    int32_t CaretIndex() const { return m_nCaretIndex; }
    bool IsCaretShown() const { return m_bCaretShown != 0; }

    static constexpr int32_t kMaxTypedLength = 16;

    int32_t m_nCaretX = 0;
    int32_t m_nCaretHeight = 0;
    std::vector<uint32_t> m_SavedColumn; // the pixels under the caret while it is shown
    bool m_bHasColumn = false;
    int32_t m_nCaretIndex = 0; // characters before the caret
    uint8_t m_bCaretShown = 0;
    uint8_t m_bAnyChar = 0; // 1: every character from 32 up; 0: digits only

protected:
    // A saved column of `height` entries, made anew when there is none or its height differs.
    void EnsureColumn(int32_t height);
    // The caret column for a text width `x`: never beyond the area's last column.
    int32_t CaretColumn(int32_t x) const;
};
