#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sip/DialogUsageManager.h"
#include "sip/SipException.h"
#include "sip/testing/FakeSipStack.h"
#include "tests/sip/SessionRecorder.h"

using namespace sipua;

namespace {

const std::string kSdp = "v=0\r\nc=IN IP4 192.0.2.20\r\nm=audio 4000 RTP/AVP 0\r\n";

using Recorder = siptest::SessionRecorder;

class InviteSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        stack.addTransport(TransportType::UDP, 5060, IpVersion::V4, "192.0.2.10");
        auto profile = std::make_shared<MasterProfile>();
        profile->setDefaultFrom(NameAddr(Uri("1001", "10.0.0.1", 5060)));
        profile->setOutboundProxy(Uri("", "10.0.0.2", 5082));
        dum.setMasterProfile(profile);
        dum.setInviteSessionHandler(&recorder);
    }
    void Poll() {
        stack.process(0);
        while (dum.process()) {
        }
    }
    FakeSipStack::SessionId Call(ClientInviteSessionHandle* h = nullptr) {
        dum.send(
            dum.makeInviteSession(NameAddr(Uri("2002", "10.0.0.1")), *SdpContents::parse(kSdp), h));
        return stack.lastStartedSession();
    }
    std::vector<std::string> Ops(FakeSipStack::SessionId id) {
        std::vector<std::string> ops;
        for (const auto& op : stack.sessionOpsOf(id)) {
            ops.push_back(op.op + " " + std::to_string(op.code));
        }
        return ops;
    }

    FakeSipStack stack;
    DialogUsageManager dum{stack};
    Recorder recorder;
};

} // namespace

TEST_F(InviteSessionTest, AnOutgoingCallReportsEachResponseAndAnAnswerlessOkUsesTheEarlySdp) {
    ClientInviteSessionHandle h;
    auto id = Call(&h);
    const OutgoingInvite* invite = stack.invite(id);
    ASSERT_NE(nullptr, invite);
    EXPECT_EQ("sip:2002@10.0.0.1", invite->requestUri);
    EXPECT_EQ("sip:1001@10.0.0.1:5060", invite->fromUri);
    EXPECT_EQ("10.0.0.2", invite->route->host());
    EXPECT_NE(std::string::npos, invite->sdp.find("m=audio 4000 RTP/AVP 0\r\n"));
    stack.sessionProgress(id, 100);
    stack.sessionProgress(id, 180);
    stack.sessionProgress(id, 183, "v=0\r\nc=IN IP4 192.0.2.20\r\nm=audio 4100 RTP/AVP 0\r\n");
    stack.sessionAnswered(id);
    Poll();
    EXPECT_EQ((std::vector<std::string>{"new client 180", "provisional 180", "provisional 183",
                                        "early 4100", "answer 4100", "connected client"}),
              recorder.calls);
    EXPECT_TRUE(recorder.last == h);
    EXPECT_TRUE(h->isConnected());
    EXPECT_THROW(h->accept(200), SipException); // no server operation on our own call
    h->end();
    Poll();
    EXPECT_EQ("terminated LocalBye", recorder.calls.back());
    EXPECT_EQ("end 0", Ops(id).back());
    EXPECT_FALSE(h.isValid());
}

TEST_F(InviteSessionTest, FailuresAndCancelsEndTheSessionOnce) {
    struct Case {
        const char* name;
        std::function<void(FakeSipStack&, FakeSipStack::SessionId)> farEnd;
        bool cancelFirst;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"busy",
         [](FakeSipStack& s, auto id) { s.sessionFailed(id, 486); },
         false,
         {"failure 486", "terminated Rejected 486"}},
        {"no answer",
         [](FakeSipStack& s, auto id) { s.sessionTimedOut(id); },
         false,
         {"failure 408", "terminated Timeout 408"}},
        {"we cancel; a late 200 is not reported",
         [](FakeSipStack& s, auto id) { s.sessionAnswered(id, kSdp); },
         true,
         {"terminated LocalCancel"}},
    };
    for (const Case& c : cases) {
        recorder.calls.clear();
        ClientInviteSessionHandle h;
        auto id = Call(&h);
        if (c.cancelFirst) {
            h->end();
        }
        c.farEnd(stack, id);
        Poll();
        EXPECT_EQ(c.calls, recorder.calls) << c.name;
        EXPECT_FALSE(h.isValid()) << c.name;
        h = ClientInviteSessionHandle();
    }
}

TEST_F(InviteSessionTest, AnIncomingCallIsOfferedRungAcceptedAndEndedByThePeer) {
    auto id = stack.incomingInvite(
        FakeSipStack::makeInvite("\"Ana\" <sip:2002@10.0.0.1>", "sip:1001@192.0.2.10", kSdp));
    recorder.onNew = [](ServerInviteSessionHandle h) { h->provisional(180); };
    Poll();
    EXPECT_EQ((std::vector<std::string>{"new server offer", "offer 4000"}), recorder.calls);
    InviteSessionHandle h = recorder.last;
    EXPECT_EQ("2002", h->peerAddr().uri().user());
    h->provideAnswer(
        *SdpContents::parse("v=0\r\nc=IN IP4 192.0.2.10\r\nm=audio 8000 RTP/AVP 0\r\n"));
    ServerInviteSessionHandle(h)->accept(200);
    ServerInviteSessionHandle(h)->accept(200); // once only
    EXPECT_EQ((std::vector<std::string>{"progress 180", "answer 200"}), Ops(id));
    EXPECT_NE(std::string::npos, stack.sessionOpsOf(id).back().sdp.find("m=audio 8000"));
    // A re-INVITE is answered with the same SDP; its offer, when it has one, reaches the
    // handler.
    const std::string ours = stack.sessionOpsOf(id).back().sdp;
    EXPECT_EQ(ours, stack.reinvite(id));
    stack.sessionAcknowledged(id);
    EXPECT_EQ(ours, stack.reinvite(id, "v=0\r\nc=IN IP4 192.0.2.21\r\nm=audio 4002 RTP/AVP 0\r\n"));
    Poll();
    stack.sessionEndedByPeer(id);
    Poll();
    EXPECT_EQ((std::vector<std::string>{"new server offer", "offer 4000", "connected", "offer 4002",
                                        "terminated RemoteBye"}),
              recorder.calls);
}

TEST_F(InviteSessionTest, IncomingInvitesWithoutOrWithUnreadableSdpAndOnesRejectedAtOnce) {
    struct Case {
        const char* name;
        std::string sdp;
        bool rejectAtOnce;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"no SDP", "", false, {"new server none", "offer required"}},
        {"not an SDP", "garbage\r\n", false, {"new server offer", "offer -1"}},
        {"rejected in onNewSession", kSdp, true, {"new server offer", "terminated Rejected"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        recorder.calls.clear();
        recorder.onNew = [&](ServerInviteSessionHandle h) {
            if (c.rejectAtOnce) {
                h->reject(480);
            }
        };
        auto id = stack.incomingInvite(FakeSipStack::makeInvite(
            "<sip:2002@10.0.0.1>", "sip:1001@192.0.2.10", c.sdp, "c" + std::to_string(++n)));
        Poll();
        EXPECT_EQ(c.calls, recorder.calls) << c.name;
        if (c.rejectAtOnce) {
            EXPECT_EQ(std::vector<std::string>{"reject 480"}, Ops(id)) << c.name;
        }
    }
    // The caller gives up before the answer.
    recorder.calls.clear();
    recorder.onNew = nullptr;
    auto id = stack.incomingInvite(
        FakeSipStack::makeInvite("<sip:2002@10.0.0.1>", "sip:1001@192.0.2.10", kSdp, "gone"));
    Poll();
    stack.sessionEndedByPeer(id);
    Poll();
    EXPECT_EQ("terminated RemoteCancel", recorder.calls.back());
}

TEST_F(InviteSessionTest, ShutdownEndsEveryCallAndRefusesNewOnes) {
    ClientInviteSessionHandle h;
    auto out = Call(&h);
    auto in = stack.incomingInvite(
        FakeSipStack::makeInvite("<sip:2002@10.0.0.1>", "sip:1001@192.0.2.10", kSdp));
    Poll();
    recorder.calls.clear();
    dum.shutdown(nullptr, 5);
    Poll();
    EXPECT_EQ("end 0", Ops(out).back());
    EXPECT_EQ("end 0", Ops(in).back());
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_FALSE(h.isValid());
    auto late = stack.incomingInvite(
        FakeSipStack::makeInvite("<sip:2002@10.0.0.1>", "sip:1001@192.0.2.10", kSdp, "late"));
    Poll();
    EXPECT_EQ(std::vector<std::string>{"reject 480"}, Ops(late));
    EXPECT_THROW(dum.makeInviteSession(NameAddr(Uri("2", "h")), SdpContents()), SipException);
}
