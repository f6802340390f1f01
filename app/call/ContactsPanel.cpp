#include "app/call/ContactsPanel.h"

#include "app/contacts/NewContact.h"
#include "app/trace/TraceFile.h"

namespace {

constexpr int kStrNameTaken = 105;
constexpr int kStrDeleteContact = 33;

} // namespace

CMakeCall::zel_SldContacts::zel_SldContacts(ContactBook& book, plat::Registry& registry)
    : zel_SldContactHandling(registry), m_Book(book) {
    m_KeyText = kKey;
}

bool CMakeCall::zel_SldContacts::Build(zel_Parent* parent, uint8_t group) {
    m_KeyText = kKey;
    for (auto [button, id] : {std::pair{&m_New, kNew}, {&m_Edit, kEdit}, {&m_Delete, kDelete}}) {
        if (!button->CreateFromSkin(this, id, 3)) {
            AppTrace("zel_SldContacts: falta el boton ", id);
            return false;
        }
    }
    if (!LoadList(kFontValue, kList, true)) {
        return false;
    }
    LoadContacts();
    if (!CreateFromSkin(parent, kPanel, group)) {
        AppTrace("zel_SldContacts: falta el panel ", kPanel);
        return false;
    }
    return true;
}

void CMakeCall::zel_SldContacts::LoadContacts() {
    ShowItems(m_Book.LoadContacts());
}

bool CMakeCall::zel_SldContacts::AddContact(const std::string& name, const std::string& number) {
    std::optional<ListItem> item = m_Book.AddContact(name, number);
    if (!item) {
        return false;
    }
    // Shown last until the next load puts the list in slot order again.
    m_List.AddItem(item->text, item->data);
    Invalidate();
    return true;
}

bool CMakeCall::zel_SldContacts::EditContact(int32_t slot, const std::string& name,
                                             const std::string& number) {
    if (!m_Book.EditContact(slot, name, number)) {
        return false;
    }
    LoadContacts();
    return true;
}

void CMakeCall::zel_SldContacts::DeleteContact(int32_t slot) {
    m_Book.DeleteContact(slot);
    LoadContacts();
}

void CMakeCall::zel_SldContacts::OnNewContact(CMsgBox& box, plat::NativeWindow owner,
                                              const std::string& dialed) {
    NewContact dialog(m_Book, NewContact::kNew, dialed);
    if (dialog.DoModal(owner) == plat::kIdOk && !AddContact(dialog.Name(), dialog.Number())) {
        box.ShowMessage(kStrNameTaken, plat::kMbOk | plat::kMbIconStop);
    }
}

void CMakeCall::zel_SldContacts::OnEditContact(CMsgBox& box, plat::NativeWindow owner) {
    const int32_t slot = m_List.GetSelectedData();
    if (slot < 0) {
        return;
    }
    std::string name;
    std::string number;
    if (!GetEntry(slot, &name, &number)) {
        AppTrace("zel_SldContacts: no se pudo leer el contacto ", slot);
        return;
    }
    NewContact dialog(m_Book, NewContact::kEdit, number, name, slot);
    if (dialog.DoModal(owner) == plat::kIdOk &&
        !EditContact(slot, dialog.Name(), dialog.Number())) {
        box.ShowMessage(kStrNameTaken, plat::kMbOk | plat::kMbIconStop);
    }
}

void CMakeCall::zel_SldContacts::OnDeleteContact(CMsgBox& box) {
    const int32_t slot = m_List.GetSelectedData();
    if (slot < 0) {
        return;
    }
    if (box.ShowMessage(kStrDeleteContact, plat::kMbYesNo | plat::kMbIconQuestion) ==
        plat::kIdYes) {
        DeleteContact(slot);
    }
}
