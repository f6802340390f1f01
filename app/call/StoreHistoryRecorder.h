#pragma once
#include "app/call/HistoryRecorder.h"
#include "app/contacts/CallHistory.h"

// The call logic's history entries, written to the call-history store.
class StoreHistoryRecorder final : public HistoryRecorder {
public:
    explicit StoreHistoryRecorder(CallHistory& store) : store_(store) {}
    void AddDialed(const sipua::NameAddr& peer) override { store_.AddDialed(peer); }
    void AddReceived(const sipua::NameAddr& peer) override { store_.AddReceived(peer); }
    void AddMissed(const sipua::NameAddr& peer) override { store_.AddMissed(peer); }

private:
    CallHistory& store_;
};
