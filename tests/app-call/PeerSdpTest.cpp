#include <gtest/gtest.h>

#include <string>

#include "app/call/CallerName.h"
#include "app/call/PeerSdp.h"

namespace {

sipua::SdpContents Parse(const std::string& media) {
    return *sipua::SdpContents::parse("v=0\r\nc=IN IP4 192.0.2.1\r\n" + media);
}

} // namespace

TEST(PeerSdpTest, TheCodecIsTheFirstPcmuOrPcmaOfTheFirstAudioMedium) {
    struct Case {
        std::string media;
        int codec;
    };
    const Case cases[] = {
        {"m=audio 4000 RTP/AVP 18 8 0\r\n", 2},
        {"m=audio 4000 RTP/AVP 0 8\r\n", 4},
        {"m=audio 4000 RTP/AVP 18\r\n", 0},
        {"m=audio 4000 RTP/AVP 96\r\na=rtpmap:96 PCMU/8000\r\n", 4},
        {"m=audio 4000 RTP/AVP 96\r\na=rtpmap:96 pcma/8000\r\n", 2},
        {"m=audio 4000 RTP/AVP 96 8\r\na=rtpmap:96 PCMU/16000\r\n", 2},
        {"m=audio 4000 RTP/AVP 96\r\na=rtpmap:96 PCMU/16000\r\n", 0},
        {"m=audio 4000 RTP/AVP 8\r\na=rtpmap:8 G729/8000\r\n", 0},   // remapped
        {"m=video 4000 RTP/AVP 0\r\nm=audio 4002 RTP/AVP 8\r\n", 2}, // first AUDIO medium
        {"m=video 4000 RTP/AVP 0\r\n", 0},
        {"m=audio 4000 RTP/AVP 18\r\nm=audio 4002 RTP/AVP 0\r\n", 0}, // only the first counts
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.codec, ChooseCodec(Parse(c.media))) << c.media;
    }
}

TEST(PeerSdpTest, MediaGoToTheMediumsOwnAddressElseTheSessions) {
    MediaTarget own = MediaTargetOf(Parse("m=audio 4000 RTP/AVP 0\r\nc=IN IP4 192.0.2.9/127\r\n"));
    EXPECT_EQ("192.0.2.9", own.address);
    EXPECT_EQ(4000, own.port);
    MediaTarget session = MediaTargetOf(Parse("m=audio 4002 RTP/AVP 0\r\n"));
    EXPECT_EQ("192.0.2.1", session.address);
    EXPECT_EQ(-1, MediaTargetOf(Parse("")).port);
}

TEST(PeerSdpTest, TheCallerIsTheDisplayNameCutAtTheNumbersSecondOccurrenceElseTheFromUser) {
    struct Case {
        const char* from;
        const char* requestUser;
        const char* shown;
    };
    const Case cases[] = {
        {"\"5551234 Ana 5551234\" <sip:2002@h>", "5551234", "5551234 Ana"},
        {"\"Ana 55 x 55\" <sip:2002@h>", "55", "Ana 55 x"},
        {"\"Ana 555\" <sip:2002@h>", "55", "Ana 5"}, // the second match starts one after
        {"\"Ana 5551234\" <sip:2002@h>", "5551234", "Ana 5551234"},
        {"\"Ana\" <sip:2002@h>", "", "Ana"}, // empty user part: no cut
        {"<sip:2002@h>", "1001", "2002"},    // no display name: the caller, not our number
        {"<sip:12%23@h>", "1001", "12#"},    // as it is dialled
        {"<sip:h>", "1001", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.shown, CallerText(sipua::NameAddr::parse(c.from), c.requestUser)) << c.from;
    }
}
