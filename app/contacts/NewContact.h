#pragma once
#include <cstdint>
#include <string>

#include "app/contacts/ContactBook.h"
#include "app/strings/CMsgBox.h"
#include "platform/ui/dialog/Dialog.h"

// The dialog that enters a new contact or edits a stored one: a name and a number, both
// required, the name not another contact's. The edits hold at most the characters the store
// keeps; what the dialog hands back is cut between characters to the store's field lengths.
// GUI thread.
class NewContact final : public plat::DialogHandler, public plat::MessageBoxOwner, public CMsgBox {
public:
    static constexpr unsigned kTemplateId = 188;
    static constexpr int kNameEdit = 1000;
    static constexpr int kNumberEdit = 1001;
    static constexpr int kNameLabel = 1027;
    static constexpr int kNumberLabel = 1028;

    enum Mode : uint8_t { kNew = 0, kEdit = 1 };

    // New mode: `number` is the number to start from (the one being dialed). Edit mode: the
    // stored contact in `slot` with its `name` and `number`.
    NewContact(ContactBook& book, Mode mode, std::string number, std::string name = {},
               int slot = -1);

    // Runs the dialog over `owner`; plat::kIdOk when the user saved (the texts are then in
    // Number() and Name()), plat::kIdCancel when not, -1 when it could not be shown.
    int DoModal(plat::NativeWindow owner);

    const std::string& Number() const { return m_Number; }
    const std::string& Name() const { return m_Name; }

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnOK(plat::Dialog& dialog) override;
    void OnDestroy(plat::Dialog& dialog) override;

    plat::NativeWindow MessageBoxParent() const override;

private:
    // Whether another contact already has `name` (as it would be stored).
    bool NameTaken(const std::string& name);

    ContactBook& m_Book;
    uint8_t m_nMode;
    std::string m_Number;
    std::string m_Name;
    int m_nSlot;
    plat::Dialog* m_pDialog = nullptr;
};
