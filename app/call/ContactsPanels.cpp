// The call window's side of the call-history and contacts panels: building them in the right
// column, their commands, and the history panel following what the call logic records.
#include "app/call/CMakeCall.h"
#include "app/call/ContactsPanel.h"
#include "app/call/HistoryPanel.h"

namespace {

// The right column's panels hang at its left edge, behind the face.
constexpr uint8_t kRightGroup = 0;

} // namespace

CMakeCall::zel_SldContacts* CMakeCall::ContactsPanel() const {
    return static_cast<zel_SldContacts*>(m_pContactsPanel.get());
}

CMakeCall::zel_SldCallHistory* CMakeCall::HistoryPanel() const {
    return static_cast<zel_SldCallHistory*>(m_pHistoryPanel.get());
}

bool CMakeCall::BuildContactPanels() {
    plat::Registry& registry = plat::Registry::CurrentUser();
    if (!m_pHistoryPanel) {
        m_pHistoryPanel = std::make_unique<zel_SldCallHistory>(m_HistoryStore, registry);
        // Whatever the call logic records shows at once when the panel shows that list.
        m_HistoryStore.SetChangedCallback([this](HistoryList list) {
            if (zel_SldCallHistory* history = HistoryPanel()) {
                history->OnListChanged(list);
            }
        });
    }
    if (!m_pContactsPanel) {
        m_pContactsPanel = std::make_unique<zel_SldContacts>(m_Contacts, registry);
    }
    return HistoryPanel()->Build(&m_RightPanels, kRightGroup) &&
           ContactsPanel()->Build(&m_RightPanels, kRightGroup);
}

bool CMakeCall::OnContactPanelCommand(uint16_t id) {
    zel_SldContacts* contacts = ContactsPanel();
    zel_SldCallHistory* history = HistoryPanel();
    switch (id) {
    case kCmdHistoryErase:
        if (history) {
            history->OnErase(*this);
        }
        return true;
    case kCmdNewContact:
        if (contacts) {
            contacts->OnNewContact(*this, MessageBoxParent(), m_pCall->GetDialedNumber());
        }
        return true;
    case kCmdEditContact:
        if (contacts) {
            contacts->OnEditContact(*this, MessageBoxParent());
        }
        return true;
    case kCmdDeleteContact:
        if (contacts) {
            contacts->OnDeleteContact(*this);
        }
        return true;
    default:
        return false;
    }
}
