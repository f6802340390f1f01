#include "app/contacts/EntrySlot.h"

#include "app/contacts/RegistryString.h"
#include "app/contacts/StoredText.h"

std::string SlotName(int slot) {
    if (slot < 0 || slot > 99) {
        return std::string();
    }
    return {static_cast<char>('0' + slot / 10), static_cast<char>('0' + slot % 10)};
}

bool ReadEntry(plat::Registry& registry, std::string_view listPath, int slot, std::string* name,
               std::string* number) {
    std::string slotName = SlotName(slot);
    if (slotName.empty() || !number) {
        return false;
    }
    plat::Registry::Key key;
    if (registry.OpenKey(std::string(listPath) + "\\" + slotName, &key) != plat::kErrorSuccess) {
        return false;
    }
    std::string storedNumber;
    std::string storedName;
    if (!ReadRegistryString(registry, key, "", &storedNumber) ||
        (name && !ReadRegistryString(registry, key, "name", &storedName))) {
        return false;
    }
    *number = storedtext::ForField(storedNumber, storedtext::kNumberLength);
    if (name) {
        *name = storedtext::ForField(storedName, storedtext::kNameLength);
    }
    return true;
}
