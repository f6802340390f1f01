#pragma once
#include <string>
#include <vector>

#include "platform/ui/Font.h"
#include "skin/zel_Image.h"
#include "skin/zel_Parent.h"
#include "skin/zel_Scroll.h"

// The skinned text list of the panels (contacts, call history, menu): rows rendered into a
// bitmap beside a vertical scroll bar. A row is chosen by a press (or, for lists that notify
// on double-click, by a double-click), which notifies (list id, the row's data) to the
// list's parent.
//
// Skin ids for base n: area n; colours n + 1 (text), n + 2 (hover row background), n + 3
// (selected row background); the scroll bar at base n + 4.
class zel_List : public zel_Parent {
public:
    // The rows: text rendered with the hover and selected rows on their own background, the
    // colour-key white made transparent.
    class zel_ListImage : public zel_Image {
    public:
        void Draw(plat::Canvas& target, const plat::Rect& clip) override;
        bool OnMouseMove(uint32_t flags, plat::Point point) override;
        bool OnLButtonDown(uint32_t flags, plat::Point point) override;
        void OnLButtonUp(uint32_t flags, plat::Point point) override;
        void OnLButtonDblClk(uint32_t flags, plat::Point point) override;
        void OnMouseLeave(uint32_t flags) override;

        void Create(zel_Parent* list, int id, const plat::Font* font, bool sticky,
                    bool notifyOnDoubleClick);
        // Place and size in the list; measures the rows in the font.
        bool Layout(int32_t x, int32_t y, int32_t width, int32_t height);
        void RenderRows();
        // The row under a point, or -1.
        int32_t RowAt(plat::Point point) const;

        int32_t m_nRowHeight = 0;
        int32_t m_nSelected = -1;
        int32_t m_nHover = -1;
        std::vector<std::string> m_Texts;
        std::vector<int32_t> m_Data;
        int32_t m_nScroll = 0;
        SkinPos m_OwnPos{0, 0};
        int32_t m_nCharWidth = 0;
        uint8_t m_bSticky = 0;
        uint8_t m_bNotifyOnDoubleClick = 0;
        uint32_t m_ColorKey = 0xFFFFFF;
        uint32_t m_TextColor = 0;
        uint32_t m_HoverColor = 0;
        uint32_t m_SelectionColor = 0;
        const plat::Font* m_pFont = nullptr;
    };

    // False, leaving the list empty, when its area is missing or has a size it cannot have.
    bool CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font, bool sticky,
                        bool notifyOnDoubleClick);
    void AddItem(const std::string& text, int32_t data);
    // Empties the list and scrolls back to its top.
    void RemoveAll();
    int32_t GetCount() const { return static_cast<int32_t>(m_Rows.m_Texts.size()); }
    // The selected row's data, -1 when none is selected.
    int32_t GetSelectedData() const;
    void Notify(uint16_t id, int32_t value) override;

    zel_Scroll m_Scroll;
    zel_ListImage m_Rows;
    int32_t m_nAreaHeight = 0;

private:
    void UpdateRange();
};
