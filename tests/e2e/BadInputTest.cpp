// Bad input at the program's SIP port while it is signed in: messages in the manner of the
// SIP torture tests (malformed and tricky requests), INVITEs with hostile SDP and a burst of
// random datagrams. Each is answered with an error or dropped; the program keeps running and
// the next good call works. Every address in here is on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "tests/e2e/BaresipProcess.h"
#include "tests/e2e/KamailioCallTest.h"
#include "tests/sip/ScriptedRegistrar.h"

namespace {

constexpr int kSenderPort = 5099; // on 127.0.0.3

std::string Sdp(const std::string& media) {
    return "v=0\r\no=t 1 1 IN IP4 127.0.0.3\r\ns=-\r\nc=IN IP4 127.0.0.3\r\nt=0 0\r\n" + media;
}

// A well-formed INVITE from the test's socket, with `body` as SDP (no Content-Type without
// a body).
std::string Invite(const std::string& tag, const std::string& body) {
    std::string text = "INVITE sip:1001@127.0.0.1 SIP/2.0\r\n"
                       "Via: SIP/2.0/UDP 127.0.0.3:5099;branch=z9hG4bK" +
                       tag + ";rport\r\nMax-Forwards: 70\r\nFrom: <sip:7007@127.0.0.2>;tag=" + tag +
                       "\r\nTo: <sip:1001@127.0.0.1>\r\nCall-ID: " + tag +
                       "@127.0.0.3\r\nCSeq: 1 INVITE\r\nContact: <sip:7007@127.0.0.3:5099>\r\n";
    if (!body.empty()) {
        text += "Content-Type: application/sdp\r\n";
    }
    return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// `text` without the line of header `name`.
std::string Without(std::string text, const std::string& name) {
    size_t at = text.find("\r\n" + name + ":");
    return at == std::string::npos ? text : text.erase(at, text.find("\r\n", at + 2) - at);
}

// `text` with its first `from` replaced by `to`.
std::string Edited(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

// `text` with `headers` (whole lines) put in before its CSeq line.
std::string With(const std::string& text, const std::string& headers) {
    return Edited(text, "CSeq:", headers + "CSeq:");
}

// Invite(tag, "") as a `method` request with CSeq `cseq`.
std::string Request(const std::string& tag, const std::string& method, int cseq = 1) {
    return Edited(Edited(Invite(tag, ""), "INVITE sip", method + " sip"), "1 INVITE",
                  std::to_string(cseq) + " " + method);
}

// Request(tag, method, cseq) in the dialog of Invite(tag), with the program's To tag and a Via
// branch of its own.
std::string InDialog(const std::string& tag, const std::string& method, int cseq,
                     const std::string& toTag) {
    return Edited(Edited(Request(tag, method, cseq), ";rport", method + ";rport"),
                  "To: <sip:1001@127.0.0.1>", "To: <sip:1001@127.0.0.1>;tag=" + toTag);
}

// The first of `texts` with status `code` in the dialog (Call-ID) of `tag`, or empty.
std::string Find(const std::vector<std::string>& texts, int code, const std::string& tag) {
    for (const std::string& text : texts) {
        if (text.rfind("SIP/2.0 " + std::to_string(code) + " ", 0) == 0 &&
            ScriptedRegistrar::Header(text, "Call-ID") == tag + "@127.0.0.3") {
            return text;
        }
    }
    return "";
}

// A request and the status code it is answered with; 0 for none.
struct Answered {
    const char* name;
    std::string text;
    int code;
};

struct Torture {
    const char* name;
    std::string text;
    bool valid = false; // a valid OPTIONS, answered 200
};

// Malformed or tricky requests in the manner of the SIP torture tests, ours, for a UDP user
// agent. None of them may get a 2xx but the valid OPTIONS.
std::vector<Torture> TortureMessages() {
    const std::string via = "Via: SIP/2.0/UDP 127.0.0.3:5099;branch=z9hG4bKt";
    const std::string tail = "Max-Forwards: 70\r\nTo: <sip:1001@127.0.0.1>\r\n"
                             "From: <sip:7007@127.0.0.2>;tag=t1\r\n";
    auto req = [&](const std::string& line, const std::string& id, const std::string& extra) {
        return line + "\r\n" + via + id + ";rport\r\n" + tail + "Call-ID: torture-" + id + "\r\n" +
               extra + "\r\n";
    };
    std::string longValue(5000, 'x');
    return {
        {"no CSeq", req("OPTIONS sip:1001@127.0.0.1 SIP/2.0", "1", "Content-Length: 0\r\n")},
        {"negative Content-Length", req("OPTIONS sip:1001@127.0.0.1 SIP/2.0", "2",
                                        "CSeq: 1 OPTIONS\r\nContent-Length: -5\r\n")},
        {"Content-Length beyond the datagram",
         req("INVITE sip:1001@127.0.0.1 SIP/2.0", "3",
             "CSeq: 1 INVITE\r\nContent-Type: application/sdp\r\nContent-Length: 9999\r\n") +
             "v=0\r\n"},
        {"CSeq method not the request's",
         req("INVITE sip:1001@127.0.0.1 SIP/2.0", "4", "CSeq: 1 ACK\r\nContent-Length: 0\r\n")},
        {"unknown SIP version",
         req("INVITE sip:1001@127.0.0.1 SIP/7.0", "5", "CSeq: 1 INVITE\r\nContent-Length: 0\r\n")},
        {"Request-URI in angle brackets", req("INVITE <sip:1001@127.0.0.1> SIP/2.0", "6",
                                              "CSeq: 1 INVITE\r\nContent-Length: 0\r\n")},
        {"unknown URI scheme",
         req("INVITE nope:1001@127.0.0.1 SIP/2.0", "7", "CSeq: 1 INVITE\r\nContent-Length: 0\r\n")},
        {"unbalanced quotes in From",
         "INVITE sip:1001@127.0.0.1 SIP/2.0\r\n" + via +
             "8;rport\r\nMax-Forwards: 70\r\nTo: <sip:1001@127.0.0.1>\r\nFrom: \"Ana "
             "<sip:7007@127.0.0.2>;tag=t\r\nCall-ID: torture-8\r\nCSeq: 1 INVITE\r\n"
             "Content-Length: 0\r\n\r\n"},
        {"huge CSeq number", req("INVITE sip:1001@127.0.0.1 SIP/2.0", "9",
                                 "CSeq: 36893488147419103232 INVITE\r\nContent-Length: 0\r\n")},
        {"Max-Forwards 0",
         req("OPTIONS sip:1001@127.0.0.1 SIP/2.0", "10",
             "CSeq: 1 OPTIONS\r\nMax-Forwards: 0\r\nContent-Length: 0\r\n"),
         true},
        {"a very long header value",
         req("OPTIONS sip:1001@127.0.0.1 SIP/2.0", "11",
             "CSeq: 1 OPTIONS\r\nSubject: " + longValue + "\r\nContent-Length: 0\r\n"),
         true},
        {"escaped NUL in the user part",
         req("INVITE sip:%00@127.0.0.1 SIP/2.0", "12", "CSeq: 1 INVITE\r\nContent-Length: 0\r\n")},
        {"a response out of nowhere",
         "SIP/2.0 200 OK\r\n" + via + "13\r\n" + tail +
             "Call-ID: torture-13\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n"},
        {"status code too large",
         "SIP/2.0 4294967301 Huge\r\n" + via + "14\r\n" + tail +
             "Call-ID: torture-14\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n"},
        {"BYE outside any dialog",
         req("BYE sip:1001@127.0.0.1 SIP/2.0", "15", "CSeq: 1 BYE\r\nContent-Length: 0\r\n")},
        {"CANCEL of nothing",
         req("CANCEL sip:1001@127.0.0.1 SIP/2.0", "16", "CSeq: 1 CANCEL\r\nContent-Length: 0\r\n")},
        {"an unknown method", req("NEWMETHOD sip:1001@127.0.0.1 SIP/2.0", "17",
                                  "CSeq: 1 NEWMETHOD\r\nContent-Length: 0\r\n")},
        {"two requests in one datagram",
         req("OPTIONS sip:1001@127.0.0.1 SIP/2.0", "18",
             "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n") +
             req("OPTIONS sip:1001@127.0.0.1 SIP/2.0", "19",
                 "CSeq: 2 OPTIONS\r\nContent-Length: 0\r\n"),
         true},
        {"header lines folded with tabs",
         "INVITE sip:1001@127.0.0.1 SIP/2.0\r\n" + via +
             "20;rport\r\nMax-Forwards: 70\r\nTo:\r\n\t<sip:1001@127.0.0.1>\r\nFrom: "
             "<sip:7007@127.0.0.2>\r\n ;tag=t20\r\nCall-ID: torture-20\r\nCSeq: 1 INVITE\r\n"
             "Content-Length: 0\r\n\r\n"},
    };
}

class BadInputTest : public KamailioCallTest {
protected:
    void SetUp() override {
        setenv("QUORVEX_AUDIO", "null", 1);
        KamailioCallTest::SetUp();
        if (!Ready()) {
            return;
        }
        ASSERT_TRUE(SignIn(sandbox.Dir()));
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_port = htons(kSenderPort);
        inet_pton(AF_INET, "127.0.0.3", &self.sin_addr);
        ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof(self)));
    }
    void TearDown() override {
        if (fd >= 0) {
            close(fd);
        }
        KamailioCallTest::TearDown();
    }
    void Send(const std::string& datagram) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(5060);
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof(to));
    }
    // The status codes of the responses that arrive while the program is polled for `ms`;
    // `texts` gets the responses whole.
    std::vector<int> Responses(uint32_t ms, std::vector<std::string>* texts = nullptr) {
        std::vector<int> codes;
        Until(
            [&] {
                pollfd p{fd, POLLIN, 0};
                while (poll(&p, 1, 0) == 1) {
                    char buffer[4096];
                    ssize_t n = recv(fd, buffer, sizeof(buffer) - 1, 0);
                    if (n > 12 && std::string(buffer, 8) == "SIP/2.0 ") {
                        codes.push_back(std::atoi(buffer + 8));
                        if (texts) {
                            texts->emplace_back(buffer, static_cast<size_t>(n));
                        }
                    }
                }
                return false;
            },
            ms);
        return codes;
    }

    int fd = -1;
};

} // namespace

TEST_F(BadInputTest, TortureMessagesGetNoSuccessAndTheProgramGoesOn) {
    for (const Torture& t : TortureMessages()) {
        Send(t.text);
        // The program polls every 300 ms.
        for (int code : Responses(400)) {
            EXPECT_TRUE(code < 200 || code >= 300 || (t.valid && code == 200))
                << t.name << ": " << code;
        }
        // A tricky but valid INVITE may ring: the user declines it.
        if (g_PhoneState == PS_RINGING) {
            call->HangUp(true);
        }
        EXPECT_EQ(PS_IDLE, g_PhoneState) << t.name;
    }
}

TEST_F(BadInputTest, InvitesWithHostileSdpAreRefusedWithoutMedia) {
    struct Case {
        const char* name;
        std::string body;
        int code;
    };
    const Case cases[] = {
        {"no SDP", "", 480},
        {"not an SDP", "\x01\x02 binary junk\r\n", 488},
        {"video only", Sdp("m=video 4000 RTP/AVP 96\r\n"), 488},
        {"port zero", Sdp("m=audio 0 RTP/AVP 0\r\n"), 488},
        {"host name", "v=0\r\nc=IN IP4 nowhere.invalid\r\nm=audio 4000 RTP/AVP 0\r\n", 488},
        {"only G.729", Sdp("m=audio 4000 RTP/AVP 18\r\n"), 488},
        {"thousands of formats", Sdp("m=audio 4000 RTP/AVP" + std::string(3000, ' ') + "\r\n"),
         488},
    };
    int n = 0;
    for (const Case& c : cases) {
        Send(Invite("hostile" + std::to_string(++n), c.body));
        std::vector<int> codes = Responses(300);
        EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), c.code)) << c.name;
        EXPECT_EQ(PS_IDLE, g_PhoneState) << c.name;
        EXPECT_EQ(nullptr, g_pMedia) << c.name;
    }
}

TEST_F(BadInputTest, ABurstOfRandomDatagramsChangesNothingAndTheNextCallWorks) {
    std::mt19937 random(4475);
    for (int i = 0; i < 500; ++i) {
        std::string datagram(1 + random() % 1400, '\0');
        for (char& c : datagram) {
            c = static_cast<char>(random());
        }
        if (i % 5 == 0) { // some start like SIP and break later
            datagram = Invite("r" + std::to_string(i), "").substr(0, random() % 200) + datagram;
        }
        Send(datagram);
        if (i % 50 == 0) {
            Responses(10);
        }
    }
    Responses(300);
    if (g_PhoneState == PS_RINGING) {
        call->HangUp(true);
    }
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    BaresipProcess far({});
    ASSERT_TRUE(far.ok()) << far.Log();
    call->PickNumber("1002");
    call->OnTalk();
    EXPECT_TRUE(Until([] { return g_PhoneState == PS_TALKING; }, 5000)) << far.Log();
    call->HangUp(true);
}

TEST_F(BadInputTest, ADeclinedCallGetsAWholeFinalResponse) {
    Send(Invite("declined", Sdp("m=audio 4000 RTP/AVP 0\r\n")));
    Responses(300);
    ASSERT_EQ(PS_RINGING, g_PhoneState);
    call->HangUp(true);
    std::vector<std::string> texts;
    Responses(300, &texts);
    ASSERT_FALSE(texts.empty());
    const std::string& last = texts.back();
    EXPECT_EQ(0u, last.rfind("SIP/2.0 480 ", 0)) << last;
    // The far end reads the end of the headers and a body length, or nothing at all.
    EXPECT_NE(std::string::npos, last.find("\r\nContent-Length: 0\r\n")) << last;
    EXPECT_TRUE(last.ends_with("\r\n\r\n")) << last;
}

TEST_F(BadInputTest, AnIncompleteInviteLeavesThePhoneIdleAndTheNextCallRings) {
    const std::string sdp = Sdp("m=audio 4000 RTP/AVP 0\r\n");
    const Answered cases[] = {
        {"no Via", Without(Invite("m1", sdp), "Via"), 0},
        {"no Call-ID", Without(Invite("m2", sdp), "Call-ID"), 400},
        {"no From", Without(Invite("m3", sdp), "From"), 400},
        {"no To", Without(Invite("m4", sdp), "To"), 400},
        {"no CSeq", Without(Invite("m5", sdp), "CSeq"), 400},
        {"no Contact", Without(Invite("m6", sdp), "Contact"), 400},
        {"a From without tag", Edited(Invite("m7", sdp), ";tag=m7", ""), 400},
        {"a Contact that is no address",
         Edited(Invite("m8", sdp), "<sip:7007@127.0.0.3:5099>", "\"unclosed <sip:"), 400},
        // Past the checks, but no dialog can be built on it: the stack ends the session.
        {"a Record-Route that is no address",
         Edited(Invite("m9", sdp), "CSeq:", "Record-Route: \"unclosed <sip:\r\nCSeq:"), 500},
    };
    int n = 0;
    for (const Answered& c : cases) {
        Responses(300);
        const size_t missed = history.missed.size();
        Send(c.text);
        std::vector<int> codes = Responses(400);
        if (c.code != 500) { // refused before the call logic: no call, so no missed call
            EXPECT_EQ(missed, history.missed.size()) << c.name;
        }
        EXPECT_TRUE(c.code == 0 ? codes.empty()
                                : std::count(codes.begin(), codes.end(), c.code) > 0)
            << c.name << ": " << testing::PrintToString(codes);
        EXPECT_TRUE(Until([] { return g_PhoneState == PS_IDLE; }, 3000)) << c.name;
        Send(Invite("good" + std::to_string(++n), sdp));
        codes = Responses(300);
        EXPECT_EQ(PS_RINGING, g_PhoneState) << "the call after " << c.name;
        EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), 180)) << c.name;
        call->HangUp(true);
    }
}

TEST_F(BadInputTest, OptionsOutsideADialogAreAnsweredWithWhatThePhoneTakes) {
    auto options = [](const std::string& tag) { return Request(tag, "OPTIONS"); };
    const Answered cases[] = {
        {"outside a dialog", options("o1"), 200},
        {"without Call-ID", Without(options("o2"), "Call-ID"), 400},
        {"in a dialog that does not exist",
         Edited(options("o3"), "To: <sip:1001@127.0.0.1>", "To: <sip:1001@127.0.0.1>;tag=none"),
         481},
        {"with a negative Content-Length",
         Edited(options("o4"), "Content-Length: 0", "Content-Length: -5"), 400},
    };
    for (const Answered& c : cases) {
        Send(c.text);
        std::vector<std::string> texts;
        std::vector<int> codes = Responses(300, &texts);
        ASSERT_EQ(1u, codes.size()) << c.name;
        EXPECT_EQ(c.code, codes[0]) << c.name << "\n" << texts[0];
        if (c.code == 200) {
            EXPECT_NE(std::string::npos,
                      texts[0].find("\r\nAllow: INVITE, ACK, CANCEL, BYE, OPTIONS\r\n"))
                << texts[0];
            EXPECT_NE(std::string::npos, texts[0].find("\r\nAccept: application/sdp\r\n"))
                << texts[0];
            EXPECT_TRUE(texts[0].ends_with("\r\nContent-Length: 0\r\n\r\n")) << texts[0];
        }
    }
    EXPECT_EQ(PS_IDLE, g_PhoneState);
}

// The phone supports no extension: an INVITE or OPTIONS that requires one gets 420 with the
// tags it does not know, before the call logic sees it; the next call (r5) rings.
TEST_F(BadInputTest, ARequestThatRequiresAnExtensionIsRefusedWithTheTagsItNames) {
    const std::string sdp = Sdp("m=audio 4000 RTP/AVP 0\r\n");
    struct Case {
        const char* tag;
        std::string text;
        const char* unsupported; // null: not refused, the call rings
    };
    const Case cases[] = {
        {"r1", With(Request("r1", "OPTIONS"), "Require: foo\r\n"), "foo"},
        {"r2", With(Invite("r2", sdp), "Require: foo\r\n"), "foo"},
        {"r3", With(Invite("r3", sdp), "Require: foo,bar\r\nRequire: baz , foo\r\n"),
         "foo, bar, baz"},
        {"r4", With(Invite("r4", sdp), "Require: \"<sip:x>\"\r\nRequire: 100rel\r\n"), "100rel"},
        {"r5", With(Invite("r5", sdp), "Require: \r\n"), nullptr},
        {"r6", With(Invite("r6", sdp), "Proxy-Require: foo\r\n"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        Responses(300);
        const size_t missed = history.missed.size();
        Send(c.text);
        std::vector<std::string> texts;
        Responses(400, &texts);
        if (c.unsupported) {
            std::string refusal = Find(texts, 420, c.tag);
            ASSERT_FALSE(refusal.empty()) << testing::PrintToString(texts);
            EXPECT_EQ(c.unsupported, ScriptedRegistrar::Header(refusal, "Unsupported"));
            EXPECT_EQ(PS_IDLE, g_PhoneState);
            EXPECT_EQ(missed, history.missed.size());
        } else {
            EXPECT_FALSE(Find(texts, 180, c.tag).empty());
            EXPECT_EQ(PS_RINGING, g_PhoneState);
            call->HangUp(true);
        }
    }
}

// An ACK must not be refused for what it requires, and a BYE ends the call whatever it
// requires.
TEST_F(BadInputTest, AnAckAndAByeAreTakenWhateverTheyRequire) {
    const std::string require = "Require: foo\r\n";
    Send(Invite("y1", Sdp("m=audio 4000 RTP/AVP 0\r\n")));
    Responses(300);
    ASSERT_EQ(PS_RINGING, g_PhoneState);
    call->OnTalk();
    std::vector<std::string> texts;
    Responses(300, &texts);
    const std::string to = ScriptedRegistrar::Header(Find(texts, 200, "y1"), "To");
    ASSERT_NE(std::string::npos, to.find(";tag=")) << testing::PrintToString(texts);
    const std::string toTag = to.substr(to.find(";tag=") + 5);
    Send(With(InDialog("y1", "ACK", 1, toTag), require));
    texts.clear();
    Responses(1200, &texts); // the 2xx would come again after 0.5 s without an ACK
    EXPECT_TRUE(Find(texts, 200, "y1").empty()) << "the ACK was not taken";

    Send(With(InDialog("y1", "BYE", 2, toTag), require));
    texts.clear();
    Responses(300, &texts);
    EXPECT_FALSE(Find(texts, 200, "y1").empty()) << testing::PrintToString(texts);
    EXPECT_EQ(PS_IDLE, g_PhoneState);
}
