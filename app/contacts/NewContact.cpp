#include "app/contacts/NewContact.h"

#include <utility>

#include "app/contacts/StoredText.h"
#include "app/strings/ContactExists.h"
#include "app/strings/StringTable.h"

namespace {

constexpr int kStrCancel = 2;
constexpr int kStrNewContact = 100;
constexpr int kStrName = 101;
constexpr int kStrSave = 103;
constexpr int kStrMissingField = 104;
constexpr int kStrNameTaken = 105;
constexpr int kStrEditContact = 106;

std::string StringById(int id) {
    std::string text;
    LoadCString(id, text);
    return text;
}

plat::DialogTemplate Template() {
    using plat::ControlKind;
    plat::DialogTemplate t;
    t.width = 300;
    t.height = 140;
    t.controls = {
        {ControlKind::Label, NewContact::kNameLabel, "", 12, 16, 80, 24},
        {ControlKind::Edit, NewContact::kNameEdit, "", 96, 12, 192, 28,
         static_cast<int>(storedtext::kNameLength)},
        {ControlKind::Label, NewContact::kNumberLabel, "Number", 12, 54, 80, 24},
        {ControlKind::Edit, NewContact::kNumberEdit, "", 96, 50, 192, 28,
         static_cast<int>(storedtext::kNumberLength)},
        {ControlKind::Button, plat::kIdOk, "", 112, 98, 84, 30, 0, true},
        {ControlKind::Button, plat::kIdCancel, "", 204, 98, 84, 30},
    };
    return t;
}

} // namespace

NewContact::NewContact(ContactBook& book, Mode mode, std::string number, std::string name, int slot)
    : CMsgBox(this), m_Book(book), m_nMode(mode), m_Number(std::move(number)),
      m_Name(std::move(name)), m_nSlot(slot) {}

int NewContact::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

plat::NativeWindow NewContact::MessageBoxParent() const {
    return m_pDialog ? m_pDialog->Native() : nullptr;
}

void NewContact::OnInitDialog(plat::Dialog& dialog) {
    m_pDialog = &dialog;
    // Texts shown are cut as the store would keep them: a number from the keypad or the
    // store never overflows its edit in the middle of a character.
    dialog.SetTitle(StringById(m_nMode == kNew ? kStrNewContact : kStrEditContact));
    dialog.SetText(kNumberEdit, storedtext::ForField(m_Number, storedtext::kNumberLength));
    if (m_nMode == kEdit) {
        dialog.SetText(kNameEdit, storedtext::ForField(m_Name, storedtext::kNameLength));
    }
    dialog.SetText(kNameLabel, StringById(kStrName));
    dialog.SetText(plat::kIdCancel, StringById(kStrCancel));
    dialog.SetText(plat::kIdOk, StringById(kStrSave));
    dialog.Focus(kNameEdit);
}

void NewContact::OnOK(plat::Dialog& dialog) {
    const std::string number = dialog.GetText(kNumberEdit);
    const std::string name = dialog.GetText(kNameEdit);
    if (number.empty() || name.empty()) {
        ShowMessage(kStrMissingField, plat::kMbOk | plat::kMbIconStop);
        return;
    }
    // The edits count characters, the store bytes: what is kept is cut between characters.
    const std::string storedName = storedtext::ForField(name, storedtext::kNameLength);
    if (NameTaken(storedName)) {
        ShowMessage(kStrNameTaken, plat::kMbOk | plat::kMbIconStop);
        return;
    }
    m_Name = storedName;
    m_Number = storedtext::ForField(number, storedtext::kNumberLength);
    dialog.EndDialog(plat::kIdOk);
}

void NewContact::OnDestroy(plat::Dialog&) {
    m_pDialog = nullptr;
}

bool NewContact::NameTaken(const std::string& name) {
    // A new contact may take no stored name; an edited one may keep its own.
    if (m_nMode == kNew) {
        return ContactExists(name.c_str());
    }
    return m_Book.NameTaken(name, m_nSlot);
}
