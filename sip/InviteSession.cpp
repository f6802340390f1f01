#include "sip/InviteSession.h"

#include "sip/DialogUsageManager.h"
#include "sip/InviteSessionHandler.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"

namespace sipua {

const char* ReasonPhrase(int code) {
    switch (code) {
    case 180:
        return "Ringing";
    case 183:
        return "Session Progress";
    case 200:
        return "OK";
    case 480:
        return "Temporarily Unavailable";
    case 486:
        return "Busy Here";
    case 487:
        return "Request Terminated";
    case 488:
        return "Not Acceptable Here";
    case 603:
        return "Decline";
    default:
        return code < 300 ? "OK" : "Error";
    }
}

InviteSession::InviteSession(DialogUsageManager& dum, bool client, const NameAddr& peer,
                             const NameAddr& my)
    : dum_(dum), client_(client), state_(client ? State::Calling : State::Incoming), peer_(peer),
      my_(my) {}

void InviteSession::requireServer(const char* operation) const {
    if (client_) {
        throw SipException(std::string(operation) + ": la sesion no es entrante");
    }
}

void InviteSession::end() {
    if (state_ == State::Terminated) {
        return;
    }
    TerminatedReason reason = TerminatedReason::LocalBye;
    if (client_ && state_ != State::Connected) {
        reason = TerminatedReason::LocalCancel;
    } else if (!client_ && (state_ == State::Incoming || state_ == State::Proceeding)) {
        reason = TerminatedReason::Rejected;
    }
    dum_.stack().endSession(stackId_);
    terminate(static_cast<int>(reason));
}

void InviteSession::provideAnswer(const SdpContents& answer) {
    answer_ = answer.encode();
}

void InviteSession::provisional(int code) {
    requireServer("provisional");
    if (state_ != State::Incoming && state_ != State::Proceeding) {
        return;
    }
    dum_.stack().progressSession(stackId_, code, ReasonPhrase(code), "");
    state_ = State::Proceeding;
}

void InviteSession::accept(int code) {
    requireServer("accept");
    if (state_ != State::Incoming && state_ != State::Proceeding) {
        return;
    }
    dum_.stack().answerSession(stackId_, code, ReasonPhrase(code), answer_);
    state_ = State::Accepted;
}

void InviteSession::reject(int code) {
    requireServer("reject");
    if (state_ != State::Incoming && state_ != State::Proceeding) {
        return;
    }
    dum_.stack().rejectSession(stackId_, code, ReasonPhrase(code));
    terminate(static_cast<int>(TerminatedReason::Rejected));
}

void InviteSession::terminate(int reason) {
    state_ = State::Terminated;
    uint64_t id = handle_.getId();
    DialogUsageManager* dum = &dum_;
    dum_.post([dum, id, reason] {
        InviteSession* session = dum->findSession(id);
        if (!session || session->terminatedReported_) {
            return;
        }
        session->terminatedReported_ = true;
        if (InviteSessionHandler* handler = dum->inviteHandler_) {
            handler->onTerminated(session->handle_, static_cast<TerminatedReason>(reason), nullptr);
        }
    });
}

} // namespace sipua
