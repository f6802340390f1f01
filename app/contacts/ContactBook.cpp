#include "app/contacts/ContactBook.h"

#include <set>

#include "app/contacts/EntrySlot.h"
#include "app/contacts/RegistryString.h"
#include "app/contacts/StoredText.h"
#include "app/trace/TraceFile.h"

namespace {

std::string SlotPath(int slot) {
    return std::string(ContactBook::kKeyPath) + "\\" + SlotName(slot);
}

void TraceUnreadable(int slot) {
    AppTrace("ContactBook: contacto ilegible, se omite la ranura ", slot);
}

} // namespace

ContactBook::ContactBook(plat::Registry& registry) : registry_(registry) {}

bool ContactBook::ExistingSlots(std::vector<int>* slots) {
    plat::Registry::Key contacts;
    long rc = registry_.OpenKey(kKeyPath, &contacts);
    if (rc == plat::kErrorFileNotFound) {
        return true;
    }
    std::vector<std::string> names;
    if (rc == plat::kErrorSuccess) {
        rc = registry_.EnumKeys(contacts, &names);
    }
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook: no se pudo leer la lista de contactos, rc=", rc);
        return false;
    }
    std::set<int> present;
    for (const std::string& name : names) {
        if (name.size() == 2 && name[0] >= '0' && name[0] <= '9' && name[1] >= '0' &&
            name[1] <= '9') {
            present.insert((name[0] - '0') * 10 + (name[1] - '0'));
        }
    }
    slots->assign(present.begin(), present.end());
    return true;
}

std::vector<ListItem> ContactBook::LoadContacts() {
    std::vector<ListItem> items;
    plat::Registry::Key contacts;
    long rc = registry_.CreateKey(kKeyPath, &contacts);
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook::LoadContacts: no se pudo abrir la lista, rc=", rc);
        return items;
    }
    std::vector<int> slots;
    if (!ExistingSlots(&slots)) {
        return items;
    }
    for (int slot : slots) {
        plat::Registry::Key key;
        std::string name;
        if (registry_.OpenKey(SlotPath(slot), &key) != plat::kErrorSuccess ||
            !ReadRegistryString(registry_, key, "name", &name)) {
            TraceUnreadable(slot);
            continue;
        }
        name = storedtext::ForField(name, storedtext::kNameLength);
        items.push_back({ListItemText(static_cast<int>(items.size()) + 1, name), slot});
    }
    return items;
}

bool ContactBook::WalkNames(std::string_view name, int skipSlot, Walk* walk) {
    std::vector<int> slots;
    if (!ExistingSlots(&slots)) {
        return false;
    }
    int expected = 0; // the lowest slot not yet seen among the existing ones
    for (int slot : slots) {
        if (walk->freeSlot < 0 && slot > expected) {
            walk->freeSlot = expected;
        }
        expected = slot + 1;
        if (slot == skipSlot) {
            continue;
        }
        plat::Registry::Key key;
        std::string stored;
        if (registry_.OpenKey(SlotPath(slot), &key) != plat::kErrorSuccess ||
            !ReadRegistryString(registry_, key, "name", &stored)) {
            TraceUnreadable(slot);
            continue;
        }
        if (storedtext::EqualIgnoringCase(storedtext::ForField(stored, storedtext::kNameLength),
                                          name)) {
            walk->duplicate = true;
            return true;
        }
        ++walk->count;
    }
    if (walk->freeSlot < 0 && expected < kMaxContacts) {
        walk->freeSlot = expected;
    }
    return true;
}

bool ContactBook::WriteContact(plat::Registry::Key key, const std::string& name,
                               const std::string& number) {
    long rc = WriteRegistryString(registry_, key, "name", name);
    if (rc == plat::kErrorSuccess) {
        rc = WriteRegistryString(registry_, key, "", number);
    }
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook: no se pudo guardar el contacto, rc=", rc);
        return false;
    }
    return true;
}

std::optional<ListItem> ContactBook::AddContact(std::string_view name, std::string_view number) {
    std::string storedName = storedtext::ForField(name, storedtext::kNameLength);
    std::string storedNumber = storedtext::ForField(number, storedtext::kNumberLength);
    plat::Registry::Transaction tx(registry_);
    if (!tx.Active()) {
        AppTrace("ContactBook::AddContact: no se pudo iniciar la transaccion");
        return std::nullopt;
    }
    Walk walk;
    if (!WalkNames(storedName, -1, &walk) || walk.duplicate || walk.freeSlot < 0) {
        return std::nullopt;
    }
    plat::Registry::Key key;
    long rc = registry_.CreateKey(SlotPath(walk.freeSlot), &key);
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook::AddContact: no se pudo crear la ranura, rc=", rc);
        return std::nullopt;
    }
    if (!WriteContact(key, storedName, storedNumber)) {
        return std::nullopt;
    }
    rc = tx.Commit();
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook::AddContact: no se pudo confirmar, rc=", rc);
        return std::nullopt;
    }
    return ListItem{ListItemText(walk.count + 1, storedName), walk.freeSlot};
}

bool ContactBook::EditContact(int slot, std::string_view name, std::string_view number) {
    if (SlotName(slot).empty()) {
        return false;
    }
    std::string storedName = storedtext::ForField(name, storedtext::kNameLength);
    std::string storedNumber = storedtext::ForField(number, storedtext::kNumberLength);
    plat::Registry::Transaction tx(registry_);
    if (!tx.Active()) {
        AppTrace("ContactBook::EditContact: no se pudo iniciar la transaccion");
        return false;
    }
    Walk walk;
    if (!WalkNames(storedName, slot, &walk) || walk.duplicate) {
        return false;
    }
    plat::Registry::Key key;
    long rc = registry_.OpenKey(SlotPath(slot), &key);
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook::EditContact: el contacto ya no existe, rc=", rc);
        return false;
    }
    if (!WriteContact(key, storedName, storedNumber)) {
        return false;
    }
    rc = tx.Commit();
    if (rc != plat::kErrorSuccess) {
        AppTrace("ContactBook::EditContact: no se pudo confirmar, rc=", rc);
        return false;
    }
    return true;
}

bool ContactBook::DeleteContact(int slot) {
    if (SlotName(slot).empty()) {
        return false;
    }
    long rc = registry_.DeleteTree(SlotPath(slot));
    if (rc != plat::kErrorSuccess && rc != plat::kErrorFileNotFound) {
        AppTrace("ContactBook::DeleteContact: no se pudo borrar, rc=", rc);
        return false;
    }
    return true;
}

bool ContactBook::NameTaken(std::string_view name, int exceptSlot) {
    Walk walk;
    return WalkNames(storedtext::ForField(name, storedtext::kNameLength), exceptSlot, &walk) &&
           walk.duplicate;
}

bool ContactBook::GetEntry(int slot, std::string* name, std::string* number) {
    return name && ReadEntry(registry_, kKeyPath, slot, name, number);
}

bool ContactBook::GetNumber(int slot, std::string* number) {
    return ReadEntry(registry_, kKeyPath, slot, nullptr, number);
}

bool ContactBook::FindNameByNumber(std::string_view number, std::string* name) {
    std::string wanted = storedtext::ForField(number, storedtext::kNumberLength);
    std::vector<int> slots;
    if (!ExistingSlots(&slots)) {
        return false;
    }
    for (int slot : slots) {
        plat::Registry::Key key;
        std::string stored;
        if (registry_.OpenKey(SlotPath(slot), &key) != plat::kErrorSuccess) {
            continue;
        }
        if (!ReadRegistryString(registry_, key, "", &stored)) {
            TraceUnreadable(slot);
            continue;
        }
        if (!storedtext::EqualIgnoringCase(storedtext::ForField(stored, storedtext::kNumberLength),
                                           wanted)) {
            continue;
        }
        if (!ReadRegistryString(registry_, key, "name", &stored)) {
            TraceUnreadable(slot);
            continue;
        }
        *name = storedtext::ForField(stored, storedtext::kNameLength);
        return true;
    }
    return false;
}
