#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "app/login/CUserLogin.h"
#include "app/phone/PhoneState.h"
#include "app/phone/RememberedPassword.h"
#include "platform/core/Clock.h"
#include "platform/core/Paths.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/store/IniFile.h"
#include "sip/testing/FakeSipStack.h"
#include "tests/app-login/FakeLoginView.h"
#include "tests/support/RegistrySandbox.h"

using sipua::FakeSipStack;

namespace {

class CUserLoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
        g_PhoneState = PS_LOGGED_OUT;
        settings.sipServerHost = "sip.quorvex.test";
        settings.outboundProxyHost = "proxy.quorvex.test";
        settings.sipBindAddress = "127.0.0.1";
        names["sip.quorvex.test"] = "10.0.0.1";
        names["proxy.quorvex.test"] = "10.0.0.2";
    }
    void TearDown() override {
        login.reset();
        unsetenv("QUORVEX_HOME");
    }

    CUserLogin& Login() {
        if (!login) {
            login = std::make_unique<CUserLogin>(
                view, settings,
                [this] {
                    ++stacksMade;
                    auto s = std::make_unique<FakeSipStack>();
                    s->setTransportFailure(failTransport);
                    stack = s.get();
                    return s;
                },
                [this](const std::string& host, std::string* dotted) {
                    auto it = names.find(host);
                    if (it == names.end()) {
                        return false;
                    }
                    *dotted = it->second;
                    return true;
                });
        }
        return *login;
    }
    plat::IniFile Quorvix() {
        return plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvix.ini"));
    }
    plat::IniFile Quorvex() {
        return plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvex.ini"));
    }
    void SetUseOutbound(uint32_t value) {
        plat::Registry::Key key;
        ASSERT_EQ(plat::kErrorSuccess, sandbox.Registry().CreateKey("Software\\Quorvex", &key));
        sandbox.Registry().SetValue(key, "use_outbound", plat::kRegDword, &value, 4);
    }
    sipua::SipStack::RequestId LastRegister() { return stack->last("REGISTER")->id; }
    std::string RegisterHeader(const std::string& name) {
        return FakeSipStack::headerOf(stack->last("REGISTER")->request, name);
    }
    // Logs in and answers the REGISTER with `code`; runs the timers for `ms`.
    void LogInAnswered(int code, const std::string& extra = "", int rport = 0) {
        Login().OnLoginCommand();
        ASSERT_NE(nullptr, stack);
        stack->respond(LastRegister(), code, code == 200 ? "OK" : "Forbidden", extra, true, rport);
        view.Run(Login(), 400, clock);
    }

    plat::FakeClock clock{5000};
    plat::ScopedClock scoped{clock};
    RegistrySandbox sandbox;
    TraceCapture trace;
    FakeLoginView view;
    DeploymentSettings settings;
    std::map<std::string, std::string> names;
    bool failTransport = false;
    int stacksMade = 0;
    FakeSipStack* stack = nullptr;
    std::unique_ptr<CUserLogin> login;
};

} // namespace

TEST_F(CUserLoginTest, EmptyUserNameShowsMessage10AndBuildsNothing) {
    view.user = "";
    Login().OnLoginCommand();
    EXPECT_EQ(std::vector<unsigned>{10}, view.messages);
    EXPECT_EQ(0, stacksMade);
    EXPECT_EQ(PS_LOGGED_OUT, g_PhoneState);
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerSipPoll));
}

TEST_F(CUserLoginTest, LogInRegistersAndASecondLogInDoesNothing) {
    view.password = "";
    Login().OnLoginCommand();
    EXPECT_EQ(PS_REGISTERING, g_PhoneState);
    EXPECT_EQ(std::vector<bool>{false}, view.controlsEnabled);
    ASSERT_TRUE(view.HasTimer(CUserLogin::kTimerSipPoll));
    EXPECT_EQ(300u, view.timers[CUserLogin::kTimerSipPoll].period);
    EXPECT_EQ("127.0.0.1", stack->bindAddress());
    EXPECT_EQ(5060, stack->boundPort());
    EXPECT_EQ("<sip:1001@10.0.0.1:5060>", RegisterHeader("To"));
    EXPECT_EQ("30", RegisterHeader("Expires"));
    EXPECT_EQ(0u, RegisterHeader("User-Agent").find("Quorvex "));
    EXPECT_EQ("10.0.0.1", Login().GetSipServerAddress());
    EXPECT_EQ("10.0.0.1", Quorvix().GetString("general", "LastSipServer", ""));

    Login().OnLoginCommand();
    EXPECT_EQ(1, stacksMade);
    EXPECT_EQ(1u, stack->sentWithMethod("REGISTER").size());

    // The digest realm is the server's host name, not its address; the password may be empty.
    stack->respond(LastRegister(), 401, "Unauthorized",
                   "WWW-Authenticate: Digest realm=\"sip.quorvex.test\", nonce=\"x\"\r\n");
    view.Run(Login(), 400, clock);
    const auto* second = stack->last("REGISTER");
    ASSERT_EQ(1u, second->credentials.size());
    EXPECT_EQ("sip.quorvex.test", second->credentials[0].realm);
    EXPECT_EQ("1001", second->credentials[0].user);
    EXPECT_EQ("", second->credentials[0].password);
}

TEST_F(CUserLoginTest, FirstSuccessOpensOneCallWindowAndRefreshesOpenNoMore) {
    plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvex.ini"))
        .WriteString("General", "remember_last_password", "1");
    LogInAnswered(200, "Contact: <sip:1001@127.0.0.1:5060>;expires=30\r\n");
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ(1, view.callWindowsCreated);
    ASSERT_NE(nullptr, Login().GetMakeCall());
    EXPECT_FALSE(view.formVisible);
    EXPECT_TRUE(view.window->visible);
    // Centre on the form's centre: (100+401)/2 - 301/2 = 250 - 150, (100+301)/2 - 201/2.
    ASSERT_EQ(1u, view.window->moves.size());
    EXPECT_EQ(100, view.window->moves[0].first);
    EXPECT_EQ(100, view.window->moves[0].second);
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerCaret));
    EXPECT_EQ("1001", Quorvex().GetString("General", "LastUser", ""));
    EXPECT_EQ(EncodeRememberedPassword("4321"), Quorvex().GetString("General", "LastPass", ""));
    EXPECT_EQ(1u, stack->sentWithMethod("ACK").size());

    view.Run(Login(), 25500, clock); // refresh at 25 s
    ASSERT_EQ(2u, stack->sentWithMethod("REGISTER").size());
    stack->respond(LastRegister(), 200, "OK");
    view.Run(Login(), 400, clock);
    EXPECT_EQ(2u, stack->sentWithMethod("ACK").size());
    EXPECT_EQ(1, view.callWindowsCreated);
}

TEST_F(CUserLoginTest, RememberPasswordOffLeavesLastPassAlone) {
    Quorvex().WriteString("General", "remember_last_password", "0");
    LogInAnswered(200);
    EXPECT_EQ("1001", Quorvex().GetString("General", "LastUser", ""));
    EXPECT_EQ("none", Quorvex().GetString("General", "LastPass", "none"));
}

TEST_F(CUserLoginTest, RejectedLoginShutsDownAndShowsMessage7) {
    LogInAnswered(403);
    EXPECT_EQ((std::vector<bool>{false, true}), view.controlsEnabled);
    EXPECT_EQ(1, view.foregrounds);
    EXPECT_EQ(0, view.callWindowsCreated);
    // onFailure removes the bindings first; the shutdown waits for that removal.
    ASSERT_EQ(2u, stack->sentWithMethod("REGISTER").size());
    EXPECT_EQ("0", sipua::FakeSipStack::headerOf(stack->last("REGISTER")->request, "Expires"));
    stack->respond(LastRegister(), 200, "OK");
    view.Run(Login(), 400, clock); // shutdown reported, timer 1001 deletes
    EXPECT_EQ(nullptr, Login().GetDum());
    EXPECT_EQ(nullptr, Login().GetSipStack());
    EXPECT_EQ(std::vector<unsigned>{7}, view.messages);
    EXPECT_EQ(PS_LOGGED_OUT, g_PhoneState);
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerSipPoll));
    // Usable again.
    stack = nullptr;
    Login().OnLoginCommand();
    EXPECT_EQ(2, stacksMade);
}

TEST_F(CUserLoginTest, FailureWhileTheCallWindowExistsKeepsTheStackAndRetriesIn30s) {
    LogInAnswered(200, "Contact: <sip:1001@127.0.0.1:5060>;expires=30\r\n");
    view.Run(Login(), 25500, clock);
    stack->respond(LastRegister(), 403, "Forbidden");
    view.Run(Login(), 400, clock);
    EXPECT_NE(nullptr, Login().GetDum());
    EXPECT_NE(nullptr, Login().GetMakeCall());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(trace.Has("CUserLogin::EndLoginAttempt: registro fallido"));
    ASSERT_TRUE(view.HasTimer(CUserLogin::kTimerRetryRegistration));
    size_t registers = stack->sentWithMethod("REGISTER").size();
    view.Run(Login(), 29000, clock);
    EXPECT_EQ(registers, stack->sentWithMethod("REGISTER").size());
    view.Run(Login(), 1200, clock);
    EXPECT_EQ(registers + 1, stack->sentWithMethod("REGISTER").size());
    stack->respond(LastRegister(), 200, "OK");
    view.Run(Login(), 400, clock);
    EXPECT_EQ(1, view.callWindowsCreated);
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerRetryRegistration));
}

TEST_F(CUserLoginTest, TimeoutAsksForA30sRetry) {
    Login().OnLoginCommand();
    stack->timeout(LastRegister());
    view.Run(Login(), 400, clock);
    EXPECT_TRUE(trace.Has("CUserLogin::onRequestRetry"));
    view.Run(Login(), 29000, clock);
    EXPECT_EQ(1u, stack->sentWithMethod("REGISTER").size());
    view.Run(Login(), 1500, clock);
    EXPECT_EQ(2u, stack->sentWithMethod("REGISTER").size());
}

TEST_F(CUserLoginTest, PortFailureShowsMessage9AndLeavesNothingBuilt) {
    failTransport = true;
    Login().OnLoginCommand();
    EXPECT_EQ(std::vector<unsigned>{9}, view.messages);
    EXPECT_EQ(nullptr, Login().GetDum());
    EXPECT_EQ(nullptr, Login().GetSipStack());
    EXPECT_EQ(PS_LOGGED_OUT, g_PhoneState);
}

TEST_F(CUserLoginTest, OutboundProxyFromNameFromCacheOrKeptAsName) {
    Login().OnLoginCommand();
    const auto& route = stack->last("REGISTER")->request.route;
    ASSERT_TRUE(route.has_value());
    EXPECT_EQ("sip:10.0.0.2:5082", route->toString());
    EXPECT_EQ("10.0.0.2", Quorvix().GetString("general", "LastOutbound", ""));
    login.reset();

    // Unresolvable: the cached address.
    names.clear();
    Quorvix().WriteString("general", "LastOutbound", "10.9.9.9");
    Quorvix().WriteString("general", "LastSipServer", "10.8.8.8");
    Login().OnLoginCommand();
    EXPECT_EQ("sip:10.9.9.9:5082", stack->last("REGISTER")->request.route->toString());
    EXPECT_EQ("10.8.8.8", Login().GetSipServerAddress());
    login.reset();

    // Unresolvable and no usable cache: the names themselves.
    Quorvix().WriteString("general", "LastOutbound", "*");
    Quorvix().WriteString("general", "LastSipServer", "not-an-address");
    Login().OnLoginCommand();
    EXPECT_EQ("sip:proxy.quorvex.test:5082", stack->last("REGISTER")->request.route->toString());
    EXPECT_EQ("sip.quorvex.test", Login().GetSipServerAddress());
}

TEST_F(CUserLoginTest, UseOutboundZeroSendsStraightToTheServer) {
    SetUseOutbound(0);
    Login().OnLoginCommand();
    EXPECT_FALSE(stack->last("REGISTER")->request.route.has_value());
    EXPECT_EQ("sip:10.0.0.1:5060", stack->last("REGISTER")->request.requestUri);
    login.reset();

    // Missing: the proxy is used (and a value of 0 earlier does not stick to the profile).
    plat::Registry::Key key;
    sandbox.Registry().CreateKey("Software\\Quorvex", &key);
    sandbox.Registry().DeleteValue(key, "use_outbound");
    Login().OnLoginCommand();
    EXPECT_TRUE(stack->last("REGISTER")->request.route.has_value());
}

TEST_F(CUserLoginTest, PublicHostIsOurOwnContactWhenItsPortIsRportElseTheViaSentBy) {
    const struct {
        const char* contact;
        int rport;
        const char* host;
    } cases[] = {
        // Our own Contact (same user, port == rport), not the first one.
        {"Contact: <sip:2002@198.51.100.1:40000>, <sip:1001@203.0.113.5:40000>\r\n", 40000,
         "203.0.113.5"},
        {"Contact: <sip:1001@203.0.113.5:40001>\r\n", 40000, "127.0.0.1"}, // port is not rport
        {"Contact: <sip:1001@203.0.113.5:39999>\r\n", 40000, "127.0.0.1"},
        // A folded Contact line puts a line break into our own binding's host.
        {"Contact: <sip:1001@evil\r\n x:5060>\r\n", 5060, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contact);
        stack = nullptr;
        LogInAnswered(200, c.contact, c.rport);
        EXPECT_EQ(c.host, Login().GetPublicHost());
        login.reset();
    }

    // A sent-by with a quote or a line break: the transport's own address.
    for (const std::string sentBy : {"ev\"il:5060", "[::1\r\n x]:5060"}) {
        stack = nullptr;
        Login().OnLoginCommand();
        const auto& reg = stack->last("REGISTER")->request;
        stack->respondRaw(LastRegister(),
                          "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP " + sentBy +
                              ";branch=z9hG4bK1\r\nTo: " + FakeSipStack::headerOf(reg, "To") +
                              ";tag=t\r\nFrom: " + FakeSipStack::headerOf(reg, "From") +
                              "\r\nCall-ID: " + FakeSipStack::headerOf(reg, "Call-ID") +
                              "\r\nCSeq: 1 REGISTER\r\nContent-Length: 0\r\n\r\n");
        view.Run(Login(), 400, clock);
        ASSERT_NE(nullptr, Login().GetMakeCall()) << sentBy;
        EXPECT_EQ("127.0.0.1", Login().GetPublicHost()) << sentBy;
        login.reset();
    }
}

TEST_F(CUserLoginTest, SuccessWithoutTagsIsStillASuccess) {
    Login().OnLoginCommand();
    stack->respond(LastRegister(), 200, "OK", "", false, 0, false);
    view.Run(Login(), 400, clock);
    EXPECT_EQ(1, view.callWindowsCreated);
    EXPECT_EQ(1u, stack->sentWithMethod("ACK").size());
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(CUserLoginTest, ExitWhileLoggedOutSendsNothing) {
    Login().OnCancel();
    EXPECT_EQ(std::vector<unsigned>{3}, view.messages);
    EXPECT_EQ(LoginView::kMbYesNo | LoginView::kMbIconQuestion, view.messageFlags[0]);
    EXPECT_EQ(1, view.endDialogs);
    EXPECT_EQ(0, stacksMade);
}

TEST_F(CUserLoginTest, ExitAnsweredNoChangesNothing) {
    LogInAnswered(200);
    view.exitAnswer = LoginView::kIdNo;
    Login().OnCancel();
    EXPECT_EQ((std::vector<bool>{false, true}), view.handset);
    EXPECT_EQ(LoginView::Owner::CallWindow, view.messageOwners.back());
    EXPECT_EQ(0, view.endDialogs);
    EXPECT_FALSE(Login().IsExiting());
}

TEST_F(CUserLoginTest, ExitWhileRegisteredRemovesTheBindingsThenEnds) {
    LogInAnswered(200);
    Login().OnCancel();
    EXPECT_TRUE(Login().IsExiting());
    EXPECT_EQ(std::vector<bool>{true}, view.window->hangUps);
    EXPECT_FALSE(view.window->visible);
    EXPECT_TRUE(view.HasTimer(CUserLogin::kTimerExit));
    EXPECT_EQ("0", RegisterHeader("Expires"));
    stack->respond(LastRegister(), 200, "OK");
    Login().OnTimer(CUserLogin::kTimerSipPoll); // one poll: the 200 and its ACK
    EXPECT_EQ(2u, stack->sentWithMethod("ACK").size());
    view.Run(Login(), 400, clock); // the stack is deleted from here on
    EXPECT_EQ(1, view.endDialogs); // timer 1001 with the exiting flag
    EXPECT_EQ(nullptr, Login().GetDum());
    EXPECT_TRUE(view.messages.size() == 1); // only the question
}

TEST_F(CUserLoginTest, ExitEndsAfter6sWhenTheShutdownHangs) {
    LogInAnswered(200);
    Login().OnCancel();
    // The removal is never answered; the manager gives up after 5 s and timer 1001 ends it.
    view.Run(Login(), 5600, clock);
    EXPECT_EQ(1, view.endDialogs);
}

TEST_F(CUserLoginTest, LogoutIsBoundedAndTheDeleteTimerSkipsTheMessage) {
    LogInAnswered(200);
    uint32_t before = clock.NowMs();
    Login().Logout(); // the removal is never answered
    uint32_t spent = clock.NowMs() - before;
    EXPECT_GE(spent, 1000u);
    EXPECT_LE(spent, 2000u);
    EXPECT_EQ(PS_LOGGED_OUT, g_PhoneState);
    EXPECT_EQ(nullptr, Login().GetMakeCall());
    EXPECT_EQ(1, view.callWindowsDestroyed);
    EXPECT_TRUE(view.formVisible);
    EXPECT_EQ("0", RegisterHeader("Expires"));
    view.Run(Login(), 10, clock); // timer 1001: delete, re-login branch, no message
    EXPECT_EQ(nullptr, Login().GetDum());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(0, view.endDialogs);
    // Log in again at once.
    Login().OnLoginCommand();
    EXPECT_EQ(2, stacksMade);
}

TEST_F(CUserLoginTest, LogoutStopsWaitingAtTheGiveUpTimePlusOneSecond) {
    // A second suspend notice before timer 1001 ran: the manager has already reported, so no
    // report comes; the wait ends after 1 s + 1 s and the objects go at once.
    LogInAnswered(200);
    Login().Logout();
    ASSERT_NE(nullptr, Login().GetDum());
    uint32_t before = clock.NowMs();
    Login().Logout();
    uint32_t spent = clock.NowMs() - before;
    EXPECT_GE(spent, 2000u);
    EXPECT_LE(spent, 2200u);
    EXPECT_EQ(nullptr, Login().GetDum());
    EXPECT_EQ(nullptr, Login().GetSipStack());
    EXPECT_TRUE(trace.Has("CUserLogin::Logout: la pila SIP no termino a tiempo"));
    view.Run(Login(), 10, clock);
    EXPECT_TRUE(view.messages.empty());
    Login().OnLoginCommand();
    EXPECT_EQ(2, stacksMade);
}

TEST_F(CUserLoginTest, ResumeLogsInAgainAfterASuspendLogout) {
    // The deletion of the SIP objects after the logout keeps the re-login flag, so the resume
    // signs in again.
    LogInAnswered(200);
    Login().Logout();
    view.Run(Login(), 10, clock);
    EXPECT_EQ(nullptr, Login().GetDum());
    Login().OnPowerResume();
    ASSERT_TRUE(view.HasTimer(CUserLogin::kTimerRelogin));
    view.Run(Login(), 10100, clock);
    EXPECT_EQ(2, stacksMade);
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerRelogin));

    // A login by hand in between clears the flag: the resume then does nothing.
    login.reset();
    stacksMade = 0;
    Login().Logout();
    Login().OnLoginCommand();
    EXPECT_EQ(1, stacksMade);
    Login().OnPowerResume();
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerRelogin));

    // With the flag still set, timer 1006 logs in with the fields as they stand, 10 s later.
    login.reset();
    stacksMade = 0;
    Login().Logout();
    Login().OnPowerResume();
    ASSERT_TRUE(view.HasTimer(CUserLogin::kTimerRelogin));
    view.Run(Login(), 9900, clock);
    EXPECT_EQ(0, stacksMade);
    view.Run(Login(), 200, clock);
    EXPECT_EQ(1, stacksMade);
    EXPECT_EQ(PS_REGISTERING, g_PhoneState);
    EXPECT_FALSE(view.HasTimer(CUserLogin::kTimerRelogin));
}

TEST(RememberedPassword, RoundTripsShortDigitPasswords) {
    for (std::string pw : {"", "0", "0042", "12345678", "99999999"}) {
        EXPECT_EQ(pw, DecodeRememberedPassword(EncodeRememberedPassword(pw))) << pw;
    }
    EXPECT_EQ("1o9", EncodeRememberedPassword("234")); // 1234 = 1*625 + 24*25 + 9
    EXPECT_NE("1234567890", DecodeRememberedPassword(EncodeRememberedPassword("1234567890")));
}
