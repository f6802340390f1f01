// Where the call window's sliding panels plug in. Each panel is a nested class of CMakeCall
// derived from zel_Slide, built with its feature: the skins panel (901) and the audio panel
// (500) in the left column, the menu (1001), the call history (401) and the contacts (601) in
// the right one. A panel that is not built leaves its pointer null and takes no width in the
// layout.
#include "app/call/CMakeCall.h"
#include "app/call/HistoryPanel.h"

bool CMakeCall::BuildPanels() {
    // At every skin build, in this order, each panel rebuilds itself from the skin over its
    // column and returns false when the skin lacks it:
    //   skins:         m_pSkinsPanel   over &m_LeftPanels, group 1 (it hangs at the face)
    //   audio:         m_pAudioPanel   over &m_LeftPanels, group 1, at the current opacity
    //   menu:          m_pMenuPanel    over &m_RightPanels, group 0
    //   call history:  m_pHistoryPanel over &m_RightPanels, group 0
    //   contacts:      m_pContactsPanel over &m_RightPanels, group 0
    // PlacePanels then lays the window out from their widths.
    if (!BuildSettingsPanels()) {
        return false;
    }
    return BuildContactPanels();
}

HistoryList CMakeCall::ShownHistoryList() const {
    // The call-history panel opens on the received calls; once it is built, the list it
    // shows.
    const zel_SldCallHistory* history = HistoryPanel();
    return history ? history->m_nCurrentList : HistoryList::Received;
}

void CMakeCall::OnPanelCommand(uint16_t id, int32_t value) {
    // The panels' own commands: 416 (erase the shown history list), 613-615 (new, edit,
    // delete contact), 909, 910 and 912 (install a skin, switch skins), 1005 (menu item
    // `value`). Until their panels are built nothing sends them.
    if (OnSettingsCommand(id, value) || OnContactPanelCommand(id)) {
        return;
    }
}
