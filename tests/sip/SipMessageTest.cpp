#include <gtest/gtest.h>

#include "sip/MasterProfile.h"
#include "sip/NameAddr.h"
#include "sip/RegistrationAck.h"
#include "sip/SipException.h"
#include "sip/SipMessage.h"
#include "sip/testing/FakeSipStack.h"

using namespace sipua;

namespace {
// A 2xx to a REGISTER, with the tags "T1" and "F1" on To and From or without tags.
SipMessage RegisterOk(bool tags, const std::string& callId) {
    return SipMessage::parse(std::string("SIP/2.0 200 OK\r\n"
                                         "Via: SIP/2.0/UDP 1.2.3.4:5060;branch=z9hG4bK1\r\n"
                                         "To: <sip:1001@10.0.0.1:5060>") +
                             (tags ? ";tag=T1" : "") + "\r\nFrom: <sip:1001@10.0.0.1:5060>" +
                             (tags ? ";tag=F1" : "") + "\r\nCall-ID: " + callId +
                             "\r\nCSeq: 3 REGISTER\r\n\r\n");
}
} // namespace

TEST(SipMessage, ParsesTheFieldsTheProgramReads) {
    SipMessage m = SipMessage::parse(
        "SIP/2.0 200 OK\r\n"
        "Via: SIP/2.0/UDP 192.0.2.7:5060;branch=z9hG4bK1;rport=40123;received=203.0.113.9\r\n"
        "To: <sip:1001@10.0.0.1:5060>;tag=srv\r\n"
        "From: \"Me\" <sip:1001@10.0.0.1:5060>;tag=cli\r\n"
        "Call-ID: abc@x\r\n"
        "CSeq: 2 REGISTER\r\n"
        "Contact: <sip:1001@203.0.113.9:40123>;expires=25, <sip:1001@192.0.2.7:5060>;expires=3\r\n"
        "Expires: 30\r\n"
        "Content-Length: 0\r\n\r\n");
    EXPECT_TRUE(m.isResponse());
    EXPECT_EQ(200, m.statusCode());
    EXPECT_EQ("REGISTER", m.method());
    EXPECT_EQ("srv", m.to().tag());
    EXPECT_EQ("cli", m.from().tag());
    EXPECT_EQ("Me", m.from().displayName());
    EXPECT_EQ("abc@x", m.callId());
    EXPECT_EQ(2u, m.cseq());
    EXPECT_EQ("192.0.2.7", m.topVia().sentHost);
    EXPECT_EQ(5060, m.topVia().sentPort);
    ASSERT_TRUE(m.topVia().rport.has_value());
    EXPECT_EQ(40123, *m.topVia().rport);
    EXPECT_EQ("203.0.113.9", m.topVia().received);
    ASSERT_EQ(2u, m.contacts().size());
    EXPECT_EQ("203.0.113.9", m.contacts()[0].uri().host());
    EXPECT_EQ(40123, m.contacts()[0].uri().port());
    EXPECT_EQ("25", m.contacts()[0].param("expires"));
    EXPECT_EQ("3", m.contacts()[1].param("expires"));
    EXPECT_EQ("30", m.header("expires").value_or(""));
    EXPECT_FALSE(m.header("Retry-After").has_value());
}

TEST(SipMessage, ViaRportWithoutValueAndMissingTags) {
    SipMessage m = SipMessage::parse("SIP/2.0 200 OK\r\n"
                                     "Via: SIP/2.0/UDP host.example;branch=z9hG4bK1;rport\r\n"
                                     "To: <sip:1@h>\r\nFrom: <sip:1@h>\r\n"
                                     "Call-ID: c\r\nCSeq: 1 REGISTER\r\n\r\n");
    EXPECT_TRUE(m.topVia().hasRport);
    EXPECT_FALSE(m.topVia().rport.has_value());
    EXPECT_EQ("host.example", m.topVia().sentHost);
    EXPECT_EQ(0, m.topVia().sentPort);
    EXPECT_FALSE(m.to().hasTag());
    EXPECT_FALSE(m.from().hasTag());
    EXPECT_TRUE(m.contacts().empty());
}

TEST(SipMessage, RejectsGarbage) {
    EXPECT_THROW(SipMessage::parse("hello"), SipException);
    EXPECT_THROW(Uri::parse("not a uri"), SipException);
    EXPECT_THROW(NameAddr::parse(""), SipException);
}

TEST(NameAddr, PrintsAndEditsParameters) {
    NameAddr a(Uri("1001", "10.0.0.1", 5060));
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", a.toString());
    a.setParam("tag", "x1");
    a.setParam("expires", "0");
    a.setParam("tag", "x2");
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>;expires=0;tag=x2", a.toString());
    a.removeParam("EXPIRES");
    EXPECT_EQ("x2", a.tag());
    EXPECT_FALSE(a.exists("expires"));

    NameAddr b = NameAddr::parse("\"Bob\" <sip:bob@h:5070;lr>;tag=9");
    EXPECT_EQ("bob", b.uri().user());
    EXPECT_EQ(5070, b.uri().port());
    EXPECT_EQ(";lr", b.uri().params());
    EXPECT_EQ("9", b.tag());
    EXPECT_EQ("\"Bob\" <sip:bob@h:5070;lr>;tag=9", b.toString());
}

TEST(Uri, ATypedUserNameCannotBreakTheUriOrTheHeaderLine) {
    // A user part with characters a URI cannot hold is escaped; plain names and escapes that
    // came in from the wire print as they are.
    EXPECT_EQ("sip:1001@10.0.0.1:5060", Uri("1001", "10.0.0.1", 5060).toString());
    EXPECT_EQ("sip:a%20b%0D%0AX%3A%20y%40evil%3Cz%3E@h",
              Uri("a b\r\nX: y@evil<z>", "h").toString());
    EXPECT_EQ("sip:50%25off@h", Uri("50%off", "h").toString());
    EXPECT_EQ("sip:a%20b;x=1@h:5070", Uri::parse("sip:a%20b;x=1@h:5070").toString());

    NameAddr aor(Uri("1001\r\nContact: <sip:x@1.2.3.4>", "10.0.0.1", 5060));
    MasterProfile profile;
    SipMessage ok = RegisterOk(true, "cid-7");
    OutgoingRequest ack = MakeRegistrationAck(aor, ok, profile);
    EXPECT_EQ(std::string::npos, ack.requestUri.find_first_of("\r\n "));
    EXPECT_EQ("<sip:1001%0D%0AContact%3A%20%3Csip%3Ax%401.2.3.4%3E@10.0.0.1:5060>",
              FakeSipStack::headerOf(ack, "Contact"));
    // Seven header lines and the empty line: nothing was added by the user name.
    size_t lines = 0;
    for (size_t at = ack.headers.find("\r\n"); at != std::string::npos;
         at = ack.headers.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(7u, lines);
}

TEST(LibreDigestSession, AUserNameThatWouldBreakTheAuthorizationHeaderIsNotSent) {
    std::unique_ptr<SipStack> stack = MakeLibreSipStack();
    SipMessage challenge =
        SipMessage::parse("SIP/2.0 401 Unauthorized\r\n"
                          "Via: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bK1\r\n"
                          "To: <sip:1001@127.0.0.2>;tag=T1\r\n"
                          "From: <sip:1001@127.0.0.2>;tag=F1\r\n"
                          "Call-ID: cid-1\r\nCSeq: 1 REGISTER\r\n"
                          "WWW-Authenticate: Digest realm=\"sip.test\", nonce=\"abc\"\r\n"
                          "Content-Length: 0\r\n\r\n");
    auto sessionFor = [&](const std::string& name) {
        return stack->makeDigestSession(
            [name](const std::string&, std::string* user, std::string* password) {
                *user = name;
                *password = "secret";
                return true;
            });
    };
    EXPECT_TRUE(sessionFor("1001")->authenticate(challenge));
    EXPECT_FALSE(sessionFor("1001\r\nX-Injected: 1")->authenticate(challenge));
    EXPECT_FALSE(sessionFor("10\"01")->authenticate(challenge));
}

TEST(MasterProfile, CredentialForAnyRealmFallsBackToTheFirst) {
    MasterProfile p;
    MasterProfile::DigestCredential c;
    EXPECT_FALSE(p.getDigestCredential("x", &c));
    p.setDigestCredential("sip.example", "1001", "pw");
    p.setDigestCredential("other", "2002", "pw2");
    ASSERT_TRUE(p.getDigestCredential("other", &c));
    EXPECT_EQ("2002", c.user);
    ASSERT_TRUE(p.getDigestCredential("unknown", &c));
    EXPECT_EQ("1001", c.user);
    EXPECT_EQ("unknown", c.realm); // answered with the challenge's realm
}

TEST(RegistrationAck, CarriesTheAddressOfRecordAndTheTagsOfThe2xx) {
    MasterProfile profile;
    profile.setUserAgent("Quorvex 1.2.3.4");
    profile.setOutboundProxy(Uri("", "127.0.0.2", 5082));
    NameAddr aor(Uri("1001", "10.0.0.1", 5060));
    SipMessage ok = RegisterOk(true, "cid-7");
    OutgoingRequest ack = MakeRegistrationAck(aor, ok, profile);
    EXPECT_EQ("ACK", ack.method);
    EXPECT_EQ("sip:1001@10.0.0.1:5060", ack.requestUri);
    ASSERT_TRUE(ack.route.has_value());
    EXPECT_EQ("sip:127.0.0.2:5082", ack.route->toString());
    EXPECT_EQ("To: <sip:1001@10.0.0.1:5060>;tag=T1\r\n"
              "From: <sip:1001@10.0.0.1:5060>;tag=F1\r\n"
              "Call-ID: cid-7\r\n"
              "CSeq: 1 ACK\r\n"
              "Contact: <sip:1001@10.0.0.1:5060>\r\n"
              "User-Agent: Quorvex 1.2.3.4\r\n"
              "Content-Length: 0\r\n\r\n",
              ack.headers);

    // Without tags in the 2xx and without proxy: no tags, sent to the Request-URI.
    profile.unsetOutboundProxy();
    SipMessage bare = RegisterOk(false, "cid-8");
    OutgoingRequest ack2 = MakeRegistrationAck(aor, bare, profile);
    EXPECT_FALSE(ack2.route.has_value());
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", FakeSipStack::headerOf(ack2, "To"));
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", FakeSipStack::headerOf(ack2, "From"));
}
