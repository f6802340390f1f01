#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "sip/DialogUsageManager.h"
#include "sip/SipException.h"
#include "sip/SipStack.h"
#include "sip/SipTrace.h"
#include "tests/sip/LibreStackFixture.h"
#include "tests/sip/ScriptedRegistrar.h"
#include "tests/sip/SessionRecorder.h"

using namespace sipua;
using Clock = std::chrono::steady_clock;

namespace {

struct Recorder : ClientRegistrationHandler, DumShutdownHandler {
    std::vector<std::string> calls;
    ClientRegistrationHandle last;
    int retryAnswer = 30;
    void onSuccess(ClientRegistrationHandle h, const SipMessage&) override {
        calls.push_back("success");
        last = h;
    }
    void onRemoved(ClientRegistrationHandle, const SipMessage&) override {
        calls.push_back("removed");
    }
    int onRequestRetry(ClientRegistrationHandle, int, const SipMessage& m) override {
        calls.push_back("retry " + std::to_string(m.statusCode()));
        return retryAnswer;
    }
    void onFailure(ClientRegistrationHandle, const SipMessage& m) override {
        calls.push_back("failure " + std::to_string(m.statusCode()));
    }
    void onDumCanBeDeleted() override { calls.push_back("deletable"); }
    size_t count(const std::string& what) const {
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), what));
    }
};

sockaddr_in Loopback(const char* ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

bool CanBindSipPort() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback("127.0.0.1", 5060);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    close(fd);
    return ok;
}

class LibreStackTest : public LibreStackFixture {
protected:
    void Build(bool proxy = true) {
        LibreStackFixture::Build(&recorder, "Quorvex 9.8.7.6", proxy);
        profile->setDigestCredential("registrar.quorvex.test", "1001", "4321");
    }
    // Builds the manager against a running `registrar` and sends the first REGISTER.
    void StartRegistration(const ScriptedRegistrar& registrar, bool proxy = true) {
        ASSERT_TRUE(registrar.ok());
        Build(proxy);
        dum->send(dum->makeRegistration(aor, 30));
    }
    bool Succeeded(size_t times = 1, int ms = 3000) {
        return PollUntil([&] { return recorder.count("success") == times; }, ms);
    }

    Recorder recorder;
};

} // namespace

TEST_F(LibreStackTest, DigestRegistrationAndAnAckForEvery2xx) {
    ScriptedRegistrar registrar({"127.0.0.2:5082"}, "normal", 2);
    ASSERT_NO_FATAL_FAILURE(StartRegistration(registrar));
    ASSERT_TRUE(Succeeded());

    auto registers = registrar.Requests("REGISTER");
    ASSERT_EQ(2u, registers.size());
    EXPECT_EQ("", ScriptedRegistrar::Header(registers[0].text, "Authorization"));
    EXPECT_NE(std::string::npos, ScriptedRegistrar::Header(registers[1].text, "Authorization")
                                     .find("realm=\"registrar.quorvex.test\""));
    auto acks = registrar.WaitForRequests("ACK", 1);
    ASSERT_EQ(1u, acks.size());
    // Every field of the ACK, sent from the SIP port to the proxy.
    EXPECT_EQ("127.0.0.1:5060", acks[0].source);
    EXPECT_EQ("127.0.0.2:5082", acks[0].destination);
    const std::string& ack = acks[0].text;
    EXPECT_EQ(0u, ack.find("ACK sip:1001@127.0.0.2:5060 SIP/2.0\r\n"));
    std::string via = ScriptedRegistrar::Header(ack, "Via");
    EXPECT_EQ(0u, via.find("SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bK")) << via;
    EXPECT_EQ("70", ScriptedRegistrar::Header(ack, "Max-Forwards"));
    std::string callId = ScriptedRegistrar::Header(registers[1].text, "Call-ID");
    std::string fromTag = ScriptedRegistrar::Header(registers[1].text, "From");
    fromTag = fromTag.substr(fromTag.find(";tag="));
    EXPECT_EQ("<sip:1001@127.0.0.2:5060>" + fromTag, ScriptedRegistrar::Header(ack, "From"));
    EXPECT_EQ(0u, ScriptedRegistrar::Header(ack, "To").find("<sip:1001@127.0.0.2:5060>;tag=reg"));
    EXPECT_EQ(callId, ScriptedRegistrar::Header(ack, "Call-ID"));
    EXPECT_EQ("1 ACK", ScriptedRegistrar::Header(ack, "CSeq"));
    EXPECT_EQ("<sip:1001@127.0.0.2:5060>", ScriptedRegistrar::Header(ack, "Contact"));
    EXPECT_EQ("Quorvex 9.8.7.6", ScriptedRegistrar::Header(ack, "User-Agent"));
    EXPECT_EQ("0", ScriptedRegistrar::Header(ack, "Content-Length"));

    // The registrar grants 2 s: a refresh follows after 1 s, with one more ACK.
    ASSERT_TRUE(Succeeded(2, 4000));
    acks = registrar.WaitForRequests("ACK", 2);
    ASSERT_EQ(2u, acks.size());
    EXPECT_EQ(callId, ScriptedRegistrar::Header(acks[1].text, "Call-ID"));

    // Removal: one more ACK, then the shutdown completes.
    recorder.last->removeMyBindings(true);
    dum->shutdown(&recorder, 5);
    ASSERT_TRUE(PollUntil([&] { return recorder.count("deletable") == 1; }, 3000));
    EXPECT_EQ(1u, recorder.count("removed"));
    EXPECT_EQ("0",
              ScriptedRegistrar::Header(registrar.Requests("REGISTER").back().text, "Expires"));
    EXPECT_EQ(3u, registrar.WaitForRequests("ACK", 3).size());
}

TEST_F(LibreStackTest, WithoutProxyTheAckGoesToTheServer) {
    ScriptedRegistrar registrar({"127.0.0.2:5060"}, "notags");
    ASSERT_NO_FATAL_FAILURE(StartRegistration(registrar, false));
    ASSERT_TRUE(Succeeded());
    auto acks = registrar.WaitForRequests("ACK", 1);
    ASSERT_EQ(1u, acks.size());
    EXPECT_EQ("127.0.0.2:5060", acks[0].destination);
    EXPECT_EQ("<sip:1001@127.0.0.2:5060>", ScriptedRegistrar::Header(acks[0].text, "To"));
    EXPECT_EQ("<sip:1001@127.0.0.2:5060>", ScriptedRegistrar::Header(acks[0].text, "From"));
}

TEST_F(LibreStackTest, ChallengesThatKeepComingFailAfterABoundedNumberOfRegisters) {
    const struct {
        const char* mode;
        size_t registers;
    } cases[] = {
        {"always401", 2}, // a second plain challenge fails
        {"stale", 3},     // stale challenges: three REGISTERs in all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        recorder.calls.clear();
        ScriptedRegistrar registrar({"127.0.0.2:5082"}, c.mode);
        ASSERT_NO_FATAL_FAILURE(StartRegistration(registrar));
        ASSERT_TRUE(PollUntil([&] { return !recorder.calls.empty(); }, 3000));
        EXPECT_EQ(std::vector<std::string>{"failure 401"}, recorder.calls);
        // Nothing more follows the failure.
        PollUntil([] { return false; }, 500);
        EXPECT_EQ(c.registers, registrar.Requests("REGISTER").size());
        dum.reset(); // frees the SIP port for the next case
        stack.reset();
    }
}

TEST_F(LibreStackTest, JunkAtTheSipPortReachesTheTraceAtABoundedRate) {
    std::vector<std::string> traces;
    static std::vector<std::string>* sink = nullptr;
    sink = &traces;
    SetTraceSink([](const char* text) { sink->push_back(text); });
    // The sink goes with `traces`, also when an assertion ends the test early.
    struct SinkReset {
        ~SinkReset() { SetTraceSink(nullptr); }
    } sinkReset;
    ScriptedRegistrar registrar({"127.0.0.2:5082"}, "normal");
    ASSERT_NO_FATAL_FAILURE(StartRegistration(registrar));
    ASSERT_TRUE(Succeeded());
    const char* kinds[] = {
        "this is not SIP\r\n\r\n",
        // Lines that look like SIP, which libre's decoder then refuses.
        "SIP/2.0 200 OK\r\n\r\n",
        "SIP/2.0 200 OK\r\nVia: x\r\nCSeq: nonsense\r\n\r\n",
        "INVITE sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP\r\nContent-Length: 12\r\n\r\n",
        "INVITE sip:1001@127.0.0.1 SIP/2.0\r\nFrom\r\nTo:\r\n\r\n",
    };
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = Loopback("127.0.0.1", 5060);
    for (const char* junk : kinds) {
        SCOPED_TRACE(junk);
        traces.clear();
        testing::internal::CaptureStderr();
        // 1,000 datagrams over about a second of polling.
        for (int burst = 0; burst < 10; ++burst) {
            for (int i = 0; i < 100; ++i) {
                sendto(fd, junk, strlen(junk), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof(to));
            }
            PollUntil([] { return false; }, 100);
        }
        EXPECT_EQ("", testing::internal::GetCapturedStderr().substr(0, 200));
        const auto libre = std::count_if(traces.begin(), traces.end(), [](const std::string& t) {
            return t.rfind("libre: ", 0) == 0;
        });
        EXPECT_GT(libre, 0);  // the diagnostics arrive in the trace
        EXPECT_LE(libre, 60); // 20 a second (and a note on what was left out)
    }
    close(fd);
}

TEST_F(LibreStackTest, ASecondForkThatAnswersIsAcknowledgedAndEnded) {
    Build(false);
    siptest::SessionRecorder calls;
    dum->setInviteSessionHandler(&calls);
    int far = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = Loopback("127.0.0.2", 5088);
    ASSERT_EQ(0, bind(far, reinterpret_cast<sockaddr*>(&at), sizeof(at)));
    const std::string sdp = "v=0\r\no=far 1 1 IN IP4 127.0.0.2\r\ns=-\r\nc=IN IP4 127.0.0.2\r\n"
                            "t=0 0\r\nm=audio 4000 RTP/AVP 0\r\n"; // the offer and both answers
    dum->send(
        dum->makeInviteSession(NameAddr(Uri("1002", "127.0.0.2", 5088)), *SdpContents::parse(sdp)));
    // What reaches the far end while the stack is polled for `ms`.
    sockaddr_in from{};
    socklen_t fromLength = sizeof(from);
    auto receive = [&](int ms) {
        std::vector<std::string> got;
        PollUntil(
            [&] {
                char buffer[4096];
                ssize_t n;
                while ((n = recvfrom(far, buffer, sizeof(buffer), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength)) > 0) {
                    got.emplace_back(buffer, static_cast<size_t>(n));
                }
                return false;
            },
            ms, 20);
        return got;
    };
    std::vector<std::string> got = receive(300);
    ASSERT_FALSE(got.empty());
    const std::string invite = got.front();
    ASSERT_EQ(0u, invite.find("INVITE ")) << invite;
    auto reply = [&](const std::string& request, const std::string& toTag, bool body) {
        std::string text = "SIP/2.0 200 OK\r\nVia: " + ScriptedRegistrar::Header(request, "Via") +
                           "\r\nFrom: " + ScriptedRegistrar::Header(request, "From") +
                           "\r\nTo: " + ScriptedRegistrar::Header(request, "To") + toTag +
                           "\r\nCall-ID: " + ScriptedRegistrar::Header(request, "Call-ID") +
                           "\r\nCSeq: " + ScriptedRegistrar::Header(request, "CSeq") +
                           "\r\nContact: <sip:1002@127.0.0.2:5088>\r\n";
        text += body ? "Content-Type: application/sdp\r\nContent-Length: " +
                           std::to_string(sdp.size()) + "\r\n\r\n" + sdp
                     : "Content-Length: 0\r\n\r\n";
        sendto(far, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    };
    // Two forks answer, one after the other.
    reply(invite, ";tag=first", true);
    receive(200);
    reply(invite, ";tag=second", true);
    got = receive(300);
    // Request line and To tag of each request the far end got; each BYE answered.
    auto requests = [&](const std::vector<std::string>& messages) {
        std::vector<std::string> lines;
        for (const std::string& m : messages) {
            std::string to = ScriptedRegistrar::Header(m, "To");
            lines.push_back(m.substr(0, m.find(' ')) + " " + to.substr(to.find(";tag=") + 5));
            if (m.rfind("BYE ", 0) == 0) {
                reply(m, "", false);
            }
        }
        return lines;
    };
    EXPECT_EQ((std::vector<std::string>{"ACK second", "BYE second"}), requests(got));
    receive(200);
    // The call stays with the first: one answer, nothing ended.
    EXPECT_EQ((std::vector<std::string>{"new client 200", "answer 4000", "connected client"}),
              calls.calls);
    // A third fork that answers after the call ended is acknowledged and ended too.
    ASSERT_TRUE(calls.last.isValid());
    calls.last->end();
    EXPECT_EQ((std::vector<std::string>{"BYE first"}), requests(receive(300)));
    receive(200);
    reply(invite, ";tag=third", true);
    EXPECT_EQ((std::vector<std::string>{"ACK third", "BYE third"}), requests(receive(300)));
    close(far);
}

TEST_F(LibreStackTest, OneStepTakesInResponsesThatArriveTogether) {
    Build(false);
    int peer = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = Loopback("127.0.0.2", 5088);
    ASSERT_EQ(0, bind(peer, reinterpret_cast<sockaddr*>(&at), sizeof(at)));
    std::vector<int> codes;
    OutgoingRequest request;
    request.method = "OPTIONS";
    request.requestUri = "sip:127.0.0.2:5088";
    request.headers = "To: <sip:127.0.0.2:5088>\r\nFrom: <sip:1001@127.0.0.1>;tag=b\r\n"
                      "Call-ID: burst\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
    stack->sendRequest(request, nullptr,
                       [&](const SipMessage& m) { codes.push_back(m.statusCode()); });
    char buffer[2048];
    sockaddr_in from{};
    socklen_t fromLength = sizeof(from);
    ssize_t n = recvfrom(peer, buffer, sizeof(buffer) - 1, 0, reinterpret_cast<sockaddr*>(&from),
                         &fromLength);
    ASSERT_GT(n, 0);
    std::string text(buffer, static_cast<size_t>(n));
    // The provisional and the final answer, sent back to back.
    for (const char* status : {"100 Trying", "200 OK"}) {
        std::string reply = std::string("SIP/2.0 ") + status +
                            "\r\nVia: " + ScriptedRegistrar::Header(text, "Via") +
                            "\r\nTo: <sip:127.0.0.2:5088>;tag=p\r\nFrom: " +
                            ScriptedRegistrar::Header(text, "From") +
                            "\r\nCall-ID: burst\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
        sendto(peer, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stack->process(100);
    EXPECT_EQ((std::vector<int>{100, 200}), codes);
    close(peer);
}

TEST_F(LibreStackTest, ShutdownReleasesThePortWithinTheGiveUpTime) {
    ScriptedRegistrar registrar({"127.0.0.2:5082"}, "noremoval");
    ASSERT_NO_FATAL_FAILURE(StartRegistration(registrar));
    ASSERT_TRUE(Succeeded());
    EXPECT_FALSE(CanBindSipPort());
    recorder.last->removeMyBindings(true);
    auto start = Clock::now();
    dum->shutdown(&recorder, 1);
    ASSERT_TRUE(PollUntil([&] { return recorder.count("deletable") == 1; }, 3000));
    dum.reset();
    stack.reset();
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(spent.count(), 1000);
    EXPECT_LE(spent.count(), 1500);
    EXPECT_TRUE(CanBindSipPort());
}

TEST_F(LibreStackTest, ABusyPortIsRefused) {
    Build();
    auto other = MakeLibreSipStack();
    EXPECT_THROW(other->addTransport(TransportType::UDP, 5060, IpVersion::V4, "127.0.0.1"),
                 SipException);
}

TEST_F(LibreStackTest, AnUnansweredRegisterAsksForARetry) {
    ScriptedRegistrar registrar({"127.0.0.2:5082"}, "silent");
    ASSERT_NO_FATAL_FAILURE(StartRegistration(registrar));
    // libre gives a non-INVITE transaction 64 * T1 = 32 s.
    ASSERT_TRUE(PollUntil([&] { return !recorder.calls.empty(); }, 40000));
    EXPECT_EQ(std::vector<std::string>{"retry 408"}, recorder.calls);
    EXPECT_GT(registrar.Requests("REGISTER").size(), 3u); // retransmitted meanwhile
}

TEST_F(LibreStackTest, TheAnyAddressBindsAConcreteOne) {
    stack = MakeLibreSipStack();
    stack->addTransport(TransportType::UDP, 5060, IpVersion::V4, "0.0.0.0");
    std::string host;
    int port = 0;
    ASSERT_TRUE(stack->localAddress(&host, &port));
    EXPECT_NE("0.0.0.0", host);
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(5060, port);
}
