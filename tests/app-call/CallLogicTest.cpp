#include <chrono>
#include <cmath>
#include <set>
#include <thread>

#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "tests/app-call/CallFixture.h"

using sipua::FakeSipStack;

TEST_F(CallLogicTest, OutgoingCallWithEarlyMediaStartsTheMediaOnceAndEndsWithAByeAndTheHangupTone) {
    auto id = Dial("12#");
    EXPECT_EQ(PS_DIALING, g_PhoneState);
    const sipua::OutgoingInvite* invite = stack.invite(id);
    ASSERT_NE(nullptr, invite);
    EXPECT_EQ("sip:12%23@10.0.0.1", invite->requestUri); // '#' escaped
    EXPECT_EQ("12#", call->GetPeerText());

    stack.sessionProgress(id, 180);
    Poll();
    EXPECT_EQ("repicando.wav", sounds.own);
    stack.sessionProgress(id, 183, kPeerSdp);
    Poll();
    EXPECT_EQ(PS_EARLY_MEDIA, g_PhoneState);
    EXPECT_EQ("", sounds.own); // media start stops the ringback
    stack.sessionAnswered(id); // no SDP: the early answer holds
    Poll();
    EXPECT_EQ(PS_TALKING, g_PhoneState);
    EXPECT_EQ(1, mediaMade);
    EXPECT_EQ(std::vector<std::string>{"12%23"}, history.dialed); // the store decodes it

    call->HangUp(true);
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ("end 0", LastOp(id));
    EXPECT_EQ(0, media.live);
    EXPECT_EQ("hangup.wav", sounds.own);
    EXPECT_EQ(1, view.balanceResets);
}

TEST_F(CallLogicTest, EarlyMediaThatMovesRestartsTheMediaWithoutEndingTheCall) {
    struct Case {
        const char* name;
        std::vector<std::string> early; // the 183s' SDPs in turn
        std::string final;              // the 200's SDP
        int starts;
    };
    const Case cases[] = {
        {"same early twice, 200 without SDP", {kPeerSdp, kPeerSdp}, "", 1},
        {"early moves", {kPeerSdp, kMovedSdp}, "", 2},
        {"200 moves", {kPeerSdp}, kMovedSdp, 2},
        {"200 repeats the early SDP", {kPeerSdp}, kPeerSdp, 1},
    };
    for (const Case& c : cases) {
        mediaMade = 0;
        auto id = Dial();
        for (const std::string& sdp : c.early) {
            stack.sessionProgress(id, 183, sdp);
            Poll();
        }
        stack.sessionAnswered(id, c.final);
        Poll();
        EXPECT_EQ(PS_TALKING, g_PhoneState) << c.name;
        EXPECT_EQ(c.starts, mediaMade) << c.name;
        EXPECT_EQ(1, media.live) << c.name;
        call->HangUp(true);
    }
}

TEST_F(CallLogicTest, AReInviteThatMovesTheFarEndsMediaRestartsThemAndOurAnswerStaysTheSame) {
    auto sdp = [](const std::string& address, int port, const std::string& rest = "0 8\r\n") {
        return "v=0\r\no=- 1 2 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address +
               "\r\nt=0 0\r\nm=audio " + std::to_string(port) + " RTP/AVP " + rest;
    };
    struct Case {
        const char* name;
        std::string offer;
        const char* sentTo; // where the restarted media send; nullptr: no restart
    };
    const Case cases[] = {
        {"on hold", sdp("192.0.2.20", 4000, "8 0\r\na=sendonly\r\n"), nullptr},
        {"the port moves", sdp("192.0.2.20", 4002), "SetAddresses(192.0.2.20,4002,8000)"},
        {"the address moves", sdp("192.0.2.21", 4000), "SetAddresses(192.0.2.21,4000,8000)"},
        {"held the old way", sdp("0.0.0.0", 4000), nullptr},
        {"port 0", sdp("192.0.2.21", 0), nullptr},
        {"only G.729", sdp("192.0.2.21", 4002, "18\r\n"), nullptr},
    };
    for (bool incoming : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (incoming ? ", incoming" : ", outgoing"));
            auto id = incoming ? Incoming(kPeerSdp, kCaller, std::string("re-") + c.name) : Dial();
            if (incoming) {
                call->OnTalk();
            } else {
                stack.sessionAnswered(id, kPeerSdp);
            }
            Poll();
            ASSERT_EQ(PS_TALKING, g_PhoneState);
            std::string ours = incoming ? stack.sessionOpsOf(id).back().sdp : stack.invite(id)->sdp;
            media.calls.clear();
            mediaMade = 0;
            EXPECT_EQ(ours, stack.reinvite(id, c.offer));
            Poll();
            EXPECT_EQ(PS_TALKING, g_PhoneState);
            EXPECT_EQ(c.sentTo ? 1 : 0, mediaMade);
            EXPECT_EQ(c.sentTo ? 1 : 0, Count(c.sentTo ? c.sentTo : "SetAddresses"));
            EXPECT_EQ(1, media.live);
            call->HangUp(true);
        }
    }
}

TEST_F(CallLogicTest, AFarEndFailureWhileDialingIsBusyUntilTheUserHangsUp) {
    struct Case {
        int provisional;
        const char* ringback; // what is played on the provisional response
        int end;              // a failure code, 408 for the stack's time-out, 0: the far end ends
    };
    const Case cases[] = {
        {180, "loop:repicando.wav", 486},
        {183, nullptr, 404}, // a 183 without SDP plays nothing
        {180, "loop:repicando.wav", 408},
        {183, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        auto id = Dial();
        sounds.played.clear();
        stack.sessionProgress(id, c.provisional);
        Poll();
        EXPECT_EQ(PS_DIALING, g_PhoneState);
        EXPECT_EQ(c.ringback ? std::vector<std::string>{c.ringback} : std::vector<std::string>{},
                  sounds.played);
        if (c.end == 408) {
            stack.sessionTimedOut(id);
        } else if (c.end == 0) {
            stack.sessionEndedByPeer(id);
        } else {
            stack.sessionFailed(id, c.end);
        }
        Poll();
        EXPECT_EQ(PS_BUSY, g_PhoneState);
        EXPECT_EQ("Ocupado.WAV", sounds.own);
        EXPECT_TRUE(trace.Count("CMakeCall::onTerminated: fin de una sesion ajena a la llamada "
                                "actual") == 0);
        call->HangUp(true);
        EXPECT_EQ(PS_IDLE, g_PhoneState);
        EXPECT_EQ("hangup.wav", sounds.own);
    }
    // The call sounds are the ones beside the program, wherever the current folder is.
    for (const std::string& path : sounds.paths) {
        EXPECT_EQ(0u, path.rfind("/opt/quorvex/sounds/", 0)) << path;
    }
}

TEST_F(CallLogicTest, AFailureInEarlyMediaWaitsOneSecondOnATimerThatRechecksTheCall) {
    auto id = Dial();
    stack.sessionProgress(id, 183, kPeerSdp);
    stack.sessionFailed(id, 486);
    Poll();
    EXPECT_EQ(PS_EARLY_MEDIA, g_PhoneState); // still playing the early media
    EXPECT_EQ(1000u, view.Period(CallLogic::kTimerFailureWait));
    call->OnTimer(CallLogic::kTimerFailureWait);
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ(0, media.live);
    EXPECT_EQ("", sounds.own); // no busy tone, no hang-up tone

    // A call placed within that second is not touched by the timer.
    id = Dial();
    stack.sessionProgress(id, 183, kPeerSdp);
    stack.sessionFailed(id, 486);
    Poll();
    call->HangUp(true);
    auto next = Dial("456");
    call->OnTimer(CallLogic::kTimerFailureWait);
    EXPECT_EQ(PS_DIALING, g_PhoneState);
    EXPECT_EQ("start 0", LastOp(next));
}

TEST_F(CallLogicTest, HangingUpWhileDialingCancelsAndALateResponseOfAnotherSessionIsIgnored) {
    auto id = Dial();
    stack.sessionProgress(id, 180);
    Poll();
    handset.Ring(); // still ringing from a call before
    call->HangUp(true);
    EXPECT_EQ(PS_BUSY, g_PhoneState);
    EXPECT_EQ("end 0", LastOp(id)); // CANCEL
    EXPECT_EQ("", sounds.own);      // ringback stopped, no busy tone for the user's own hang-up
    EXPECT_FALSE(handset.ringing);
    call->HangUp(true);
    EXPECT_EQ(PS_IDLE, g_PhoneState);

    // A stray session (a forked branch, an abandoned INVITE): a late failure is only traced, a
    // provisional or a 2xx ends it; the current call goes on untouched.
    struct Case {
        int code;
        const char* strayOp; // the last thing done to the stray session
    };
    const Case cases[] = {{200, "end 0"}, {180, "end 0"}, {487, "start 0"}, {408, "start 0"}};
    const char kStrayFailure[] = "CMakeCall::onFailure: fallo de una sesion ajena a la llamada "
                                 "actual";
    int failures = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        sipua::ClientInviteSessionHandle stray;
        dum.send(dum.makeInviteSession(sipua::NameAddr(sipua::Uri("9", "10.0.0.1")),
                                       sipua::SdpContents(), &stray));
        auto strayId = stack.lastStartedSession();
        auto current = Dial("777");
        sounds.played.clear();
        if (c.code == 200) {
            stack.sessionAnswered(strayId, kPeerSdp);
        } else if (c.code == 180) {
            stack.sessionProgress(strayId, 180);
        } else if (c.code == 408) {
            stack.sessionTimedOut(strayId);
        } else {
            stack.sessionFailed(strayId, c.code);
        }
        Poll();
        failures += c.code >= 400;
        EXPECT_EQ(c.strayOp, LastOp(strayId));
        EXPECT_EQ(failures, trace.Count(kStrayFailure));
        EXPECT_EQ(PS_DIALING, g_PhoneState);
        EXPECT_EQ("start 0", LastOp(current));
        EXPECT_TRUE(sounds.played.empty());
        EXPECT_EQ(0, mediaMade);
        call->HangUp(true);
        call->HangUp(true);
    }
}

TEST_F(CallLogicTest, AnIncomingCallRingsAndIsAnsweredWithOurSdp) {
    auto id = Incoming();
    EXPECT_EQ(PS_RINGING, g_PhoneState);
    EXPECT_EQ("Ana", call->GetPeerText());
    EXPECT_EQ("progress 180", LastOp(id));
    EXPECT_EQ("/opt/quorvex/sounds/repicando.wav", sounds.paths.back());
    EXPECT_EQ("repicando.wav", sounds.system);
    EXPECT_TRUE(handset.ringing);
    EXPECT_EQ(200u, view.Period(CallLogic::kTimerRing));
    EXPECT_EQ(1, view.raised);
    EXPECT_EQ(1, trace.Count("llamada entrante de :Ana"));

    call->OnTalk();
    EXPECT_EQ(PS_TALKING, g_PhoneState);
    auto ops = stack.sessionOpsOf(id);
    ASSERT_EQ("answer", ops.back().op);
    EXPECT_NE(std::string::npos, ops.back().sdp.find("m=audio 8000 RTP/AVP 0 8\r\n"));
    EXPECT_EQ(std::vector<std::string>{"2002"}, history.received);
    EXPECT_EQ("", sounds.system);
    EXPECT_FALSE(handset.ringing);
    EXPECT_FALSE(view.timers.count(CallLogic::kTimerRing));
    // The caller listed PCMA first.
    EXPECT_EQ(1, Count("SetReceiveCodec(2,20)"));
    EXPECT_EQ(1, Count("SetAddresses(192.0.2.20,4000,8000)"));

    stack.sessionEndedByPeer(id);
    Poll();
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ(0, media.live);
}

TEST_F(CallLogicTest, ACallerWhoGivesUpOrIsDeclinedLeavesOneMissedEntryAndNoRinging) {
    for (bool declined : {false, true}) {
        history.missed.clear();
        auto id = Incoming();
        sounds.PlaySound2("/x/other.wav", true); // something on the other channel too
        if (declined) {
            call->HangUp(true);
            EXPECT_EQ("reject 480", LastOp(id));
        } else {
            stack.sessionEndedByPeer(id); // CANCEL: no related message
            Poll();
        }
        EXPECT_EQ(PS_IDLE, g_PhoneState) << declined;
        EXPECT_EQ(std::vector<std::string>{"2002"}, history.missed) << declined;
        EXPECT_EQ("", sounds.own) << declined;
        EXPECT_EQ("", sounds.system) << declined;
        EXPECT_FALSE(handset.ringing) << declined;
        EXPECT_FALSE(view.timers.count(CallLogic::kTimerRing)) << declined;
    }
}

TEST_F(CallLogicTest, ASecondInviteInEveryBusyStateIsRejectedWithoutDisturbingTheCall) {
    struct Case {
        const char* name;
        int state;
    };
    const Case cases[] = {{"dialing", PS_DIALING},
                          {"early media", PS_EARLY_MEDIA},
                          {"talking", PS_TALKING},
                          {"ringing", PS_RINGING},
                          {"busy", PS_BUSY}};
    int n = 0;
    for (const Case& c : cases) {
        if (c.state == PS_RINGING) {
            Incoming(kPeerSdp, kCaller, "first");
        } else {
            auto id = Dial();
            if (c.state == PS_EARLY_MEDIA || c.state == PS_TALKING) {
                stack.sessionProgress(id, 183, kPeerSdp);
            }
            if (c.state == PS_TALKING) {
                stack.sessionAnswered(id);
            }
            if (c.state == PS_BUSY) {
                stack.sessionFailed(id, 486);
            }
            Poll();
        }
        ASSERT_EQ(c.state, g_PhoneState) << c.name;
        int live = media.live;
        auto second = Incoming(kPeerSdp, "<sip:3003@10.0.0.1>", "second" + std::to_string(++n));
        EXPECT_EQ("reject 480", LastOp(second)) << c.name;
        EXPECT_EQ(c.state, g_PhoneState) << c.name;
        EXPECT_EQ(live, media.live) << c.name;
        call->HangUp(true);
        call->HangUp(true);
    }
    // A call from our own user name is refused even when idle.
    ASSERT_EQ(PS_IDLE, g_PhoneState);
    auto own = Incoming(kPeerSdp, "<sip:1001@10.0.0.1>", "own");
    EXPECT_EQ("reject 480", LastOp(own));
    EXPECT_EQ(PS_IDLE, g_PhoneState);
}

TEST_F(CallLogicTest, IncomingOffersWeCannotAnswerAreRefused) {
    struct Case {
        const char* name;
        std::string sdp;
        int code; // 0: rings
    };
    auto sdp = [](const std::string& connection, const std::string& media) {
        return "v=0\r\no=- 1 1 IN IP4 192.0.2.20\r\ns=-\r\n" + connection + "t=0 0\r\n" + media;
    };
    const std::string c = "c=IN IP4 192.0.2.20\r\n";
    const Case cases[] = {
        {"static PCMU without rtpmap", sdp(c, "m=audio 4000 RTP/AVP 0\r\n"), 0},
        {"medium's own c= line", sdp("", "m=audio 4000 RTP/AVP 8\r\nc=IN IP4 192.0.2.9\r\n"), 0},
        {"no SDP at all", "", 480},
        {"not an SDP", "hello\r\n", 488},
        {"video only", sdp(c, "m=video 4000 RTP/AVP 96\r\n"), 488},
        {"port 0", sdp(c, "m=audio 0 RTP/AVP 0\r\n"), 488},
        {"port out of range", sdp(c, "m=audio 70000 RTP/AVP 0\r\n"), 488},
        {"no connection address", sdp("", "m=audio 4000 RTP/AVP 0\r\n"), 488},
        {"a host name", sdp("c=IN IP4 peer.example\r\n", "m=audio 4000 RTP/AVP 0\r\n"), 488},
        {"only G.729", sdp(c, "m=audio 4000 RTP/AVP 18\r\n"), 488},
        {"PCMU at 16 kHz", sdp(c, "m=audio 4000 RTP/AVP 96\r\na=rtpmap:96 PCMU/16000\r\n"), 488},
    };
    int n = 0;
    for (const Case& k : cases) {
        auto id = Incoming(k.sdp, kCaller, "offer" + std::to_string(++n));
        if (k.code == 0) {
            EXPECT_EQ(PS_RINGING, g_PhoneState) << k.name;
            call->HangUp(false);
        } else {
            EXPECT_EQ("reject " + std::to_string(k.code), LastOp(id)) << k.name;
            EXPECT_EQ(PS_IDLE, g_PhoneState) << k.name;
            EXPECT_EQ("", sounds.system) << k.name;
        }
    }
    EXPECT_EQ(0, mediaMade);
}

TEST_F(CallLogicTest, TheEngineIsCalledInOrderAndEachFailureIsTraced) {
    plat::IniFile ini(plat::JoinPath(plat::ConfigDir(), "quorvix.ini"));
    ini.WriteString("vol", "spk", "250");
    ini.WriteString("vol", "mic", "-5");
    for (const char* op : {"SetReceiveCodec", "SetAddresses", "SetTransmitCodec", "StartRX",
                           "SetSpeakerVolume", "StartTX", "SetMicrophoneVolume"}) {
        media.results[op] = -10;
    }
    auto id = Dial();
    stack.sessionAnswered(id, kPeerSdp);
    Poll();
    EXPECT_EQ((std::vector<std::string>{
                  "SetReceiveCodec(2,20)", "SetAddresses(192.0.2.20,4000,8000)",
                  "SetTransmitCodec(2,40)", "StartRX(-1,100)", "SetSpeakerVolume(-1,100)",
                  "StartTX(-1)", "SetMicrophoneVolume(-1,0)"}),
              media.calls);
    for (const char* line :
         {"InitRtp: error en paso 1", "InitRtp: error en paso 2", "InitRtp: error en paso 3",
          "InitRtp: error en paso 6, error=-10(time)", "InitRtp: error en paso 7",
          "InitRtp: error en paso 4, retvalue=-10", "InitRtp: error en paso 5",
          "Usando compresion G711a", "ip servidor RTP:192.0.2.20", "puerto servidor RTP:4000"}) {
        EXPECT_EQ(1, trace.Count(line)) << line;
    }
    EXPECT_EQ(PS_TALKING, g_PhoneState); // the call is up, without working media
    call->HangUp(true);

    // No media object: traced, the call goes on.
    for (bool throws : {true, false}) {
        mediaThrows = throws;
        mediaNull = !throws;
        id = Dial();
        stack.sessionAnswered(id, kPeerSdp);
        Poll();
        EXPECT_EQ(PS_TALKING, g_PhoneState);
        call->HangUp(true);
    }
    EXPECT_EQ(1, trace.Count("InitRtp: exception en GetRTPInterface"));
    EXPECT_EQ(1, trace.Count("InitRtp: GetRTPInterface retorno NULL"));
}

TEST_F(CallLogicTest, FrameSizeSetsThePtimeAndTheTransmitFrame) {
    struct Case {
        int frameSize; // -1: missing
        const char* ptime;
        const char* transmit;
    };
    const Case cases[] = {{0, nullptr, "SetTransmitCodec(4,20)"},
                          {1, "a=ptime:40\r\n", "SetTransmitCodec(4,40)"},
                          {2, "a=ptime:80\r\n", "SetTransmitCodec(4,80)"},
                          {3, "a=ptime:40\r\n", "SetTransmitCodec(4,40)"},
                          {-1, "a=ptime:40\r\n", "SetTransmitCodec(4,40)"}};
    plat::Registry& registry = sandbox.Registry();
    for (const Case& c : cases) {
        plat::Registry::Key key;
        ASSERT_EQ(plat::kErrorSuccess, registry.CreateKey("Software\\Quorvex", &key));
        if (c.frameSize < 0) {
            registry.DeleteValue(key, "frame_size");
        } else {
            uint32_t value = static_cast<uint32_t>(c.frameSize);
            registry.SetValue(key, "frame_size", plat::kRegDword, &value, sizeof(value));
        }
        media.calls.clear();
        auto id = Dial();
        std::string offer = stack.invite(id)->sdp;
        EXPECT_EQ(c.ptime != nullptr, c.ptime && offer.find(c.ptime) != std::string::npos)
            << c.frameSize;
        if (!c.ptime) {
            EXPECT_EQ(std::string::npos, offer.find("ptime")) << c.frameSize;
        }
        stack.sessionAnswered(id, "v=0\r\nc=IN IP4 192.0.2.20\r\nm=audio 4000 RTP/AVP 0\r\n");
        Poll();
        EXPECT_EQ(1, Count(c.transmit)) << c.frameSize;
        call->HangUp(true);
    }
}

TEST_F(CallLogicTest, TheOfferCarriesOurAddressUserAndBothLawsAndASpacedNameStaysOneToken) {
    g_UserAor.uri().user("ana maria");
    sipua::SdpContents sdp;
    call->BuildSdpOffer(sdp);
    std::string text = sdp.encode();
    EXPECT_EQ(0u, text.find("v=0\r\no=ana_maria "));
    EXPECT_NE(std::string::npos, text.find(" IN IP4 192.0.2.10\r\ns=session\r\n"
                                           "c=IN IP4 192.0.2.10\r\nt=0 0\r\n"
                                           "m=audio 8000 RTP/AVP 0 8\r\na=rtpmap:0 PCMU/8000\r\n"
                                           "a=rtpmap:8 PCMA/8000\r\n"));
}

// The call's local RTP port: 8000 when free, else the next even port up to 8100 that is free
// with its odd neighbour, held from our SDP to the media start and let go at the call's end.
// With none free the SDP keeps 8000 and the call goes on without media.
TEST_F(CallLogicTest, TheLocalRtpPortIsTheFirstFreePairFrom8000To8100) {
    std::set<uint16_t> all;
    for (uint16_t port = 8000; port <= 8101; ++port) {
        all.insert(port);
    }
    const std::set<uint16_t> allButTheLast(all.begin(), all.find(8100));
    struct Case {
        const char* name;
        std::set<uint16_t> taken;
        bool incoming;
        bool refused;  // the far end refuses the call
        uint16_t port; // 0: none free
    };
    const Case cases[] = {
        {"8000 free", {}, false, false, 8000},
        {"8000 taken", {8000}, false, false, 8002},
        {"its neighbour taken", {8001}, true, false, 8002},
        {"a refused call lets go", {8001}, false, true, 8002},
        {"only the last pair free", allButTheLast, true, false, 8100},
        {"none free", all, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ports.taken = c.taken;
        trace.Clear();
        media.calls.clear();
        const int made = mediaMade;
        const FakeSipStack::SessionId id =
            c.incoming ? Incoming(kPeerSdp, kCaller, c.name) : Dial();
        const std::string port = std::to_string(c.port ? c.port : 8000);
        const std::multiset<uint16_t> held =
            c.port ? std::multiset<uint16_t>{c.port, uint16_t(c.port + 1)}
                   : std::multiset<uint16_t>{};
        EXPECT_EQ(held, *ports.bound) << "held from our SDP on";
        if (c.refused) {
            stack.sessionFailed(id, 486);
        } else if (c.incoming) {
            call->OnTalk();
        } else {
            stack.sessionAnswered(id, kPeerSdp);
        }
        Poll();
        // Our offer, or our answer.
        const std::string ours =
            c.incoming ? stack.sessionOpsOf(id).back().sdp : stack.invite(id)->sdp;
        EXPECT_NE(std::string::npos, ours.find("m=audio " + port + " RTP/AVP 0 8\r\n"));
        EXPECT_TRUE(ports.bound->empty()) << "handed over to the media, or let go";
        const bool started = c.port && !c.refused;
        EXPECT_EQ(started ? 1 : 0, Count("SetAddresses(192.0.2.20,4000," + port + ")"));
        EXPECT_EQ(started ? 1 : 0, mediaMade - made);
        EXPECT_EQ(started ? 1 : 0, trace.Count("puerto local RTP:" + port));
        const std::string chosen = "CMakeCall::BuildSdpOffer: puerto RTP 8000 ocupado, puerto "
                                   "local RTP=" +
                                   port + "(time)";
        EXPECT_EQ(c.port > 8000 ? 1 : 0, trace.Count(chosen));
        EXPECT_EQ(c.port ? 0 : 1, trace.CountPrefix("CMakeCall::BuildSdpOffer: ningun puerto"));
        EXPECT_EQ(c.port ? 0 : 1, trace.CountPrefix("InitRtp: sin puerto RTP libre"));
        call->HangUp(true);
        call->HangUp(true);
        EXPECT_TRUE(ports.bound->empty());
    }
}

// The four lights say that the far voice arrives without gaps: all off without media and until
// the call's first packet (while the engine gives the figure of a buffer not sized yet).
TEST_F(CallLogicTest, TheLightsStayOffWithoutMediaAndUntilTheCallsFirstPacket) {
    const float beforeFirst = 1.0f / 30.0f;
    const std::vector<bool> off{false, false, false, false}, four{true, true, true, true};
    struct Case {
        const char* name;
        bool mediaMissing;
        float quality;
        std::vector<bool> lights;
    };
    const Case cases[] = {
        {"no media object", true, 0.0f, off},
        {"before the first packet", false, beforeFirst, off},
        {"just above that figure", false, std::nextafter(beforeFirst, 1.0f), four},
        {"just below it", false, std::nextafter(beforeFirst, 0.0f), four},
        {"0.75", false, 0.75f, {true, true, false, false}},
        {"the fullest buffer", false, 1.0f, off},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mediaNull = c.mediaMissing;
        media.quality = c.quality;
        if (!c.mediaMissing) {
            view.lights = four; // the media start must put them right
        }
        stack.sessionAnswered(Dial(), kPeerSdp);
        Poll();
        EXPECT_EQ(c.lights, view.lights) << "at the media start";
        call->OnMediaLevel();
        call->UpdateQualityMeter(); // as at a skin rebuild
        EXPECT_EQ(c.lights, view.lights);
        call->HangUp(true);
    }
}

TEST_F(CallLogicTest, TheNotifierPostsOneMessagePerSignalAndStopsWithTheMedia) {
    auto id = Dial();
    stack.sessionAnswered(id, kPeerSdp);
    Poll();
    ASSERT_NE(nullptr, media.event);
    media.quality = 0.75f;
    media.event->Set();
    for (int i = 0; i < 200 && view.mediaLevels == 0; ++i) {
        gui.RunPending();
        if (view.mediaLevels == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_EQ(1, view.mediaLevels);
    call->OnMediaLevel();
    EXPECT_EQ((std::vector<bool>{true, true, false, false}), view.lights);
    // The far end ends the call: media and notifier stop, and a signal posts nothing.
    plat::AutoResetEvent* event = media.event;
    stack.sessionEndedByPeer(id);
    Poll();
    EXPECT_EQ((std::vector<bool>{false, false, false, false}), view.lights);
    event->Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gui.RunPending();
    EXPECT_EQ(1, view.mediaLevels);
}

TEST_F(CallLogicTest, TheTalkKeyNeedsANumberAndAStackFailureEndsAsBusy) {
    call->OnTalk(); // idle, empty number
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ(0u, stack.sessionOps().size());
    Type("5");
    call->OnBackspace(); // back to idle with an empty number
    call->OnTalk();
    EXPECT_EQ(0u, stack.sessionOps().size());

    auto first = Dial("42");
    stack.sessionFailed(first, 486);
    Poll();
    call->HangUp(true);
    call->OnTalk(); // the leftover number is dialled again
    EXPECT_EQ("sip:42@10.0.0.1", stack.invite(stack.lastStartedSession())->requestUri);
    call->HangUp(true);
    call->HangUp(true);

    stack.setSessionStartFailure(true);
    call->OnTalk();
    EXPECT_EQ(PS_BUSY, g_PhoneState);
    EXPECT_EQ("Ocupado.WAV", sounds.own);
}

TEST_F(CallLogicTest, PowerEventsByState) {
    struct Case {
        int state;
        intptr_t answer;
    };
    const Case cases[] = {{PS_LOGGED_OUT, 1},
                          {PS_REGISTERING, CallLogic::kBroadcastQueryDeny},
                          {PS_IDLE, 1},
                          {PS_ENTERING_NUMBER, 1},
                          {PS_TALKING, CallLogic::kBroadcastQueryDeny},
                          {PS_EARLY_MEDIA, CallLogic::kBroadcastQueryDeny},
                          {PS_BUSY, CallLogic::kBroadcastQueryDeny}};
    for (const Case& c : cases) {
        g_PhoneState = c.state;
        EXPECT_EQ(c.answer, call->OnPowerBroadcast(CallLogic::kPbtQuerySuspend)) << c.state;
    }
    g_PhoneState = PS_IDLE;
    Dial();
    EXPECT_EQ(1, call->OnPowerBroadcast(CallLogic::kPbtQuerySuspend)); // dialing: hung up
    EXPECT_EQ(PS_BUSY, g_PhoneState);
    EXPECT_EQ("", sounds.own);
    call->HangUp(true);
    auto ringing = Incoming();
    EXPECT_EQ(1, call->OnPowerBroadcast(CallLogic::kPbtQuerySuspend)); // ringing: hung up
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ("reject 480", LastOp(ringing));
    Dial();
    EXPECT_EQ(0, call->OnPowerBroadcast(CallLogic::kPbtSuspend));
    EXPECT_EQ(1, login.logouts);
    EXPECT_EQ("", sounds.own); // no busy tone through the sleep
    EXPECT_FALSE(call->OnPowerBroadcast(99).has_value());
}
