#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "sip/Handle.h"
#include "sip/NameAddr.h"
#include "sip/SipMessage.h"
#include "sip/SipStack.h"

namespace sipua {

class DialogUsageManager;

// One registration of an address of record: sends the REGISTER, answers digest challenges,
// acknowledges every 2xx with an ACK before anything else happens, refreshes the bindings a
// little before they expire, retries when the handler asks for it, and removes the bindings
// on request. Owned by its DialogUsageManager; reached by the program through its handle.
//
// Threads: only the thread that polls the manager.
class ClientRegistration {
public:
    ClientRegistration(const ClientRegistration&) = delete;
    ClientRegistration& operator=(const ClientRegistration&) = delete;
    ~ClientRegistration();

    ClientRegistrationHandle getHandle() const { return handle_; }
    const NameAddr& aor() const { return aor_; }
    const NameAddr& myContact() const { return contact_; }

    // Sends a REGISTER with expiry 0 for our Contact; onRemoved follows its 2xx. With
    // stopRegisteringWhenDone the registration ends then, else it stays without refreshing.
    // Does nothing once the registration has ended. Inside onFailure it still sends the
    // removal, and the registration ends when that removal ends.
    void removeMyBindings(bool stopRegisteringWhenDone);

private:
    friend class DialogUsageManager;
    enum class State { Created, Adding, Registered, Refreshing, Retrying, Removing, Removed };

    ClientRegistration(DialogUsageManager& dum, const NameAddr& aor, int seconds,
                       const NameAddr& contact);

    void start();
    void sendRegister(int expires);
    void dispatch(const SipMessage& response, uint64_t attempt);
    void dispatchFinal(const SipMessage& response);
    void onSuccessResponse(const SipMessage& response);
    bool maybeRetry(const SipMessage& response);
    void fail(const SipMessage& response);
    // Ends the registration and tells the handler of the failure.
    void endWithFailure(const SipMessage& response);
    void sendAck(const SipMessage& response);
    int expiryFrom(const SipMessage& response) const;
    // Timers, against plat::TimeMs(); called by the manager.
    void checkTimers(uint32_t now);
    // Drops the request in flight and the timers; the registration sends nothing more.
    void stop();

    DialogUsageManager& dum_;
    ClientRegistrationHandle handle_;
    NameAddr aor_;
    NameAddr contact_;
    std::string callId_;
    std::string fromTag_;
    unsigned cseq_ = 0;
    // Counts the REGISTERs sent and the ones dropped: an answer queued for an older one is
    // recognised as stale.
    uint64_t attempt_ = 0;
    int registrationTime_;
    int lastExpires_ = 0; // expiry of the request in flight
    State state_ = State::Created;
    State retryState_ = State::Adding; // what a retry sends again
    bool ended_ = false;
    bool failureReported_ = false; // onFailure has run; a later failure only ends it
    static constexpr int kMaxChallengesInARow = 2;
    int challengesInARow_ = 0; // challenges answered since the last other response
    bool stopWhenDone_ = false;
    bool triedMinExpires_ = false;
    SipStack::RequestId request_ = 0;
    std::unique_ptr<DigestSession> auth_;
    bool timerArmed_ = false;
    uint32_t timerAt_ = 0;
};

} // namespace sipua
