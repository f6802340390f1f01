#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "app/login/CUserLogin.h"
#include "app/phone/PhoneState.h"
#include "app/phone/RememberedPassword.h"
#include "platform/core/Paths.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/store/IniFile.h"
#include "sip/testing/FakeSipStack.h"
#include "tests/app-login/FakeLoginView.h"
#include "tests/support/RegistrySandbox.h"

namespace {

TEST(RememberedPassword, OnlyPasswordsThatFitComeBackUnchanged) {
    struct Case {
        const char* password;
        bool kept;
        const char* stored; // checked when not null
    };
    const Case cases[] = {
        {"", true, "1"},
        {"234", true, "1o9"},           // 1234 = 1*625 + 24*25 + 9
        {"0042", true, nullptr},        // leading zeros survive: 10042
        {"000000000", true, nullptr},   // 9 digits, all zero
        {"999999999", true, "84joooo"}, // the largest: 1999999999
        {"12345678", true, nullptr},
        {"0000000000", false, nullptr}, // 10 digits wrap 32 bits
        {"1234567890", false, nullptr},
        {"4294967295", false, nullptr},
        {"12ab", false, nullptr}, // letters: only "12" is read
        {"a1", false, nullptr},
        {" 12", false, nullptr}, // a blank or a sign stops the number
        {"-5", false, nullptr},
        {"+5", false, nullptr},
    };
    for (const Case& c : cases) {
        const std::string stored = EncodeRememberedPassword(c.password);
        EXPECT_EQ(c.kept, DecodeRememberedPassword(stored) == c.password) << c.password;
        if (c.stored) {
            EXPECT_EQ(c.stored, stored) << c.password;
        }
    }
}

// The first successful sign-in writes the remembered password only when it comes back.
class RememberedPasswordSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox_.Dir().c_str(), 1);
        g_PhoneState = PS_LOGGED_OUT;
        settings_.sipServerHost = "10.0.0.1";
        settings_.outboundProxyHost = "10.0.0.2";
        settings_.sipBindAddress = "127.0.0.1";
        path_ = plat::JoinPath(plat::ConfigDir(), "quorvex.ini");
    }
    void TearDown() override { unsetenv("QUORVEX_HOME"); }

    void SignIn(const std::string& password) {
        view_.password = password;
        sipua::FakeSipStack* stack = nullptr;
        CUserLogin login(view_, settings_, [&stack] {
            auto s = std::make_unique<sipua::FakeSipStack>();
            stack = s.get();
            return s;
        });
        login.OnLoginCommand();
        ASSERT_NE(nullptr, stack);
        stack->respond(stack->last("REGISTER")->id, 200, "OK", "", true, 0);
        view_.Run(login, 400, clock_);
        ASSERT_EQ(1, view_.callWindowsCreated);
    }
    std::string LastPass() { return plat::IniFile(path_).GetString("General", "LastPass", "-"); }
    unsigned Mode() {
        struct stat info {};
        stat(path_.c_str(), &info);
        return info.st_mode & 0777;
    }

    plat::FakeClock clock_{5000};
    plat::ScopedClock scoped_{clock_};
    RegistrySandbox sandbox_;
    TraceCapture trace_;
    FakeLoginView view_;
    DeploymentSettings settings_;
    std::string path_;
};

TEST_F(RememberedPasswordSaveTest, OnlyAPasswordThatComesBackIsKeptInAnOwnerOnlyFile) {
    ASSERT_TRUE(plat::IniFile(path_).WriteString("General", "remember_last_password", "1"));
    ASSERT_EQ(0, chmod(path_.c_str(), 0644));
    SignIn("0042");
    EXPECT_EQ("0042", DecodeRememberedPassword(LastPass()));
    EXPECT_EQ(0600u, Mode());

    // The next sign-in with a password that would come back changed removes the old one.
    view_.callWindowsCreated = 0;
    SignIn("1234567890");
    EXPECT_EQ("-", LastPass());
    EXPECT_TRUE(trace_.Has("la clave no se puede recordar"));
}

} // namespace
