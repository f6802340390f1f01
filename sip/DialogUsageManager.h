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
#include "sip/MasterProfile.h"
#include "sip/NameAddr.h"
#include "sip/SipMessage.h"
#include "sip/SipStack.h"

namespace sipua {

// The program's view of SIP: usages (client registrations now; invite sessions come with the
// call handling) over one SipStack, their handlers, the master profile and shutdown.
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

    // Builds the REGISTER of a new registration of `target` for `seconds`; send() sends it.
    // Throws SipException after shutdown or without a transport.
    SipMessagePtr makeRegistration(const NameAddr& target, int seconds);
    // Sends a request made by this manager. Transport failures come back to the handler.
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
    std::deque<std::function<void()>> events_;
    bool shutdownRequested_ = false;
    bool shutdownReported_ = false;
    DumShutdownHandler* shutdownHandler_ = nullptr;
    uint32_t shutdownStart_ = 0;
    uint32_t giveUpMs_ = 0;
};

} // namespace sipua
