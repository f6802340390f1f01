#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "platform/net/IPv4Address.h"
#include "platform/net/UdpSocket.h"
#include "platform/net/WakeEvent.h"

namespace {

uint32_t Loopback() {
    return htonl(INADDR_LOOPBACK);
}

// A socket bound to 127.0.0.1 on a port the system picks.
uint16_t OpenBound(plat::UdpSocket& s) {
    EXPECT_EQ(0, s.Open());
    EXPECT_EQ(0, s.Bind(Loopback(), 0));
    uint16_t port = 0;
    EXPECT_EQ(0, s.GetLocalPort(&port));
    EXPECT_NE(0, port);
    return port;
}

} // namespace

TEST(IPv4AddressTest, ParsesOnlyDottedQuads) {
    uint32_t a = 0;
    ASSERT_TRUE(plat::ParseIPv4("127.0.0.1", &a));
    EXPECT_EQ(htonl(0x7F000001), a);
    ASSERT_TRUE(plat::ParseIPv4("192.0.2.254", &a));
    EXPECT_EQ("192.0.2.254", plat::FormatIPv4(a));
    // Forms inet_addr would take but inet_pton does not, and plain garbage.
    uint32_t untouched = 77;
    for (const char* bad : {"127.1", "0x7f.0.0.1", "256.0.0.1", "", "host.example", "1.2.3.4 "}) {
        EXPECT_FALSE(plat::ParseIPv4(bad, &untouched)) << bad;
    }
    EXPECT_FALSE(plat::ParseIPv4(nullptr, &untouched));
    EXPECT_EQ(77u, untouched);
}

TEST(IPv4AddressTest, UsableUnicastAndLookup) {
    uint32_t a = 0;
    ASSERT_TRUE(plat::ParseIPv4("0.0.0.0", &a));
    EXPECT_FALSE(plat::IsUsableUnicastIPv4(a));
    ASSERT_TRUE(plat::ParseIPv4("255.255.255.255", &a));
    EXPECT_FALSE(plat::IsUsableUnicastIPv4(a));
    ASSERT_TRUE(plat::ParseIPv4("127.0.0.1", &a));
    EXPECT_TRUE(plat::IsUsableUnicastIPv4(a));

    uint32_t looked = 0;
    ASSERT_EQ(0, plat::LookupIPv4("127.0.0.1", &looked));
    EXPECT_EQ(a, looked);
    looked = 0;
    ASSERT_EQ(0, plat::LookupIPv4("localhost", &looked));
    EXPECT_EQ(a, looked);
    EXPECT_NE(0, plat::LookupIPv4("no such host..invalid", &looked));
}

TEST(UdpSocketTest, NoSocketIsMinusOneAndFailsCleanly) {
    plat::UdpSocket s;
    EXPECT_EQ(-1, s.Fd());
    EXPECT_FALSE(s.IsOpen());
    int error = 0;
    char b[4] = {};
    EXPECT_EQ(-1, s.SendTo(b, sizeof(b), Loopback(), 9, &error));
    EXPECT_EQ(EBADF, error);
    EXPECT_EQ(-1, s.ReceiveFrom(b, sizeof(b), &error));
    EXPECT_EQ(EBADF, error);
    EXPECT_NE(0, s.Bind(Loopback(), 0));
    EXPECT_EQ(plat::SocketWait::Failed, s.WaitReadable(0, nullptr));
}

TEST(UdpSocketTest, LoopbackRoundTripNonBlockingAndOversize) {
    plat::UdpSocket rx, tx;
    uint16_t port = OpenBound(rx);
    const uint16_t txPort = OpenBound(tx);
    EXPECT_TRUE(fcntl(rx.Fd(), F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(0, tx.SetTos(184));
    int tos = 0;
    socklen_t tosSize = sizeof(tos);
    ASSERT_EQ(0, getsockopt(tx.Fd(), IPPROTO_IP, IP_TOS, &tos, &tosSize));
    EXPECT_EQ(184, tos);

    char buffer[64];
    int error = 0;
    // Nothing waiting: a non-blocking socket answers at once.
    EXPECT_EQ(-1, rx.ReceiveFrom(buffer, sizeof(buffer), &error));
    EXPECT_TRUE(error == EAGAIN || error == EWOULDBLOCK);
    EXPECT_EQ(plat::SocketWait::Timeout, rx.WaitReadable(10, nullptr));

    const char message[] = "hello rtp";
    ASSERT_EQ(static_cast<int>(sizeof(message)),
              tx.SendTo(message, sizeof(message), Loopback(), port, &error));
    ASSERT_EQ(plat::SocketWait::Readable, rx.WaitReadable(2000, nullptr));
    plat::UdpEndpoint from;
    ASSERT_EQ(static_cast<int>(sizeof(message)),
              rx.ReceiveFrom(buffer, sizeof(buffer), &error, &from));
    EXPECT_EQ(0, std::memcmp(buffer, message, sizeof(message)));
    EXPECT_EQ((plat::UdpEndpoint{Loopback(), txPort}), from) << "the sender's address and port";

    // A datagram longer than the buffer reports its real length.
    char big[200];
    std::memset(big, 0x5A, sizeof(big));
    ASSERT_EQ(200, tx.SendTo(big, sizeof(big), Loopback(), port, &error));
    ASSERT_EQ(plat::SocketWait::Readable, rx.WaitReadable(2000, nullptr));
    EXPECT_EQ(200, rx.ReceiveFrom(buffer, sizeof(buffer), &error));
}

TEST(WakeEventTest, WakesAWaitAtOnceAndStaysSetUntilReset) {
    plat::UdpSocket rx;
    OpenBound(rx);
    plat::WakeEvent wake;
    ASSERT_TRUE(wake.IsValid());
    EXPECT_FALSE(wake.IsSet());

    auto start = std::chrono::steady_clock::now();
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wake.Set();
    });
    EXPECT_EQ(plat::SocketWait::Woken, rx.WaitReadable(10000, &wake));
    setter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // Level-triggered: later waits return at once until Reset.
    EXPECT_TRUE(wake.IsSet());
    EXPECT_EQ(plat::SocketWait::Woken, rx.WaitReadable(10000, &wake));
    wake.Set(); // setting twice needs only one reset
    wake.Reset();
    EXPECT_FALSE(wake.IsSet());
    EXPECT_EQ(plat::SocketWait::Timeout, rx.WaitReadable(5, &wake));
}

TEST(UdpSocketTest, SharedOwnershipClosesWithLastHolder) {
    auto s = std::make_shared<plat::UdpSocket>();
    OpenBound(*s);
    int fd = s->Fd();
    std::weak_ptr<plat::UdpSocket> weak = s;
    auto second = s;
    s.reset();
    ASSERT_FALSE(weak.expired());
    EXPECT_NE(-1, fcntl(fd, F_GETFD));
    second.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(-1, fcntl(fd, F_GETFD));
}
