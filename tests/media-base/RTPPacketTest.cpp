#include <memory>

#include "media/testing/RtpTestSupport.h"

using namespace tamsor;

namespace {

struct ParseCase {
    const char* name;
    std::vector<uint8_t> bytes;
    bool accepted;
    int headerLength;
    int numPadding;
    int payloadLength;
};

std::vector<uint8_t> Header(uint8_t first, size_t total, uint8_t last = 0) {
    std::vector<uint8_t> d(total, 0);
    if (!d.empty()) {
        d[0] = first;
        d.back() = last;
    }
    return d;
}

} // namespace

// The parser's table: each rejection rule, in its order, and the derived lengths.
TEST(RTPPacketTest, ParserTable) {
    const ParseCase cases[] = {
        {"11 bytes", Header(0x80, 11), false, 0, 0, 0},
        {"bare header", Header(0x80, 12), true, 12, 0, 0},
        {"data", Header(0x80, 172), true, 12, 0, 160},
        {"CC 15, 71 bytes", Header(0x8F, 71), false, 0, 0, 0},
        {"CC 15, 72 bytes", Header(0x8F, 72), true, 72, 0, 0},
        {"padding count 0", Header(0xA0, 20, 0), true, 12, 0, 8},
        {"padding count 8", Header(0xA0, 20, 8), true, 12, 8, 0},
        {"padding beyond room", Header(0xA0, 20, 9), false, 0, 0, 0},
        {"X bit", Header(0x90, 40), false, 0, 0, 0},
        {"X bit and version 0", Header(0x10, 40), false, 0, 0, 0},
        {"version 1", Header(0x40, 40), false, 0, 0, 0},
        {"version 3", Header(0xC0, 40), false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::unique_ptr<RTPPacket> p(RTPPacket::CreateRTPPacket(
            c.bytes.data(), static_cast<int32_t>(c.bytes.size()), nullptr));
        ASSERT_EQ(c.accepted, p != nullptr) << c.name;
        if (!p) {
            continue;
        }
        EXPECT_EQ(c.headerLength, p->headerLength) << c.name;
        EXPECT_EQ(c.numPadding, p->numPadding) << c.name;
        EXPECT_EQ(c.payloadLength, p->payloadLength) << c.name;
        EXPECT_EQ(static_cast<int32_t>(c.bytes.size()), p->totalLength) << c.name;
        EXPECT_EQ(c.bytes.data() + c.headerLength, p->payload) << c.name;
        EXPECT_EQ(2, p->version) << c.name;
    }
    EXPECT_EQ(nullptr, RTPPacket::CreateRTPPacket(nullptr, 100, nullptr));
}

TEST(RTPPacketTest, FieldsAreReadBigEndianAndCopyIsDetached) {
    auto d = MakeRtp(0xBEEF, 0x01020304, 0xA1B2C3D4, 8, 4, 0x11, true);
    std::unique_ptr<RTPPacket> p(
        RTPPacket::CreateRTPPacket(d.data(), static_cast<int32_t>(d.size()), nullptr));
    ASSERT_TRUE(p);
    EXPECT_EQ(0xBEEF, p->sequenceNumber);
    EXPECT_EQ(0x01020304u, p->timestamp);
    EXPECT_EQ(0xA1B2C3D4u, p->ssrc);
    EXPECT_EQ(8, p->payloadType);
    EXPECT_EQ(1, p->marker);
    EXPECT_EQ(0, p->extension);
    EXPECT_EQ(d.data(), p->packet);

    std::unique_ptr<RTPPacket> copy(p->CopyHeader());
    ASSERT_TRUE(copy);
    EXPECT_EQ(nullptr, copy->packet);
    EXPECT_EQ(nullptr, copy->payload);
    EXPECT_EQ(12, copy->totalLength);
    EXPECT_EQ(12, copy->headerLength);
    EXPECT_EQ(p->sequenceNumber, copy->sequenceNumber);
    EXPECT_EQ(p->timestamp, copy->timestamp);
    EXPECT_EQ(p->ssrc, copy->ssrc);
    EXPECT_EQ(p->payloadType, copy->payloadType);
    EXPECT_EQ(p->marker, copy->marker);
    EXPECT_EQ(p->version, copy->version);
}
