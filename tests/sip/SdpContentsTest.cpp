#include <gtest/gtest.h>

#include <string>

#include "sip/SdpContents.h"

using sipua::SdpContents;

TEST(SdpContentsTest, ParsesWhatTheCallLogicReadsAndSkipsTheRest) {
    const std::string baresip = "v=0\r\n"
                                "o=- 1234 5678 IN IP4 127.0.0.3\r\n"
                                "s=-\r\n"
                                "c=IN IP4 127.0.0.3\r\n"
                                "t=0 0\r\n"
                                "a=tool:baresip\r\n"
                                "m=audio 10002/2 RTP/AVP 0 8 101 x 200\r\n"
                                "c=IN IP4 127.0.0.9/64\r\n"
                                "b=AS:64\r\n"
                                "a=rtpmap:101 telephone-event/8000/1\r\n"
                                "a=rtpmap:8 PCMA/8000\r\n"
                                "a=fmtp:101 0-15\r\n"
                                "a=ptime:20\r\n"
                                "a=sendrecv\r\n"
                                "junk without equals\n"
                                "m=video 0 RTP/AVP 96\n";
    auto sdp = SdpContents::parse(baresip);
    ASSERT_TRUE(sdp.has_value());
    EXPECT_EQ("127.0.0.3", sdp->origin().address);
    EXPECT_EQ("127.0.0.3", sdp->connectionAddress());
    ASSERT_EQ(2u, sdp->media().size());
    const SdpContents::Medium& audio = sdp->media()[0];
    EXPECT_EQ(10002, audio.port);
    EXPECT_EQ(2, audio.portCount);
    EXPECT_EQ("127.0.0.9", audio.connectionAddress);
    EXPECT_EQ("127.0.0.9", sdp->connectionFor(audio));
    ASSERT_EQ(3u, audio.codecs.size()); // "x" and 200 are no payload types
    EXPECT_EQ("PCMU", audio.codecs[0].name);
    EXPECT_EQ(8000, audio.codecs[0].rate); // static, without rtpmap
    EXPECT_EQ("PCMA", audio.codecs[1].name);
    EXPECT_EQ("telephone-event", audio.codecs[2].name);
    EXPECT_EQ("1", audio.codecs[2].parameters);
    EXPECT_EQ("20", audio.attribute("ptime").value_or(""));
    EXPECT_EQ("", audio.attribute("sendrecv").value_or("missing"));
    EXPECT_EQ("video", sdp->media()[1].name);
    EXPECT_EQ(0, sdp->media()[1].port);
    EXPECT_EQ(&sdp->media()[0], sdp->firstAudio());
}

TEST(SdpContentsTest, OddInputGivesFewerMediaOrNoneButNeverMore) {
    struct Case {
        const char* name;
        std::string text;
        bool parsed;
        int media;
        int port; // of the first medium
    };
    std::string many = "v=0\r\n";
    for (int i = 0; i < 40; ++i) {
        many += "m=audio 4000 RTP/AVP 0\r\n";
    }
    const Case cases[] = {
        {"empty", "", false, 0, 0},
        {"not v=0 first", "o=x\r\nv=0\r\n", false, 0, 0},
        {"v=1", "v=1\r\n", false, 0, 0},
        {"blank lines first", "\r\n\r\nv=0\r\nm=audio 1 RTP/AVP 0", true, 1, 1},
        {"port too big", "v=0\r\nm=audio 65536 RTP/AVP 0\r\n", true, 1, -1},
        {"port 65535", "v=0\r\nm=audio 65535 RTP/AVP 0\r\n", true, 1, 65535},
        {"port not a number", "v=0\r\nm=audio -1 RTP/AVP 0\r\n", true, 1, -1},
        {"huge number", "v=0\r\nm=audio 99999999999999 RTP/AVP 0\r\n", true, 1, -1},
        {"m= without fields", "v=0\r\nm=\r\n", true, 1, -1},
        {"media are capped", many, true, static_cast<int>(SdpContents::kMaxMedia), 4000},
    };
    for (const Case& c : cases) {
        auto sdp = SdpContents::parse(c.text);
        EXPECT_EQ(c.parsed, sdp.has_value()) << c.name;
        if (sdp) {
            EXPECT_EQ(static_cast<size_t>(c.media), sdp->media().size()) << c.name;
            if (!sdp->media().empty()) {
                EXPECT_EQ(c.port, sdp->media()[0].port) << c.name;
            }
        }
    }
    // rtpmap lines that name no listed type, or have no rate, change nothing; one without an
    // encoding name leaves the static mapping.
    auto sdp = SdpContents::parse("v=0\r\nm=audio 1 RTP/AVP 0 96 8\r\na=rtpmap:97 PCMA/8000\r\n"
                                  "a=rtpmap:96 PCMA\r\na=rtpmap:0 PCMU/notanumber\r\n"
                                  "a=rtpmap:8 /8000\r\n");
    ASSERT_TRUE(sdp);
    EXPECT_EQ("", sdp->media()[0].codecs[1].name);
    EXPECT_EQ(0, sdp->media()[0].codecs[0].rate);
    EXPECT_EQ("PCMA", sdp->media()[0].codecs[2].name);
    EXPECT_EQ(8000, sdp->media()[0].codecs[2].rate);
    EXPECT_EQ(sdp->encode(), SdpContents::parse(sdp->encode())->encode());
    // A type listed twice is mapped the same both times, so what we write reads back alike.
    sdp = SdpContents::parse("v=0\r\nm=audio 1 RTP/AVP 0 0 8\r\na=rtpmap:0 PCMU/0/8000\r\n");
    ASSERT_TRUE(sdp);
    EXPECT_EQ("8000", sdp->media()[0].codecs[1].parameters);
    EXPECT_EQ(sdp->encode(), SdpContents::parse(sdp->encode())->encode());
}

TEST(SdpContentsTest, EncodesInOrderAndKeepsEachFieldOnItsLine) {
    SdpContents sdp;
    sdp.origin().user = "ana maria\r\nm=video";
    sdp.origin().address = "192.0.2.10";
    sdp.sessionName("session");
    sdp.connectionAddress("192.0.2.10");
    SdpContents::Medium audio;
    audio.name = "audio";
    audio.port = 8000;
    audio.protocol = "RTP/AVP";
    audio.codecs = {{0, "PCMU", 8000, ""}, {8, "PCMA", 8000, ""}};
    audio.attributes = {{"ptime", "40"}};
    sdp.media().push_back(audio);
    std::string text = sdp.encode();
    EXPECT_EQ("v=0\r\no=ana_maria__m=video 0 0 IN IP4 192.0.2.10\r\ns=session\r\n"
              "c=IN IP4 192.0.2.10\r\nt=0 0\r\nm=audio 8000 RTP/AVP 0 8\r\n"
              "a=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\na=ptime:40\r\n",
              text);
    auto again = SdpContents::parse(text);
    ASSERT_TRUE(again);
    EXPECT_EQ(text, again->encode()); // what we write reads back the same
}
