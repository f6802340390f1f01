#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "sip/DialogUsageManager.h"
#include "sip/SipStack.h"

// The program's SIP side on the libre stack, built as the login form builds it: a manager on
// 127.0.0.1:5060 for 1001@127.0.0.2 that answers challenges, sending through the proxy on
// 127.0.0.2:5082 unless told otherwise.
class LibreStackFixture : public ::testing::Test {
protected:
    void Build(sipua::ClientRegistrationHandler* handler, const std::string& userAgent,
               bool proxy = true) {
        using namespace sipua;
        stack = MakeLibreSipStack();
        dum = std::make_unique<DialogUsageManager>(*stack);
        dum->addTransport(TransportType::UDP, 5060, IpVersion::V4, "127.0.0.1");
        profile = std::make_shared<MasterProfile>();
        profile->setUserAgent(userAgent);
        if (proxy) {
            profile->setOutboundProxy(Uri("", "127.0.0.2", 5082));
        }
        profile->setDefaultFrom(aor);
        dum->setMasterProfile(profile);
        dum->setClientRegistrationHandler(handler);
        dum->setClientAuthManager(std::make_unique<ClientAuthManager>());
    }
    // Polls as the login form does, waiting up to `stepMs` for the network each time, until
    // `done` holds or `ms` pass; false on time-out.
    bool PollUntil(const std::function<bool()>& done, int ms, int stepMs = 100) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            stack->process(stepMs);
            while (dum && dum->process()) {
            }
        }
        return true;
    }
    void TearDown() override {
        dum.reset();
        stack.reset();
    }

    sipua::NameAddr aor{sipua::Uri("1001", "127.0.0.2", 5060)};
    std::unique_ptr<sipua::SipStack> stack;
    std::unique_ptr<sipua::DialogUsageManager> dum;
    std::shared_ptr<sipua::MasterProfile> profile;
};
