#include "app/call/HistoryPanel.h"

#include "app/trace/TraceFile.h"

namespace {

// The questions before a list is erased.
constexpr int kStrEraseReceived = 30;
constexpr int kStrEraseDialed = 31;
constexpr int kStrEraseMissed = 32;

// The list's key below Software\Quorvex.
std::string KeyText(HistoryList list) {
    constexpr size_t kRootLength = sizeof("Software\\Quorvex\\") - 1;
    return CallHistory::KeyPath(list).substr(kRootLength);
}

} // namespace

CMakeCall::zel_SldCallHistory::zel_SldCallHistory(CallHistory& store, plat::Registry& registry)
    : zel_SldContactHandling(registry), m_Store(store) {
    m_KeyText = KeyText(m_nCurrentList);
}

bool CMakeCall::zel_SldCallHistory::Build(zel_Parent* parent, uint8_t group) {
    for (auto [button, id] :
         {std::pair{&m_Missed, kMissed}, {&m_Received, kReceived}, {&m_Dialed, kDialed}}) {
        if (!button->CreateFromSkin(this, id, 3)) {
            AppTrace("zel_SldCallHistory: falta el boton ", id);
            return false;
        }
    }
    if (!m_Erase.CreateFromSkin(this, kErase, 3)) {
        AppTrace("zel_SldCallHistory: falta el boton ", kErase);
        return false;
    }
    if (!LoadList(kFontValue, kList, false)) {
        return false;
    }
    // Every build starts on the received calls.
    m_nCurrentList = HistoryList::Received;
    m_KeyText = KeyText(m_nCurrentList);
    m_Missed.Release();
    m_Dialed.Release();
    m_Received.Press();
    Reload();
    if (!CreateFromSkin(parent, kPanel, group)) {
        AppTrace("zel_SldCallHistory: falta el panel ", kPanel);
        return false;
    }
    return true;
}

zel_PushButton& CMakeCall::zel_SldCallHistory::ButtonOf(HistoryList list) {
    switch (list) {
    case HistoryList::Missed:
        return m_Missed;
    case HistoryList::Dialed:
        return m_Dialed;
    case HistoryList::Received:
        break;
    }
    return m_Received;
}

void CMakeCall::zel_SldCallHistory::SelectList(HistoryList list) {
    ButtonOf(list).Press();
    if (list == m_nCurrentList) {
        return;
    }
    m_nCurrentList = list;
    m_KeyText = KeyText(list);
    Reload();
    for (HistoryList other : {HistoryList::Missed, HistoryList::Dialed, HistoryList::Received}) {
        if (other != list) {
            ButtonOf(other).Release();
        }
    }
}

void CMakeCall::zel_SldCallHistory::Reload() {
    ShowItems(m_Store.Reload(m_nCurrentList));
}

void CMakeCall::zel_SldCallHistory::DeleteHistory() {
    if (!m_Store.DeleteHistory(m_nCurrentList)) {
        // The list stays as the store still holds it.
        Reload();
        return;
    }
    m_List.RemoveAll();
    Invalidate();
}

void CMakeCall::zel_SldCallHistory::OnListChanged(HistoryList list) {
    if (list == m_nCurrentList) {
        Reload();
    }
}

void CMakeCall::zel_SldCallHistory::OnErase(CMsgBox& box) {
    if (m_List.GetCount() == 0) {
        return;
    }
    const int question = m_nCurrentList == HistoryList::Missed   ? kStrEraseMissed
                         : m_nCurrentList == HistoryList::Dialed ? kStrEraseDialed
                                                                 : kStrEraseReceived;
    if (box.ShowMessage(question, plat::kMbYesNo) == plat::kIdYes) {
        DeleteHistory();
    }
}

void CMakeCall::zel_SldCallHistory::Notify(uint16_t id, int32_t value) {
    switch (id) {
    case kMissed:
        SelectList(HistoryList::Missed);
        break;
    case kReceived:
        SelectList(HistoryList::Received);
        break;
    case kDialed:
        SelectList(HistoryList::Dialed);
        break;
    default:
        zel_SldContactHandling::Notify(id, value);
        break;
    }
}
