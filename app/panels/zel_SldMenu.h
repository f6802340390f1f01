#pragma once
#include "app/call/CMakeCall.h"
#include "app/layout/FormSkinIds.h"
#include "platform/ui/Font.h"
#include "skin/zel_List.h"

// The menu panel (skin id 1001, left-hand group of the right column): a list (1005) of country
// codes, options, help and about, each row carrying its string id; picking a row sends 1005
// with that id to the window. The list's font is the skin's face at the height of value 1000.
// GUI thread only.
class CMakeCall::zel_SldMenu final : public zel_Slide {
public:
    static constexpr int kPanel = MenuPanelIds::kPanel;
    static constexpr int kList = MenuPanelIds::kList;
    static constexpr int kFontHeightValue = MenuPanelIds::kFontHeightValue;
    // The rows' strings, in order: "Country codes...", "Options...", "Help...", "About...".
    static constexpr int kItems[] = {49, 50, 53, 54};

    // Loads the font, the list and its rows, then the panel; false when the skin lacks the
    // panel.
    bool Create(zel_Parent* parent);

    zel_List m_List;
    plat::Font m_Font;
};
