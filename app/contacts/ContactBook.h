#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/contacts/ListItem.h"
#include "platform/store/Registry.h"

// The address book: up to 100 contacts under Software\Quorvex\Contacts, one sub-key per slot
// ("00" to "99") with the number as its default value and the contact's name as `name`. Names
// are unique without regard to ASCII case; a new contact takes the lowest free slot. Names are
// kept to 24 bytes and numbers to 39, cut between characters.
//
// A slot whose values cannot be read (no `name`, a value that is not a string) is left out of
// every walk: it is neither listed nor counted, it never blocks a new contact, and its slot is
// not free. Each such slot is traced when it is met.
//
// GUI thread only. Other processes may share the store: each change runs in one registry
// transaction together with the walk that checks it.
class ContactBook {
public:
    static constexpr int kMaxContacts = 100;
    static constexpr char kKeyPath[] = "Software\\Quorvex\\Contacts";

    explicit ContactBook(plat::Registry& registry = plat::Registry::CurrentUser());

    // The contacts in slot order, numbered from 1, each with its slot as the item's data.
    // Creates the contacts key when it is missing.
    std::vector<ListItem> LoadContacts();

    // Stores a new contact in the lowest free slot and answers the row to append to the list
    // (numbered after the contacts there are; the list is in slot order again at its next
    // load). Nothing, and nothing stored, when another contact has the same name, when all
    // slots are taken or when the store fails.
    std::optional<ListItem> AddContact(std::string_view name, std::string_view number);
    // Replaces the name and number of the contact in `slot`. False when another contact has
    // the name, when the slot holds no contact, or when the store fails.
    bool EditContact(int slot, std::string_view name, std::string_view number);
    // Deletes the contact in `slot` with everything under it; true also when it was not there.
    bool DeleteContact(int slot);

    // Whether a contact other than the one in `exceptSlot` has `name` (as it would be stored),
    // for a dialog that checks before it closes. False also when the store fails.
    bool NameTaken(std::string_view name, int exceptSlot = -1);

    // The stored name and number of the contact in `slot`.
    bool GetEntry(int slot, std::string* name, std::string* number);
    bool GetNumber(int slot, std::string* number);

    // The name of the first contact, in slot order, whose number equals `number` without
    // regard to ASCII case.
    bool FindNameByNumber(std::string_view number, std::string* name);

private:
    struct Walk {
        int count = 0;          // readable contacts, the skipped slot not counted
        int freeSlot = -1;      // the lowest slot without a sub-key
        bool duplicate = false; // another contact has the name
    };
    // Walks every slot but `skipSlot`, comparing the names with `name`. False when the store
    // fails.
    bool WalkNames(std::string_view name, int skipSlot, Walk* walk);
    // The slots that have a sub-key, in slot order.
    bool ExistingSlots(std::vector<int>* slots);
    bool WriteContact(plat::Registry::Key key, const std::string& name, const std::string& number);

    plat::Registry& registry_;
};
