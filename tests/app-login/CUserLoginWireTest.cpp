#include <gtest/gtest.h>

#include <cstdlib>

#include "app/login/CUserLogin.h"
#include "app/phone/PhoneState.h"
#include "tests/app-login/FakeLoginView.h"
#include "tests/sip/KamailioProcess.h"
#include "tests/sip/ScriptedRegistrar.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/RunningUnderCi.h"

// The login form's SIP logic on the libre stack against peers on loopback: the program on
// 127.0.0.1:5060, the service ("registrar.quorvex.test") on 127.0.0.2.
class CUserLoginWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
        g_PhoneState = PS_LOGGED_OUT;
        settings.sipServerHost = "registrar.quorvex.test";
        settings.outboundProxyHost = "registrar.quorvex.test";
        settings.sipBindAddress = "127.0.0.1";
    }
    void TearDown() override {
        login.reset();
        unsetenv("QUORVEX_HOME");
    }
    CUserLogin& Login() {
        if (!login) {
            login = std::make_unique<CUserLogin>(view, settings, sipua::MakeLibreSipStack,
                                                 [](const std::string& host, std::string* dotted) {
                                                     if (host != "registrar.quorvex.test") {
                                                         return false;
                                                     }
                                                     *dotted = "127.0.0.2";
                                                     return true;
                                                 });
        }
        return *login;
    }
    bool Until(const std::function<bool()>& done, uint32_t ms) {
        return view.RunUntil(Login(), done, ms);
    }
    void SetUseOutbound(uint32_t value) {
        plat::Registry::Key key;
        sandbox.Registry().CreateKey("Software\\Quorvex", &key);
        sandbox.Registry().SetValue(key, "use_outbound", plat::kRegDword, &value, 4);
    }

    RegistrySandbox sandbox;
    TraceCapture trace;
    FakeLoginView view;
    DeploymentSettings settings;
    std::unique_ptr<CUserLogin> login;
};

TEST_F(CUserLoginWireTest, DigestLoginAcksEverySuccessUntilExit) {
    ScriptedRegistrar registrar({"127.0.0.2:5082"}, "normal", 2);
    ASSERT_TRUE(registrar.ok());
    Login().OnLoginCommand();
    ASSERT_TRUE(Until([&] { return view.callWindowsCreated == 1; }, 3000));
    auto registers = registrar.Requests("REGISTER");
    ASSERT_EQ(2u, registers.size());
    std::string auth = ScriptedRegistrar::Header(registers[1].text, "Authorization");
    EXPECT_NE(std::string::npos, auth.find("realm=\"registrar.quorvex.test\"")) << auth;
    EXPECT_NE(std::string::npos, auth.find("username=\"1001\"")) << auth;

    auto acks = registrar.WaitForRequests("ACK", 1);
    ASSERT_EQ(1u, acks.size());
    EXPECT_EQ("127.0.0.1:5060", acks[0].source);
    EXPECT_EQ("127.0.0.2:5082", acks[0].destination);
    const std::string& ack = acks[0].text;
    EXPECT_EQ(0u, ack.find("ACK sip:1001@127.0.0.2:5060 SIP/2.0\r\n"));
    std::string from = ScriptedRegistrar::Header(registers[1].text, "From");
    EXPECT_EQ(from, ScriptedRegistrar::Header(ack, "From"));
    EXPECT_EQ(0u, ScriptedRegistrar::Header(ack, "To").find("<sip:1001@127.0.0.2:5060>;tag=reg"));
    EXPECT_EQ(ScriptedRegistrar::Header(registers[1].text, "Call-ID"),
              ScriptedRegistrar::Header(ack, "Call-ID"));
    EXPECT_EQ("1 ACK", ScriptedRegistrar::Header(ack, "CSeq"));
    EXPECT_EQ("70", ScriptedRegistrar::Header(ack, "Max-Forwards"));
    EXPECT_EQ("<sip:1001@127.0.0.2:5060>", ScriptedRegistrar::Header(ack, "Contact"));
    EXPECT_EQ(0u, ScriptedRegistrar::Header(ack, "User-Agent").find("Quorvex "));
    EXPECT_EQ("127.0.0.1", Login().GetPublicHost());

    // Granted 2 s: one refresh and one more ACK, still one call window.
    ASSERT_TRUE(Until([&] { return registrar.Requests("ACK").size() >= 2; }, 4000));
    EXPECT_EQ(1, view.callWindowsCreated);

    Login().OnCancel();
    ASSERT_TRUE(Until([&] { return view.endDialogs == 1; }, 3000));
    auto last = registrar.Requests("REGISTER").back();
    EXPECT_EQ("0", ScriptedRegistrar::Header(last.text, "Expires"));
    EXPECT_GE(registrar.WaitForRequests("ACK", 3).size(), 3u);
}

TEST_F(CUserLoginWireTest, WithoutTheOutboundProxyTheAckGoesToPort5060) {
    SetUseOutbound(0);
    ScriptedRegistrar registrar({"127.0.0.2:5060"});
    ASSERT_TRUE(registrar.ok());
    Login().OnLoginCommand();
    ASSERT_TRUE(Until([&] { return view.callWindowsCreated == 1; }, 3000));
    auto acks = registrar.WaitForRequests("ACK", 1);
    ASSERT_EQ(1u, acks.size());
    EXPECT_EQ("127.0.0.2:5060", acks[0].destination);
    EXPECT_EQ("127.0.0.1:5060", acks[0].source);
}

class CUserLoginKamailioTest : public CUserLoginWireTest {
protected:
    void SetUp() override {
        CUserLoginWireTest::SetUp();
        if (!kamailio.ok()) {
            ASSERT_FALSE(RunningUnderCi()) << "kamailio could not start on 127.0.0.2";
            GTEST_SKIP() << "kamailio could not start on 127.0.0.2";
        }
    }
    KamailioProcess kamailio;
};

TEST_F(CUserLoginKamailioTest, RegisterRefreshAndUnregisterAtExit) {
    Login().OnLoginCommand();
    ASSERT_TRUE(Until([&] { return view.callWindowsCreated == 1; }, 3000)) << kamailio.Log();
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    ASSERT_TRUE(Until([&] { return kamailio.Count("ACK-SEEN") >= 2; }, 4000)); // refresh
    Login().OnCancel();
    ASSERT_TRUE(Until([&] { return view.endDialogs == 1; }, 3000));
    EXPECT_TRUE(Until([&] { return kamailio.Count("ACK-SEEN") >= 3; }, 1000));
    EXPECT_TRUE(view.messages.size() == 1); // only the exit question
}

TEST_F(CUserLoginKamailioTest, AWrongPasswordEndsInMessage7) {
    view.password = "9999";
    Login().OnLoginCommand();
    ASSERT_TRUE(Until([&] { return !view.messages.empty(); }, 3000));
    EXPECT_EQ(std::vector<unsigned>{7}, view.messages);
    EXPECT_EQ(nullptr, Login().GetSipStack());
    EXPECT_EQ(PS_LOGGED_OUT, g_PhoneState);
}

TEST_F(CUserLoginKamailioTest, LogInLogOutAndLogInAgainOnTheSamePort) {
    uint32_t start = plat::TimeMs();
    Login().OnLoginCommand();
    ASSERT_TRUE(Until([&] { return view.callWindowsCreated == 1; }, 2000));
    Login().Logout();
    ASSERT_TRUE(Until([&] { return Login().GetSipStack() == nullptr; }, 1000));
    Login().OnLoginCommand();
    ASSERT_NE(nullptr, Login().GetSipStack()); // port 5060 was free again
    ASSERT_TRUE(Until([&] { return view.callWindowsCreated == 2; }, 2000));
    EXPECT_LT(plat::TimeMs() - start, 2000u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(CUserLoginKamailioTest, AStoppedRegistrarAsksForARetryIn30s) {
    Login().OnLoginCommand();
    ASSERT_TRUE(Until([&] { return view.callWindowsCreated == 1; }, 3000));
    kamailio.Stop();
    // The next refresh (about 1 s) times out after libre's 32 s.
    ASSERT_TRUE(Until([&] { return trace.Has("CUserLogin::onRequestRetry"); }, 40000));
    EXPECT_NE(nullptr, Login().GetDum());
    EXPECT_EQ(1, view.callWindowsCreated);
}
