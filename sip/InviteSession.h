#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "sip/Handle.h"
#include "sip/NameAddr.h"
#include "sip/SdpContents.h"
#include "sip/SipStack.h"

namespace sipua {

class DialogUsageManager;
class InviteSession;

// One class serves both directions; the client and server names are the same class, and the
// server-only operations throw SipException on a client session.
using ClientInviteSession = InviteSession;
using ServerInviteSession = InviteSession;

using InviteSessionHandle = Handle<InviteSession>;
// Distinct handle types for the two directions, so handlers can be overloaded on them.
class ClientInviteSessionHandle : public InviteSessionHandle {
public:
    ClientInviteSessionHandle() = default;
    explicit ClientInviteSessionHandle(const InviteSessionHandle& h) : InviteSessionHandle(h) {}
};
class ServerInviteSessionHandle : public InviteSessionHandle {
public:
    ServerInviteSessionHandle() = default;
    explicit ServerInviteSessionHandle(const InviteSessionHandle& h) : InviteSessionHandle(h) {}
};

// One call's INVITE dialog, in either direction. Owned by its DialogUsageManager, reached
// through handles; it stays reachable until onTerminated for it has returned.
//
// Threads: only the thread that polls the manager.
class InviteSession {
public:
    InviteSession(const InviteSession&) = delete;
    InviteSession& operator=(const InviteSession&) = delete;

    InviteSessionHandle getSessionHandle() const { return handle_; }
    bool isClient() const { return client_; }
    bool isConnected() const { return state_ == State::Connected; }
    bool isTerminated() const { return state_ == State::Terminated; }
    // The far end: the From of an incoming INVITE, the target of an outgoing one.
    const NameAddr& peerAddr() const { return peer_; }
    const NameAddr& myAddr() const { return my_; }

    // Ends the session: CANCEL or BYE for an outgoing one, 486 or BYE for an incoming one.
    // onTerminated follows. Does nothing once the session has ended.
    void end();
    // The answer that accept() sends (incoming sessions).
    void provideAnswer(const SdpContents& answer);

    // Incoming sessions only (SipException on an outgoing one); nothing once ended or
    // answered.
    void provisional(int code = 180);
    void accept(int code = 200);
    void reject(int code);

private:
    friend class DialogUsageManager;
    enum class State { Calling, Early, Incoming, Proceeding, Accepted, Connected, Terminated };

    InviteSession(DialogUsageManager& dum, bool client, const NameAddr& peer, const NameAddr& my);
    void requireServer(const char* operation) const;
    // Marks the session ended and queues onTerminated with `reason`.
    void terminate(int reason);

    DialogUsageManager& dum_;
    InviteSessionHandle handle_;
    SipStack::SessionId stackId_ = 0;
    bool client_;
    State state_;
    NameAddr peer_;
    NameAddr my_;
    std::string answer_;
    std::optional<SdpContents> earlySdp_; // the last provisional answer (outgoing)
    bool newSessionReported_ = false;
    bool terminatedReported_ = false;
};

} // namespace sipua
