#pragma once
#include <string>

#include "app/call/CMakeCall.h"
#include "app/layout/FormSkinIds.h"
#include "app/skinfiles/SkinFolder.h"
#include "skin/zel_Command.h"
#include "skin/zel_ImageList.h"
#include "skin/zel_Scroll.h"

// The skins panel (skin id 901, right-hand group of the left column): the strip of skin
// previews (912) with its scroll bar (905), and the buttons to install a skin file (909) and
// to use the selected skin (910). The strip holds the built-in skin and every skin file
// (installed first, then shipped; one per skin id, the copy SkinFolder::PathOf names). The
// panel scrolls the strip itself and passes every other command up to the window.
// GUI thread only.
class CMakeCall::zel_SldSkins final : public zel_Slide {
public:
    static constexpr int kPanel = SkinsPanelIds::kPanel;
    static constexpr int kScroll = SkinsPanelIds::kScroll;
    static constexpr int kInstall = SkinsPanelIds::kInstall;
    static constexpr int kUse = SkinsPanelIds::kUse;
    static constexpr int kStrip = SkinsPanelIds::kStrip;

    // Loads the strip, the buttons and the scroll bar, fills the strip, then the panel; false
    // when the skin lacks the panel.
    bool Create(zel_Parent* parent);
    // Empties the strip and adds the built-in skin, then each skin file.
    void FillSkinList();
    // Copies `file` into the installed skins and adds it to the strip, selected. False, with
    // nothing left behind, when it is no skin, is installed or shipped already, cannot be
    // copied, or the strip refuses it.
    bool InstallSkin(const std::string& file);
    void Notify(uint16_t id, int32_t value) override;

    zel_ImageList m_Strip;
    zel_Command m_Use;
    zel_Command m_Install;
    zel_Scroll m_Scroll;

private:
    // The scroll bar spans the strip's scroll width; it scrolls the strip back to its start.
    void UpdateScrollRange();
};
