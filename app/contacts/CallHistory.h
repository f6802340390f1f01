#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/contacts/ContactBook.h"
#include "app/contacts/ListItem.h"
#include "platform/store/Registry.h"
#include "sip/NameAddr.h"

// The three call histories, numbered as the history panel numbers them.
enum class HistoryList : int32_t { Missed = 0, Dialed = 1, Received = 2 };

// The last 10 dialed, received and missed calls, each list under
// Software\Quorvex\CallsHistory\<Dialed|Recv|Missed> with one sub-key per entry, "00" the
// newest, contiguous up to the first missing one. Each entry holds the peer's number (the user
// part of its address) as the default value and a name as `name`: the name of the contact with
// that number, else the peer's display name, else the number.
//
// Recording an entry moves the list down by one and writes the new entry at "00" in one
// registry transaction, so that a crash at any moment leaves the list as it was before or as
// it is after, never with an entry lost or twice.
//
// GUI thread only, the changed callback included.
class CallHistory {
public:
    static constexpr int kMaxEntries = 10;

    explicit CallHistory(plat::Registry& registry = plat::Registry::CurrentUser());

    // The key of `list` below the hive's root.
    static std::string KeyPath(HistoryList list);

    // Records a call: `to` is the To of the response that answered or started early media,
    // `peer` the incoming session's peer, `from` the From of the request that ended a ringing
    // call (or the incoming session's peer when the user rejected it). The user part is
    // recorded with its escapes decoded. False when nothing was written (a store failure,
    // traced).
    bool AddDialed(const sipua::NameAddr& to) { return AddEntry(to, HistoryList::Dialed); }
    bool AddReceived(const sipua::NameAddr& peer) { return AddEntry(peer, HistoryList::Received); }
    bool AddMissed(const sipua::NameAddr& from) { return AddEntry(from, HistoryList::Missed); }
    bool AddEntry(const sipua::NameAddr& peer, HistoryList list);
    // The same from the peer's display name and user part. Names and numbers from the network
    // are made valid UTF-8 and cut between characters to 24 and 39 bytes; the name loses its
    // trailing blanks and control characters.
    bool AddEntry(std::string_view displayName, std::string_view user, HistoryList list);

    // The rows of `list`, newest first, numbered from 1: each shows the entry's name, or its
    // number when it has no name; the data is the entry's index.
    std::vector<ListItem> Reload(HistoryList list);
    // The number of entry `index` of `list`.
    bool GetNumber(HistoryList list, int index, std::string* number);
    // Deletes `list` whole; true also when it was empty.
    bool DeleteHistory(HistoryList list);

    // Called after a list changed (an entry recorded or the list deleted), so that a view
    // showing that list can reload it.
    void SetChangedCallback(std::function<void(HistoryList)> callback) {
        changed_ = std::move(callback);
    }

private:
    bool ShiftAndWrite(HistoryList list, const std::string& name, const std::string& number);
    void NotifyChanged(HistoryList list);

    plat::Registry& registry_;
    ContactBook contacts_;
    std::function<void(HistoryList)> changed_;
};
