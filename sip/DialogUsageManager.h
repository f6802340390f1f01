#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "sip/ClientAuthManager.h"
#include "sip/ClientRegistration.h"
#include "sip/ClientRegistrationHandler.h"
#include "sip/DumShutdownHandler.h"
#include "sip/Handle.h"
#include "sip/InviteSession.h"
#include "sip/InviteSessionHandler.h"
#include "sip/MasterProfile.h"
#include "sip/NameAddr.h"
#include "sip/SipMessage.h"
#include "sip/SipStack.h"

namespace sipua {

// The program's view of SIP: usages (client registrations and invite sessions) over one
// SipStack, their handlers, the master profile and shutdown.
//
// Every handler call happens inside process(), one queued event per call; process() returns
// true while more events are queued. Timers (refresh, retry, the shutdown give-up time) run on
// plat::TimeMs() and are checked at every process().
//
// Threads: one thread (the GUI thread) makes, drives and deletes the manager, after which the
// stack may be deleted. A handler must not delete the manager while process() runs.
class DialogUsageManager {
public:
    explicit DialogUsageManager(SipStack& stack);
    ~DialogUsageManager();
    DialogUsageManager(const DialogUsageManager&) = delete;
    DialogUsageManager& operator=(const DialogUsageManager&) = delete;

    // Stand-in for the stack's transport set-up, so both are reached through the manager.
    void addTransport(TransportType type, int port, IpVersion version,
                      const std::string& bindAddress = "0.0.0.0");

    void setMasterProfile(const std::shared_ptr<MasterProfile>& profile);
    const std::shared_ptr<MasterProfile>& getMasterProfile() const { return profile_; }
    void setClientRegistrationHandler(ClientRegistrationHandler* handler);
    void setClientAuthManager(std::unique_ptr<ClientAuthManager> manager);
    // Receives every invite session; incoming INVITEs are refused until one is set.
    void setInviteSessionHandler(InviteSessionHandler* handler);

    // Builds the REGISTER of a new registration of `target` for `seconds`; send() sends it.
    // Throws SipException after shutdown or without a transport.
    SipMessagePtr makeRegistration(const NameAddr& target, int seconds);
    // Builds the INVITE of a new outgoing session to `target` with `offer`, from the
    // profile's default From; send() sends it. The session's handle is stored in *session
    // when given. Throws SipException after shutdown or without a transport.
    SipMessagePtr makeInviteSession(const NameAddr& target, const SdpContents& offer,
                                    ClientInviteSessionHandle* session = nullptr);
    // Sends a request made by this manager. Transport failures come back to the handler; an
    // INVITE that cannot be sent at all throws SipException and its session is gone.
    void send(const SipMessagePtr& message);

    // Handles timers and at most one queued event; true while events remain queued.
    bool process();

    // Ends every usage: removals in flight may finish, everything else stops now. The
    // handler's onDumCanBeDeleted follows when nothing is left, and at the latest once
    // giveUpSeconds have passed (then whatever is left is dropped), so the stack can always
    // be deleted and its port released.
    void shutdown(DumShutdownHandler* handler, unsigned giveUpSeconds);

    SipStack& stack() { return stack_; }

private:
    friend class ClientRegistration;
    friend class InviteSession;

    // The stack's session events, turned into queued handler calls.
    class SessionEvents final : public SessionListener {
    public:
        explicit SessionEvents(DialogUsageManager& dum) : dum_(dum) {}
        void onIncoming(SessionId id, const SipMessage& invite) override;
        void onProgress(SessionId id, const SipMessage& response) override;
        void onAnswered(SessionId id, const SipMessage& response) override;
        void onAcknowledged(SessionId id, const SipMessage& ack) override;
        void onReoffer(SessionId id, const SipMessage& reinvite) override;
        void onClosed(SessionId id, const SessionEnd& end) override;

    private:
        DialogUsageManager& dum_;
    };
    InviteSession* findSession(uint64_t id) const;
    InviteSession* findByStackId(SipStack::SessionId id) const;
    // Runs `event` for the session of stack id `id` when it is still live, in the queue.
    void postSessionEvent(SipStack::SessionId id, std::function<void(InviteSession&)> event);
    // onNewSession for an outgoing session, once.
    void reportNewClientSession(InviteSession& session, const SipMessage& response);

    void post(std::function<void()> event);
    void reap();
    void checkShutdownDone();
    ClientRegistrationHandler* registrationHandler() const { return registrationHandler_; }
    ClientAuthManager* clientAuthManager() const { return authManager_.get(); }
    bool shuttingDown() const { return shutdownRequested_; }

    SipStack& stack_;
    std::shared_ptr<HandleTable> handles_;
    std::shared_ptr<MasterProfile> profile_;
    ClientRegistrationHandler* registrationHandler_ = nullptr;
    std::unique_ptr<ClientAuthManager> authManager_;
    std::map<uint64_t, std::unique_ptr<ClientRegistration>> registrations_;
    std::map<SipMessagePtr, uint64_t> unsent_; // made by makeRegistration, not yet sent
    InviteSessionHandler* inviteHandler_ = nullptr;
    SessionEvents sessionEvents_{*this};
    std::map<uint64_t, std::unique_ptr<InviteSession>> sessions_;
    std::map<SipMessagePtr, std::pair<uint64_t, OutgoingInvite>> unsentInvites_;
    std::deque<std::function<void()>> events_;
    bool shutdownRequested_ = false;
    bool shutdownReported_ = false;
    DumShutdownHandler* shutdownHandler_ = nullptr;
    uint32_t shutdownStart_ = 0;
    uint32_t giveUpMs_ = 0;
};

} // namespace sipua
