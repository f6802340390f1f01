#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"
#include "sip/DialogUsageManager.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"
#include "sip/testing/FakeSipStack.h"

using namespace sipua;

namespace {

std::vector<std::string> g_traces;
void CollectTrace(const char* text) {
    g_traces.push_back(text);
}
bool Traced(const std::function<bool(const std::string&)>& match) {
    return std::any_of(g_traces.begin(), g_traces.end(), match);
}

struct Recorder : ClientRegistrationHandler, DumShutdownHandler {
    FakeSipStack* stack = nullptr;
    std::vector<std::string> calls;
    std::vector<size_t> acksAtCall; // ACKs already sent when each handler call ran
    ClientRegistrationHandle last;
    int retryAnswer = 30;
    std::function<void(ClientRegistrationHandle)> onFailureHook;
    std::function<void()> onSuccessHook;

    void note(const std::string& what, ClientRegistrationHandle h) {
        calls.push_back(what);
        acksAtCall.push_back(stack->sentWithMethod("ACK").size());
        last = h;
        EXPECT_TRUE(h.isValid()) << what;
    }
    void onSuccess(ClientRegistrationHandle h, const SipMessage&) override {
        note("success", h);
        if (onSuccessHook) {
            onSuccessHook();
        }
    }
    void onRemoved(ClientRegistrationHandle h, const SipMessage&) override { note("removed", h); }
    int onRequestRetry(ClientRegistrationHandle h, int, const SipMessage& m) override {
        note("retry " + std::to_string(m.statusCode()), h);
        return retryAnswer;
    }
    void onFailure(ClientRegistrationHandle h, const SipMessage& m) override {
        note("failure " + std::to_string(m.statusCode()), h);
        if (onFailureHook) {
            onFailureHook(h);
        }
    }
    void onDumCanBeDeleted() override { calls.push_back("deletable"); }
};

// A manager on a stack of its own, for cases that need another profile or lifetime than the
// fixture's.
struct OwnManager {
    FakeSipStack stack;
    DialogUsageManager dum{stack};
    Recorder recorder;
    OwnManager() {
        stack.addTransport(TransportType::UDP, 5060, IpVersion::V4, "127.0.0.1");
        recorder.stack = &stack;
        dum.setClientRegistrationHandler(&recorder);
    }
    void answer(int code, const char* reason, const std::string& headers = "") {
        stack.respond(stack.last("REGISTER")->id, code, reason, headers);
        stack.process(0);
        while (dum.process()) {
        }
    }
};

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_traces.clear();
        SetTraceSink(CollectTrace);
        recorder.stack = &stack;
        dum.addTransport(TransportType::UDP, 5060, IpVersion::V4, "127.0.0.1");
        auto profile = std::make_shared<MasterProfile>();
        profile->setUserAgent("Quorvex 1.0.0.7");
        profile->setOutboundProxy(Uri("", "127.0.0.2", 5082));
        profile->setDefaultFrom(aor);
        profile->setDigestCredential("sip.example", "1001", "secret");
        dum.setMasterProfile(profile);
        dum.setClientRegistrationHandler(&recorder);
        dum.setClientAuthManager(std::make_unique<ClientAuthManager>());
    }
    void TearDown() override { SetTraceSink(nullptr); }

    // Runs the stack and the manager until nothing is queued.
    void poll() {
        stack.process(100);
        while (dum.process()) {
        }
    }
    SipStack::RequestId lastRegister() const { return stack.last("REGISTER")->id; }
    std::string lastHeader(const std::string& name) const {
        return FakeSipStack::headerOf(stack.last("REGISTER")->request, name);
    }
    void registerOk(const std::string& contact = "") {
        dum.send(dum.makeRegistration(aor, 30));
        stack.respond(lastRegister(), 200, "OK", contact);
        poll();
    }

    plat::FakeClock clock{1000};
    plat::ScopedClock scoped{clock};
    NameAddr aor{Uri("1001", "10.0.0.1", 5060)};
    FakeSipStack stack;
    DialogUsageManager dum{stack};
    Recorder recorder;
};

} // namespace

TEST_F(RegistrationTest, RegisterIsBuiltFromTheProfileAndGoesToTheProxy) {
    dum.send(dum.makeRegistration(aor, 30));
    const FakeSipStack::Sent* reg = stack.last("REGISTER");
    ASSERT_NE(nullptr, reg);
    EXPECT_TRUE(reg->stateful);
    EXPECT_EQ("sip:10.0.0.1:5060", reg->request.requestUri);
    ASSERT_TRUE(reg->request.route.has_value());
    EXPECT_EQ("127.0.0.2", reg->request.route->host());
    EXPECT_EQ(5082, reg->request.route->port());
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", lastHeader("To"));
    EXPECT_EQ(0u, lastHeader("From").find("<sip:1001@10.0.0.1:5060>;tag="));
    EXPECT_EQ("1 REGISTER", lastHeader("CSeq"));
    EXPECT_EQ("<sip:1001@127.0.0.1:5060>", lastHeader("Contact"));
    EXPECT_EQ("30", lastHeader("Expires"));
    EXPECT_EQ("Quorvex 1.0.0.7", lastHeader("User-Agent"));
    EXPECT_THROW(dum.send(std::make_shared<SipMessage>()), SipException);
}

TEST_F(RegistrationTest, DigestChallengeIsAnsweredThenTheSuccessIsAcknowledgedFirst) {
    dum.send(dum.makeRegistration(aor, 30));
    std::string callId = lastHeader("Call-ID");
    stack.respond(lastRegister(), 401, "Unauthorized",
                  "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"n1\"\r\n");
    poll();
    ASSERT_EQ(2u, stack.sentWithMethod("REGISTER").size());
    const FakeSipStack::Sent* second = stack.last("REGISTER");
    ASSERT_EQ(1u, second->credentials.size());
    EXPECT_EQ("sip.example", second->credentials[0].realm);
    EXPECT_EQ("1001", second->credentials[0].user);
    EXPECT_EQ("secret", second->credentials[0].password);
    EXPECT_EQ("2 REGISTER", lastHeader("CSeq"));
    EXPECT_EQ(callId, lastHeader("Call-ID"));
    EXPECT_TRUE(recorder.calls.empty());

    stack.respond(lastRegister(), 200, "OK");
    poll();
    ASSERT_EQ(std::vector<std::string>{"success"}, recorder.calls);
    EXPECT_EQ(1u, recorder.acksAtCall[0]); // the ACK left before the handler ran
    const FakeSipStack::Sent* ack = stack.last("ACK");
    EXPECT_FALSE(ack->stateful);
    EXPECT_EQ(callId, FakeSipStack::headerOf(ack->request, "Call-ID"));
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>;tag=fake-to", FakeSipStack::headerOf(ack->request, "To"));
    EXPECT_EQ("1 ACK", FakeSipStack::headerOf(ack->request, "CSeq"));
}

TEST_F(RegistrationTest, ChallengesThatCannotBeAnsweredFailTheRegistration) {
    // A second plain challenge of the same realm.
    dum.send(dum.makeRegistration(aor, 30));
    const std::string challenge = "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n";
    stack.respond(lastRegister(), 401, "Unauthorized", challenge);
    poll();
    stack.respond(lastRegister(), 401, "Unauthorized", challenge);
    poll();
    EXPECT_EQ(2u, stack.sentWithMethod("REGISTER").size());
    ASSERT_EQ(std::vector<std::string>{"failure 401"}, recorder.calls);
    EXPECT_FALSE(recorder.last.isValid());
    EXPECT_THROW(recorder.last->removeMyBindings(true), HandleException);

    // A stale challenge is answered again.
    dum.send(dum.makeRegistration(aor, 30));
    stack.respond(lastRegister(), 401, "Unauthorized", challenge);
    poll();
    stack.respond(lastRegister(), 401, "Unauthorized",
                  "WWW-Authenticate: Digest realm=\"r\", nonce=\"m\", stale=true\r\n");
    poll();
    EXPECT_EQ(5u, stack.sentWithMethod("REGISTER").size());
}

TEST_F(RegistrationTest, WithoutAuthManagerAChallengeFails) {
    OwnManager plain;
    plain.dum.send(plain.dum.makeRegistration(aor, 30));
    plain.answer(401, "Unauthorized", "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n");
    EXPECT_EQ(std::vector<std::string>{"failure 401"}, plain.recorder.calls);
}

TEST_F(RegistrationTest, RefreshesBeforeExpiryAndAcknowledgesEvery2xx) {
    registerOk("Contact: <sip:1001@127.0.0.1:5060>;expires=30\r\n");
    std::string callId = lastHeader("Call-ID");
    clock.Advance(24900);
    dum.process();
    EXPECT_EQ(1u, stack.sentWithMethod("REGISTER").size());
    clock.Advance(200);
    dum.process();
    ASSERT_EQ(2u, stack.sentWithMethod("REGISTER").size());
    EXPECT_EQ(callId, lastHeader("Call-ID"));
    EXPECT_EQ("2 REGISTER", lastHeader("CSeq"));
    stack.respond(lastRegister(), 200, "OK", "Contact: <sip:1001@127.0.0.1:5060>;expires=10\r\n");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "success"}), recorder.calls);
    EXPECT_EQ(2u, stack.sentWithMethod("ACK").size());
    // The granted 10 s are refreshed after 5 s.
    clock.Advance(5000);
    dum.process();
    EXPECT_EQ(3u, stack.sentWithMethod("REGISTER").size());
}

TEST_F(RegistrationTest, ASuccessGrantingNoTimeIsStillRenewed) {
    registerOk("Contact: <sip:1001@127.0.0.1:5060>;expires=0\r\n");
    EXPECT_EQ((std::vector<std::string>{"success"}), recorder.calls);
    clock.Advance(25100); // renewed on the 30 s asked for
    dum.process();
    EXPECT_EQ(2u, stack.sentWithMethod("REGISTER").size());
}

TEST_F(RegistrationTest, HugeGrantedTimesAreRefreshedWithinADayNotAtOnce) {
    // Times past the millisecond timers' range, past int, and in the Expires header.
    for (const std::string contact : {"Contact: <sip:1001@127.0.0.1:5060>;expires=3000000\r\n",
                                      "Contact: <sip:1001@127.0.0.1:5060>;expires=2147483647\r\n",
                                      "Contact: <sip:1001@127.0.0.1:5060>;expires=99999999999\r\n",
                                      "Expires: 4294967296\r\n"}) {
        size_t before = stack.sentWithMethod("REGISTER").size();
        registerOk(contact);
        ClientRegistrationHandle h = recorder.last;
        clock.Advance(60 * 1000);
        poll();
        EXPECT_EQ(before + 1, stack.sentWithMethod("REGISTER").size()) << contact;
        clock.Advance(24 * 60 * 60 * 1000);
        poll();
        EXPECT_EQ(before + 2, stack.sentWithMethod("REGISTER").size()) << contact;
        h->removeMyBindings(true);
        stack.respond(lastRegister(), 200, "OK");
        poll();
    }
}

TEST_F(RegistrationTest, RemovalIsAcknowledgedAndEndsTheRegistration) {
    registerOk();
    ClientRegistrationHandle h = recorder.last;
    h->removeMyBindings(true);
    EXPECT_EQ("0", lastHeader("Expires"));
    EXPECT_EQ("<sip:1001@127.0.0.1:5060>", lastHeader("Contact"));
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "removed"}), recorder.calls);
    EXPECT_EQ(2u, stack.sentWithMethod("ACK").size());
    EXPECT_EQ(2u, recorder.acksAtCall[1]);
    EXPECT_FALSE(h.isValid());
    clock.Advance(60000);
    poll();
    EXPECT_EQ(2u, stack.sentWithMethod("REGISTER").size()); // no refresh after removal
}

TEST_F(RegistrationTest, AnAnswerToAReplacedRegisterIsAcknowledgedButChangesNothing) {
    registerOk("Contact: <sip:1001@127.0.0.1:5060>;expires=30\r\n");
    ClientRegistrationHandle h = recorder.last;
    clock.Advance(25100);
    dum.process();
    ASSERT_EQ(2u, stack.sentWithMethod("REGISTER").size());
    // The refresh's 200 arrives, but before the manager handles it the bindings are removed.
    stack.respond(lastRegister(), 200, "OK", "Contact: <sip:1001@127.0.0.1:5060>;expires=30\r\n");
    stack.process(0);
    h->removeMyBindings(true);
    ASSERT_EQ("0", lastHeader("Expires"));
    while (dum.process()) {
    }
    EXPECT_EQ((std::vector<std::string>{"success"}), recorder.calls);
    EXPECT_EQ(2u, stack.sentWithMethod("ACK").size()); // the stale 2xx is still acknowledged
    EXPECT_TRUE(h.isValid());
    // Only the removal's own answer removes.
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "removed"}), recorder.calls);
    EXPECT_FALSE(h.isValid());
}

TEST_F(RegistrationTest, TimeoutAsksForTheRetryDelay) {
    dum.send(dum.makeRegistration(aor, 30));
    stack.timeout(lastRegister());
    poll();
    ASSERT_EQ(std::vector<std::string>{"retry 408"}, recorder.calls);
    clock.Advance(29900);
    dum.process();
    EXPECT_EQ(1u, stack.sentWithMethod("REGISTER").size());
    clock.Advance(200);
    dum.process();
    EXPECT_EQ(2u, stack.sentWithMethod("REGISTER").size());

    // A negative answer fails it.
    recorder.retryAnswer = -1;
    stack.timeout(lastRegister());
    poll();
    EXPECT_EQ((std::vector<std::string>{"retry 408", "retry 408", "failure 408"}), recorder.calls);
}

TEST_F(RegistrationTest, OnlyATimeOutAsksForARetry) {
    struct Case {
        int code;
        const char* headers;
        bool local; // the stack's own answer, not one from the wire
        const char* expected;
    };
    const Case cases[] = {
        {408, "", false, "retry 408"},
        {408, "", true, "retry 408"},
        {503, "", true, "retry 503"}, // transport failure, stands for a time-out
        {503, "Retry-After: 5\r\n", false, "failure 503"},
        {500, "Retry-After: 1\r\n", false, "failure 500"},
        {503, "", false, "failure 503"},
        {480, "Retry-After: 5\r\n", false, "failure 480"},
    };
    for (const Case& c : cases) {
        recorder.calls.clear();
        dum.send(dum.makeRegistration(aor, 30));
        if (c.local && c.code == 408) {
            stack.timeout(lastRegister());
        } else if (c.local) {
            stack.transportFailure(lastRegister());
        } else {
            stack.respond(lastRegister(), c.code, "X", c.headers);
        }
        poll();
        ASSERT_FALSE(recorder.calls.empty()) << c.code;
        EXPECT_EQ(c.expected, recorder.calls.front()) << c.code << " " << c.headers;
        if (recorder.last.isValid()) {
            recorder.last->removeMyBindings(true);
            stack.respond(lastRegister(), 200, "OK");
            poll();
        }
    }
}

TEST_F(RegistrationTest, OnFailureRemovesTheBindingsBeforeTheRegistrationEnds) {
    registerOk("Contact: <sip:1001@127.0.0.1:5060>;expires=30\r\n");
    recorder.onFailureHook = [](ClientRegistrationHandle h) { h->removeMyBindings(true); };
    clock.Advance(25100);
    dum.process();
    stack.respond(lastRegister(), 403, "Forbidden"); // the refresh is refused
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "failure 403"}), recorder.calls);
    ASSERT_EQ(3u, stack.sentWithMethod("REGISTER").size());
    EXPECT_EQ("0", lastHeader("Expires"));
    EXPECT_TRUE(recorder.last.isValid()); // until the removal ends
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "failure 403", "removed"}), recorder.calls);
    EXPECT_FALSE(recorder.last.isValid());

    // A removal that fails in its turn ends the registration without a second onFailure.
    recorder.calls.clear();
    registerOk();
    clock.Advance(3600 * 1000);
    dum.process();
    stack.respond(lastRegister(), 403, "Forbidden");
    poll();
    stack.respond(lastRegister(), 403, "Forbidden");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "failure 403"}), recorder.calls);
    EXPECT_FALSE(recorder.last.isValid());
}

TEST_F(RegistrationTest, AnAckThatCannotBeSentEndsTheRegistration) {
    stack.setStatelessFailure(true);
    recorder.onFailureHook = [](ClientRegistrationHandle h) { h->removeMyBindings(true); };
    dum.send(dum.makeRegistration(aor, 30));
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"failure 200"}), recorder.calls);
    EXPECT_TRUE(Traced([](const std::string& t) {
        return t.rfind("Exception in ClientRegistration::dispatch: ACK no enviado", 0) == 0;
    }));
    // The removal asked for by onFailure is sent; its 2xx cannot be acknowledged either, and
    // the registration ends there.
    ASSERT_EQ(2u, stack.sentWithMethod("REGISTER").size());
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"failure 200"}), recorder.calls);
    EXPECT_FALSE(recorder.last.isValid());
}

TEST_F(RegistrationTest, ChallengesAnsweredInARowAreBounded) {
    const std::string stale =
        "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"n\", stale=true\r\n";
    const std::string plain = "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"n\"\r\n";
    // A fresh nonce without stale=true, as from a registrar whose nonce expired.
    const std::string fresh = "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"n2\"\r\n";
    const std::string fresher = "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"n3\"\r\n";
    struct Case {
        std::vector<std::string> challenges; // answered in turn, then a 200 if still going
        size_t registers;                    // REGISTERs sent in all
        const char* result;
    };
    const std::vector<Case> cases = {
        {{plain}, 2, "success"},
        {{plain, stale}, 3, "success"},
        {{stale, stale}, 3, "success"},
        {{plain, fresh}, 3, "success"},
        {{plain, plain}, 2, "failure 401"}, // the nonce answered already: the answer was refused
        {{plain, stale, stale}, 3, "failure 401"}, // the third challenge in a row fails
        {{plain, fresh, fresher}, 3, "failure 401"},
        {{stale, stale, stale, stale}, 3, "failure 401"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.challenges.size());
        OwnManager m;
        m.dum.setMasterProfile(dum.getMasterProfile());
        m.dum.setClientAuthManager(std::make_unique<ClientAuthManager>());
        m.dum.send(m.dum.makeRegistration(aor, 30));
        for (const std::string& challenge : c.challenges) {
            if (!m.recorder.calls.empty()) {
                break;
            }
            m.answer(401, "Unauthorized", challenge);
        }
        if (m.recorder.calls.empty()) {
            m.answer(200, "OK");
        }
        EXPECT_EQ(c.registers, m.stack.sentWithMethod("REGISTER").size());
        ASSERT_FALSE(m.recorder.calls.empty());
        EXPECT_EQ(c.result, m.recorder.calls.back());
    }
}

TEST_F(RegistrationTest, A2xxWithoutTagsIsStillAcknowledgedAndASuccess) {
    dum.send(dum.makeRegistration(aor, 30));
    stack.respond(lastRegister(), 200, "OK", "", /*toTag=*/false, 0, /*fromTag=*/false);
    poll();
    EXPECT_EQ(std::vector<std::string>{"success"}, recorder.calls);
    const FakeSipStack::Sent* ack = stack.last("ACK");
    ASSERT_NE(nullptr, ack);
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", FakeSipStack::headerOf(ack->request, "To"));
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", FakeSipStack::headerOf(ack->request, "From"));
    EXPECT_TRUE(
        Traced([](const std::string& t) { return t.find("sin tag") != std::string::npos; }));
}

TEST_F(RegistrationTest, AnExceptionWhileHandlingAResponseEndsTheRegistrationAsAFailure) {
    recorder.onSuccessHook = [] { throw std::runtime_error("boom"); };
    dum.send(dum.makeRegistration(aor, 30));
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "failure 200"}), recorder.calls);
    EXPECT_TRUE(Traced([](const std::string& t) {
        return t == "Exception in ClientRegistration::dispatch: boom";
    }));
    EXPECT_FALSE(recorder.last.isValid());
    clock.Advance(60000);
    poll();
    EXPECT_EQ(1u, stack.sentWithMethod("REGISTER").size()); // nothing refreshes it
}

TEST_F(RegistrationTest, ShutdownWaitsForTheRemovalThenReports) {
    registerOk();
    recorder.last->removeMyBindings(true);
    dum.shutdown(&recorder, 5);
    poll();
    EXPECT_EQ((std::vector<std::string>{"success"}), recorder.calls);
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "removed", "deletable"}), recorder.calls);
    EXPECT_THROW(dum.makeRegistration(aor, 30), SipException);
}

TEST_F(RegistrationTest, ShutdownGivesUpOnAnUnansweredRemoval) {
    registerOk();
    recorder.last->removeMyBindings(true);
    SipStack::RequestId removal = lastRegister();
    dum.shutdown(&recorder, 1);
    clock.Advance(999);
    dum.process();
    EXPECT_EQ(std::vector<std::string>{"success"}, recorder.calls);
    clock.Advance(1);
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "deletable"}), recorder.calls);
    EXPECT_FALSE(stack.isPending(removal));
    // A late answer is dropped.
    stack.respond(removal, 200, "OK");
    poll();
    EXPECT_EQ(2u, recorder.calls.size());
}

TEST_F(RegistrationTest, ShutdownOfAnIdleRegistrationSendsNothing) {
    registerOk();
    ClientRegistrationHandle h = recorder.last;
    size_t sent = stack.sent().size();
    dum.shutdown(&recorder, 5);
    poll();
    EXPECT_EQ((std::vector<std::string>{"success", "deletable"}), recorder.calls);
    EXPECT_EQ(sent, stack.sent().size());
    EXPECT_FALSE(h.isValid());
}

TEST_F(RegistrationTest, HandlesOutliveTheManager) {
    ClientRegistrationHandle h;
    {
        OwnManager m;
        m.dum.send(m.dum.makeRegistration(aor, 30));
        m.answer(200, "OK");
        h = m.recorder.last;
        EXPECT_TRUE(h.isValid());
        EXPECT_EQ(0u, m.stack.pendingCount()); // nothing left in flight
    }
    EXPECT_FALSE(h.isValid());
    EXPECT_THROW(h->removeMyBindings(true), HandleException);
}

TEST_F(RegistrationTest, ShutdownFromInsideOnFailureIsSafe) {
    // What the login form does after a rejected login.
    recorder.onFailureHook = [this](ClientRegistrationHandle h) {
        h->removeMyBindings(true);
        dum.shutdown(&recorder, 5);
        EXPECT_TRUE(h.isValid()); // still valid until the handler returns
    };
    dum.send(dum.makeRegistration(aor, 30));
    stack.respond(lastRegister(), 403, "Forbidden");
    poll();
    // The removal asked for inside onFailure goes out, and the shutdown waits for it.
    EXPECT_EQ((std::vector<std::string>{"failure 403"}), recorder.calls);
    ASSERT_EQ(2u, stack.sentWithMethod("REGISTER").size());
    EXPECT_EQ("0", lastHeader("Expires"));
    stack.respond(lastRegister(), 200, "OK");
    poll();
    EXPECT_EQ((std::vector<std::string>{"failure 403", "removed", "deletable"}), recorder.calls);
    EXPECT_FALSE(recorder.last.isValid());
}
