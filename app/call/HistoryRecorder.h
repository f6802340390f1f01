#pragma once
#include "sip/NameAddr.h"

// The three call-history lists as the call logic writes them; StoreHistoryRecorder writes
// them to the call-history store. GUI thread only.
class HistoryRecorder {
public:
    virtual ~HistoryRecorder() = default;
    // The To of the response that answered or started media for our call.
    virtual void AddDialed(const sipua::NameAddr& peer) = 0;
    // The caller of an incoming call that was answered.
    virtual void AddReceived(const sipua::NameAddr& peer) = 0;
    // The caller of an incoming call that was not answered.
    virtual void AddMissed(const sipua::NameAddr& peer) = 0;
};
