#pragma once
#include "sip/Handle.h"
#include "sip/SipMessage.h"

namespace sipua {

// Results of client registrations. Every call arrives inside DialogUsageManager::process on
// the thread that polls the stack; the handle is valid for the whole call.
class ClientRegistrationHandler {
public:
    virtual ~ClientRegistrationHandler() = default;
    // A 2xx to a REGISTER that adds or refreshes the bindings (after its ACK went out).
    virtual void onSuccess(ClientRegistrationHandle h, const SipMessage& response) = 0;
    // A 2xx to the removal of the bindings.
    virtual void onRemoved(ClientRegistrationHandle h, const SipMessage& response) = 0;
    // A request that timed out (408, or a transport failure reported as 503). Returns the
    // seconds until the registration is tried again, or a negative number to fail it.
    virtual int onRequestRetry(ClientRegistrationHandle h, int retrySeconds,
                               const SipMessage& response) = 0;
    // A final failure. The registration ends when this returns, unless the handler removes
    // the bindings here (removeMyBindings): then it ends when that removal ends.
    virtual void onFailure(ClientRegistrationHandle h, const SipMessage& response) = 0;
};

} // namespace sipua
