#include <gtest/gtest.h>

#include <string>

#include "sip/DatagramFilter.h"

using sipua::LooksLikeSipMessage;

TEST(DatagramFilterTest, PassesWhatStartsLikeSipAndDropsTheRest) {
    struct Case {
        std::string datagram;
        bool sip;
    };
    const Case cases[] = {
        {"SIP/2.0 200 OK\r\nVia: x\r\n\r\n", true},
        {"SIP/2.0 100\r\n\r\n", true},
        {"INVITE sip:1@127.0.0.1 SIP/2.0\r\nVia: x\r\n\r\nv=0\r\n", true},
        {"REGISTER sip:h SIP/2.0\n\n", true}, // bare line feeds
        {"\r\n\r\n", true},                   // keep-alive
        {"\r\n", true},
        {"\r\n\r\n\r\n", false}, // longer than a keep-alive, and no start line
        {"", false},
        {"SIP/2.0 20 OK\r\n\r\n", false},        // two digits
        {"SIP/2.0 2000 OK\r\n\r\n", false},      // four digits
        {"SIP/2.0 200 OK\r\nVia: x\r\n", false}, // header never ends
        {"INVITE sip:1@h SIP/3.0\r\n\r\n", false},
        {"INVITE 1@h SIP/2.0\r\n\r\n", false}, // no scheme
        {"INVITE  sip:1@h SIP/2.0\r\n\r\n", false},
        {"INV(TE sip:1@h SIP/2.0\r\n\r\n", false},
        {" INVITE sip:1@h SIP/2.0\r\n\r\n", false},
        {std::string("\x80\x00\x12\x34junk\r\n\r\n", 12), false},
        {"this is not SIP\r\n\r\n", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.sip, LooksLikeSipMessage(c.datagram)) << c.datagram;
    }
}
