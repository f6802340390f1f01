// The program's side of a call on loopback: the login on the libre stack, bound to
// 127.0.0.1, registering as 1001 with kamailio (registrar.quorvex.test resolves to
// 127.0.0.2), and the call logic with fake view, sounds, handset and history. Used from the
// test's thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/call/CallLogic.h"
#include "app/login/CUserLogin.h"
#include "app/phone/PhoneState.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "tests/app-call/CallFakes.h"
#include "tests/app-login/FakeLoginView.h"

class LoopbackPhone {
public:
    // Signs in and, once registered, opens the call logic as the first success does; false
    // when the registration does not come within 5 s.
    bool SignIn(const std::string& programDir, CallLogic::MediaFactory media = GetRTPInterface) {
        settings.sipServerHost = "registrar.quorvex.test";
        settings.outboundProxyHost = "registrar.quorvex.test";
        settings.sipBindAddress = "127.0.0.1";
        login = std::make_unique<CUserLogin>(view, settings, sipua::MakeLibreSipStack,
                                             [](const std::string&, std::string* dotted) {
                                                 *dotted = "127.0.0.2";
                                                 return true;
                                             });
        login->OnLoginCommand();
        if (!Until([] { return g_PhoneState == PS_IDLE; }, 5000)) {
            return false;
        }
        call = std::make_unique<CallLogic>(
            CallLogic::Services{callView, sounds, handset, history, *login, std::move(media),
                                [] { return CallLogic::AudioDevices{}; }, programDir, nullptr});
        return true;
    }
    // Runs the login's timers and the GUI thread's work until `done` or `ms` have passed.
    bool Until(const std::function<bool()>& done, uint32_t ms) {
        return view.RunUntil(
            *login,
            [&] {
                gui.RunPending();
                return done();
            },
            ms);
    }
    void Wait(uint32_t ms) {
        Until([] { return false; }, ms);
    }
    void SignOut() {
        call.reset();
        login.reset();
    }

    plat::ManualGuiDispatcher gui;
    FakeLoginView view;
    DeploymentSettings settings;
    std::unique_ptr<CUserLogin> login;
    FakeCallView callView;
    FakeCallSounds sounds;
    FakeCallHandset handset;
    FakeHistoryRecorder history;
    std::unique_ptr<CallLogic> call;
};
