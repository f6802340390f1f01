#include "app/contacts/CallHistory.h"

#include "app/contacts/DecodeUserPart.h"
#include "app/contacts/EntrySlot.h"
#include "app/contacts/RegistryString.h"
#include "app/contacts/StoredText.h"
#include "app/trace/TraceFile.h"

namespace {

// A value carried from one entry to the next; nothing when the entry lacked it.
using Carried = std::optional<std::string>;

std::optional<std::string> ReadCarried(plat::Registry& registry, plat::Registry::Key key,
                                       const char* name) {
    std::string text;
    if (!ReadRegistryString(registry, key, name, &text)) {
        return std::nullopt;
    }
    return text;
}

long WriteCarried(plat::Registry& registry, plat::Registry::Key key, const char* name,
                  const Carried& value) {
    if (value) {
        return WriteRegistryString(registry, key, name, *value);
    }
    long rc = registry.DeleteValue(key, name);
    return rc == plat::kErrorFileNotFound ? plat::kErrorSuccess : rc;
}

} // namespace

CallHistory::CallHistory(plat::Registry& registry) : registry_(registry), contacts_(registry) {}

std::string CallHistory::KeyPath(HistoryList list) {
    switch (list) {
    case HistoryList::Missed:
        return "Software\\Quorvex\\CallsHistory\\Missed";
    case HistoryList::Dialed:
        return "Software\\Quorvex\\CallsHistory\\Dialed";
    case HistoryList::Received:
        return "Software\\Quorvex\\CallsHistory\\Recv";
    }
    return std::string();
}

bool CallHistory::AddEntry(const sipua::NameAddr& peer, HistoryList list) {
    // Kept as the number is dialled again: "12#", never "12%23".
    return AddEntry(peer.displayName(), DecodeUserPart(peer.uri().user()), list);
}

bool CallHistory::AddEntry(std::string_view displayName, std::string_view user, HistoryList list) {
    if (KeyPath(list).empty()) {
        return false;
    }
    std::string number = storedtext::ForField(user, storedtext::kNumberLength);
    std::string name;
    if (!contacts_.FindNameByNumber(number, &name)) {
        name = displayName;
    }
    name = storedtext::TrimTrailingBlanksAndControls(
        storedtext::ForField(name, storedtext::kNameLength));
    if (name.empty()) {
        // No contact and no display name worth showing: the number stands for the peer.
        name = storedtext::TrimTrailingBlanksAndControls(
            storedtext::CutAtCharBoundary(number, storedtext::kNameLength));
    }
    if (!ShiftAndWrite(list, name, number)) {
        return false;
    }
    NotifyChanged(list);
    return true;
}

bool CallHistory::ShiftAndWrite(HistoryList list, const std::string& name,
                                const std::string& number) {
    const std::string listPath = KeyPath(list);
    plat::Registry::Transaction tx(registry_);
    if (!tx.Active()) {
        // Without a transaction a crash could leave the list with a gap or an entry twice.
        AppTrace("CallHistory::AddEntry: no se pudo iniciar la transaccion");
        return false;
    }
    Carried carryName = name;
    Carried carryNumber = number;
    long rc = plat::kErrorSuccess;
    for (int j = 0; j < kMaxEntries && rc == plat::kErrorSuccess; ++j) {
        plat::Registry::Key key;
        bool createdNew = false;
        rc = registry_.CreateKey(listPath + "\\" + SlotName(j), &key, &createdNew);
        if (rc != plat::kErrorSuccess) {
            break;
        }
        Carried oldName;
        Carried oldNumber;
        if (!createdNew) {
            oldName = ReadCarried(registry_, key, "name");
            oldNumber = ReadCarried(registry_, key, "");
        }
        rc = WriteCarried(registry_, key, "name", carryName);
        if (rc == plat::kErrorSuccess) {
            rc = WriteCarried(registry_, key, "", carryNumber);
        }
        if (createdNew) {
            break;
        }
        carryName = std::move(oldName);
        carryNumber = std::move(oldNumber);
    }
    if (rc == plat::kErrorSuccess) {
        rc = tx.Commit();
    }
    if (rc != plat::kErrorSuccess) {
        AppTrace("CallHistory::AddEntry: entrada no guardada, rc=", rc);
        return false;
    }
    return true;
}

std::vector<ListItem> CallHistory::Reload(HistoryList list) {
    std::vector<ListItem> items;
    const std::string listPath = KeyPath(list);
    if (listPath.empty()) {
        return items;
    }
    for (int i = 0; i < kMaxEntries; ++i) {
        plat::Registry::Key key;
        if (registry_.OpenKey(listPath + "\\" + SlotName(i), &key) != plat::kErrorSuccess) {
            break;
        }
        std::string text;
        if (ReadRegistryString(registry_, key, "name", &text)) {
            text = storedtext::ForField(text, storedtext::kNameLength);
        } else if (ReadRegistryString(registry_, key, "", &text)) {
            text = storedtext::ForField(text, storedtext::kNumberLength);
        } else {
            break;
        }
        items.push_back({ListItemText(i + 1, text), i});
    }
    return items;
}

bool CallHistory::GetNumber(HistoryList list, int index, std::string* number) {
    if (index < 0 || index >= kMaxEntries || KeyPath(list).empty()) {
        return false;
    }
    return ReadEntry(registry_, KeyPath(list), index, nullptr, number);
}

bool CallHistory::DeleteHistory(HistoryList list) {
    const std::string listPath = KeyPath(list);
    if (listPath.empty()) {
        return false;
    }
    long rc = registry_.DeleteTree(listPath);
    if (rc != plat::kErrorSuccess && rc != plat::kErrorFileNotFound) {
        AppTrace("CallHistory::DeleteHistory: no se pudo borrar la lista, rc=", rc);
        return false;
    }
    NotifyChanged(list);
    return true;
}

void CallHistory::NotifyChanged(HistoryList list) {
    if (changed_) {
        changed_(list);
    }
}
