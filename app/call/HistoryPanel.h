#pragma once
#include "app/call/ContactsPanelBase.h"
#include "app/contacts/CallHistory.h"
#include "app/layout/FormSkinIds.h"
#include "app/strings/CMsgBox.h"
#include "skin/zel_Command.h"
#include "skin/zel_PushButton.h"

// The call-history panel: one of the three histories at a time, picked with the missed,
// received and dialed push buttons (one of them pressed), and the erase button. A row's press
// notifies 405 with the entry's index; the erase button notifies 416 up to the window, which
// hands it back to OnErase. GUI thread only.
class CMakeCall::zel_SldCallHistory : public CMakeCall::zel_SldContactHandling {
public:
    static constexpr int kFontValue = HistoryPanelIds::kFontValue;
    static constexpr int kPanel = HistoryPanelIds::kPanel;
    static constexpr int kList = HistoryPanelIds::kList;
    static constexpr int kMissed = HistoryPanelIds::kMissed;
    static constexpr int kReceived = HistoryPanelIds::kReceived;
    static constexpr int kDialed = HistoryPanelIds::kDialed;
    static constexpr int kErase = HistoryPanelIds::kErase;

    zel_SldCallHistory(CallHistory& store, plat::Registry& registry);

    // Builds the panel from the current skin over `parent` (at every skin build): the
    // buttons, the list showing the received calls, then the panel itself. False, traced,
    // when the skin lacks a part.
    bool Build(zel_Parent* parent, uint8_t group);

    // Shows `list`, pressing its button and releasing the others; reloads when it changes.
    void SelectList(HistoryList list);
    void Reload();
    // Erases the shown list.
    void DeleteHistory();
    // The store recorded an entry in `list` or erased it: reloads when the panel shows it.
    void OnListChanged(HistoryList list);

    // Command 416: when the shown list has entries, asks whether to erase it.
    void OnErase(CMsgBox& box);

    // The push buttons pick the list; everything else goes up to the window.
    void Notify(uint16_t id, int32_t value) override;

    HistoryList m_nCurrentList = HistoryList::Received;
    zel_PushButton m_Missed;
    zel_PushButton m_Received;
    zel_PushButton m_Dialed;
    zel_Command m_Erase;

private:
    zel_PushButton& ButtonOf(HistoryList list);

    CallHistory& m_Store;
};
