#pragma once
#include <string>

#include "app/call/ContactsPanelBase.h"
#include "app/contacts/ContactBook.h"
#include "app/layout/FormSkinIds.h"
#include "app/strings/CMsgBox.h"
#include "skin/zel_Command.h"

// The contacts panel: the address book's names in slot order, and the new, edit and delete
// buttons. A row's press selects it (it stays selected for edit and delete) and notifies 605
// with the contact's slot; the buttons notify 613, 614 and 615 up to the window, which hands
// them back to OnNewContact, OnEditContact and OnDeleteContact. GUI thread only.
class CMakeCall::zel_SldContacts : public CMakeCall::zel_SldContactHandling {
public:
    static constexpr int kFontValue = ContactsPanelIds::kFontValue;
    static constexpr int kPanel = ContactsPanelIds::kPanel;
    static constexpr int kList = ContactsPanelIds::kList;
    static constexpr int kNew = ContactsPanelIds::kNew;
    static constexpr int kEdit = ContactsPanelIds::kEdit;
    static constexpr int kDelete = ContactsPanelIds::kDelete;
    static constexpr char kKey[] = "Contacts";

    zel_SldContacts(ContactBook& book, plat::Registry& registry);

    // Builds the panel from the current skin over `parent` (at every skin build): the
    // buttons, the list with the contacts, then the panel itself. False, traced, when the
    // skin lacks a part.
    bool Build(zel_Parent* parent, uint8_t group);

    void LoadContacts();
    // False when the name is another contact's, the book is full or the store fails.
    bool AddContact(const std::string& name, const std::string& number);
    bool EditContact(int32_t slot, const std::string& name, const std::string& number);
    void DeleteContact(int32_t slot);

    // The window's commands. `box` shows the messages over the window; `owner` owns the
    // dialog; `dialed` is the number being dialed, which a new contact starts from.
    void OnNewContact(CMsgBox& box, plat::NativeWindow owner, const std::string& dialed);
    void OnEditContact(CMsgBox& box, plat::NativeWindow owner);
    void OnDeleteContact(CMsgBox& box);

    zel_Command m_New;
    zel_Command m_Edit;
    zel_Command m_Delete;

private:
    ContactBook& m_Book;
};
