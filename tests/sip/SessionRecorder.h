// Every call of an invite-session handler as one line of text, for the SIP tests.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sip/InviteSessionHandler.h"

namespace sipua::siptest {

// The reasons in the order of TerminatedReason.
inline const char* ReasonName(TerminatedReason r) {
    static const char* const names[] = {"Error",     "Timeout",     "Rejected",    "LocalBye",
                                        "RemoteBye", "LocalCancel", "RemoteCancel"};
    return names[static_cast<int>(r)];
}

// Every handler call as one line; the server side acts as `onNew` says.
struct SessionRecorder : InviteSessionHandler {
    std::vector<std::string> calls;
    InviteSessionHandle last;
    std::function<void(ServerInviteSessionHandle)> onNew;

    static std::string Port(const SdpContents& s) {
        return std::to_string(s.firstAudio() ? s.firstAudio()->port : -1);
    }
    void note(const std::string& text, const InviteSessionHandle& h) {
        calls.push_back(text);
        last = h;
        EXPECT_TRUE(h.isValid()) << text;
    }
    void onNewSession(ServerInviteSessionHandle h, OfferAnswerType t, const SipMessage&) override {
        note(t == OfferAnswerType::Offer ? "new server offer" : "new server none", h);
        if (onNew) {
            onNew(h);
        }
    }
    void onNewSession(ClientInviteSessionHandle h, OfferAnswerType, const SipMessage& m) override {
        note("new client " + std::to_string(m.statusCode()), h);
    }
    void onFailure(ClientInviteSessionHandle h, const SipMessage& m) override {
        note("failure " + std::to_string(m.statusCode()), h);
    }
    void onEarlyMedia(ClientInviteSessionHandle h, const SipMessage&,
                      const SdpContents& s) override {
        note("early " + Port(s), h);
    }
    void onProvisional(ClientInviteSessionHandle h, const SipMessage& m) override {
        note("provisional " + std::to_string(m.statusCode()), h);
    }
    void onConnected(ClientInviteSessionHandle h, const SipMessage&) override {
        note("connected client", h);
    }
    void onConnected(InviteSessionHandle h, const SipMessage&) override { note("connected", h); }
    void onTerminated(InviteSessionHandle h, TerminatedReason r, const SipMessage* m) override {
        note(std::string("terminated ") + ReasonName(r) +
                 (m ? " " + std::to_string(m->statusCode()) : ""),
             h);
    }
    void onAnswer(InviteSessionHandle h, const SipMessage&, const SdpContents& s) override {
        note("answer " + Port(s), h);
    }
    void onOffer(InviteSessionHandle h, const SipMessage&, const SdpContents& s) override {
        note("offer " + Port(s), h);
    }
    void onOfferRequired(InviteSessionHandle h, const SipMessage&) override {
        note("offer required", h);
    }
};

} // namespace sipua::siptest
