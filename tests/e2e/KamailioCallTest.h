// A test of calls through kamailio on 127.0.0.2, with the program's side in a home of its
// own. When kamailio does not start the test fails under CI and is skipped elsewhere;
// a derived SetUp returns then (`Ready()` is false).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tests/e2e/LoopbackPhone.h"
#include "tests/sip/KamailioProcess.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/RunningUnderCi.h"

class KamailioCallTest : public ::testing::Test, protected LoopbackPhone {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
        g_PhoneState = PS_LOGGED_OUT;
        kamailio = std::make_unique<KamailioProcess>();
        if (!kamailio->ok()) {
            if (RunningUnderCi()) {
                FAIL() << "kamailio did not start";
            }
            GTEST_SKIP() << "kamailio is not available";
        }
    }
    void TearDown() override {
        SignOut();
        kamailio.reset();
        unsetenv("QUORVEX_HOME");
    }
    bool Ready() const { return !IsSkipped() && !HasFatalFailure(); }

    RegistrySandbox sandbox;
    std::unique_ptr<KamailioProcess> kamailio;
};
