#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/call/CallLogic.h"
#include "app/login/CUserLogin.h"
#include "app/phone/PhoneState.h"
#include "app/trace/TraceFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "sip/DialogUsageManager.h"
#include "sip/testing/FakeSipStack.h"
#include "tests/app-call/CallFakes.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

// The call logic over a fake stack and fakes of everything it drives; the trace log records.

inline const std::string kPeerSdp =
    "v=0\r\no=- 1 1 IN IP4 192.0.2.20\r\ns=-\r\nc=IN IP4 192.0.2.20\r\n"
    "t=0 0\r\nm=audio 4000 RTP/AVP 8 0\r\n";
inline const std::string kMovedSdp =
    "v=0\r\no=- 1 2 IN IP4 192.0.2.21\r\ns=-\r\nc=IN IP4 192.0.2.21\r\n"
    "t=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";
inline const char kCaller[] = "\"Ana\" <sip:2002@10.0.0.1>";

// User 1001 on a fake SIP stack at 192.0.2.10: the stack, its dialog usage manager and the
// login link over them, with a home of its own and the trace log recorded while it is open.
class FakeSipUser {
protected:
    void Open() {
        setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
        previousTrace = g_pTrace.exchange(&trace);
        g_UserAor = sipua::NameAddr(sipua::Uri("1001", "10.0.0.1", 5060));
        stack.addTransport(sipua::TransportType::UDP, 5060, sipua::IpVersion::V4, "192.0.2.10");
        auto profile = std::make_shared<sipua::MasterProfile>();
        profile->setDefaultFrom(g_UserAor);
        dum.setMasterProfile(profile);
        login.dum = &dum;
        g_PhoneState = PS_IDLE;
    }
    void Close() {
        g_pTrace.store(previousTrace);
        unsetenv("QUORVEX_HOME");
    }
    // Delivers what the fake far end did and lets the dialog usage manager act on it.
    void Poll() {
        for (int i = 0; i < 4; ++i) {
            stack.process(0);
            while (dum.process()) {
            }
        }
    }
    sipua::FakeSipStack::SessionId Incoming(const std::string& sdp = kPeerSdp,
                                            const std::string& from = kCaller,
                                            const std::string& callId = "in-1") {
        auto id = stack.incomingInvite(
            sipua::FakeSipStack::makeInvite(from, "sip:1001@192.0.2.10", sdp, callId));
        Poll();
        return id;
    }

    RegistrySandbox sandbox;
    RecordingTraceLog trace;
    iTraceFile* previousTrace = nullptr;
    plat::ManualGuiDispatcher gui;
    sipua::FakeSipStack stack;
    sipua::DialogUsageManager dum{stack};
    FakeLoginLink login;
};

class CallLogicTest : public ::testing::Test, protected FakeSipUser {
protected:
    void SetUp() override {
        Open();
        call = std::make_unique<CallLogic>(CallLogic::Services{
            view, sounds, handset, history, login,
            [this](iTraceFile*) -> RTPInterface* {
                ++mediaMade;
                if (mediaThrows) {
                    throw std::runtime_error("no media");
                }
                return mediaNull ? nullptr : new FakeMedia(media);
            },
            [] { return CallLogic::AudioDevices{}; }, "/opt/quorvex", ports.Factory()});
    }
    void TearDown() override {
        call.reset();
        Close();
    }
    void Type(const std::string& keys) {
        for (char c : keys) {
            call->OnChar(c);
            call->OnKeyUp(0);
        }
    }
    // Types the number and presses talk: the INVITE's session.
    sipua::FakeSipStack::SessionId Dial(const std::string& number = "123") {
        Type(number);
        call->OnTalk();
        return stack.lastStartedSession();
    }
    std::string LastOp(sipua::FakeSipStack::SessionId id) {
        auto ops = stack.sessionOpsOf(id);
        return ops.empty() ? "" : ops.back().op + " " + std::to_string(ops.back().code);
    }
    int Count(const std::string& call) {
        int n = 0;
        for (const auto& c : media.calls) {
            n += c.rfind(call, 0) == 0;
        }
        return n;
    }

    FakeCallView view;
    FakeCallSounds sounds;
    FakeCallHandset handset;
    FakeHistoryRecorder history;
    FakeMediaLog media;
    FakeRtpPorts ports;
    int mediaMade = 0;
    bool mediaThrows = false;
    bool mediaNull = false;
    std::unique_ptr<CallLogic> call;
};
