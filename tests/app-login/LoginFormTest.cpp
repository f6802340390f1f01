// The login form on the fake window system, dialogs, handset, tray and SIP stack, with the
// built-in skin.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/login/LoginForm.h"
#include "app/phone/PhoneState.h"
#include "app/phone/RememberedPassword.h"
#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/skinfiles/SkinFolder.h"
#include "app/sound/PlaySound2.h"
#include "app/strings/StringTable.h"
#include "platform/audio/AudioBackend.h"
#include "platform/core/Paths.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/desktop/testing/FakeHandsetDriver.h"
#include "platform/desktop/testing/FakeSleepInhibitor.h"
#include "platform/store/IniFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/VirtualKeys.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "sip/testing/FakeSipStack.h"
#include "skin/SkinResources.h"
#include "skin/zel_Label.h"
#include "tests/app-login/FakeLoginView.h"
#include "tests/app-login/FakeTrayIcon.h"
#include "tests/app-panels/PanelsSupport.h"
#include "tests/app-panels/SkinCases.h"
#include "tests/skin/TestSkin.h"
#include "tests/support/RegistrySandbox.h"

namespace {

constexpr int kKeyDown = CUsbEventsDest::kEventKeyDown;
constexpr int kKeyUp = CUsbEventsDest::kEventKeyUp;
constexpr int kDigit = CUsbEventsDest::kEventDigit;

class LoginFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox_.Dir().c_str(), 1);
        g_PhoneState = PS_LOGGED_OUT;
        g_FormAlpha = 255;
        zel_Label::SetStringLoader(LoadCString);
        std::string error;
        audio_ = plat::MakeAudioBackend("null", &error);
        scopedAudio_ = std::make_unique<plat::ScopedAudioBackend>(*audio_);
        services_.deployment.sipServerHost = "127.0.0.2";
        services_.deployment.outboundProxyHost = "127.0.0.2";
        services_.deployment.sipBindAddress = "127.0.0.1";
        services_.stack = [this] {
            auto s = std::make_unique<sipua::FakeSipStack>();
            stack_ = s.get();
            return s;
        };
        services_.resolver = [](const std::string& host, std::string* dotted) {
            *dotted = host;
            return true;
        };
        services_.update = UpdateSettings{};
        services_.update.downloadDir = sandbox_.Dir();
        services_.callWindow = [this](LoginForm&, CallWindow** slot) {
            callWindow_ = new FakeCallWindow(slot);
            return callWindow_;
        };
        services_.power = nullptr; // never the machine's own logind
    }
    void TearDown() override {
        form_.reset();
        g_SkinModule = nullptr;
        LoadedSkinModule().reset();
        unsetenv("QUORVEX_HOME");
    }

    plat::IniFile Ini() { return plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvex.ini")); }
    // A start with the wizard done, unless a test wrote RegisterWizard itself.
    void NoWizard() { Ini().WriteString("General", "RegisterWizard", "0"); }

    LoginForm& Make() {
        form_ = std::make_unique<LoginForm>(services_);
        EXPECT_TRUE(form_->Create());
        window_ = windows_.Windows().back();
        return *form_;
    }
    // Delivers what the handset driver posted.
    void Handset(int type, int code) {
        ASSERT_NE(0u,
                  handset_.InjectEvent(static_cast<uint32_t>(type), static_cast<uint32_t>(code)));
        gui_.RunPending();
    }
    void Type(const std::string& digits, plat::FakeWindow* window = nullptr) {
        for (char c : digits) {
            (window ? window : window_)
                ->TypeKey(static_cast<uint32_t>(c), static_cast<uint32_t>(c));
        }
    }
    // Signs in as 1001, the stack answering 200.
    void SignIn() {
        Type("1001");
        window_->TypeKey(plat::kVkReturn, 13);
        stack_->respond(stack_->last("REGISTER")->id, 200, "OK");
        ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerSipPoll));
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const auto& r : windows_.MessageBoxes().Requests()) {
            texts.push_back(r.text);
        }
        return texts;
    }

    RegistrySandbox sandbox_;
    TraceCapture trace_;
    plat::ManualGuiDispatcher gui_;
    plat::FakeWindowSystem windows_;
    plat::FakeDialogFactory dialogs_;
    plat::FakeHandsetDriver handset_{true};
    plat::ScopedHandsetDriver scopedHandset_{handset_};
    FakeTrayIconFactory trays_;
    std::unique_ptr<plat::AudioBackend> audio_;
    std::unique_ptr<plat::ScopedAudioBackend> scopedAudio_;
    LoginForm::Services services_;
    sipua::FakeSipStack* stack_ = nullptr;
    FakeCallWindow* callWindow_ = nullptr;
    std::unique_ptr<LoginForm> form_;
    plat::FakeWindow* window_ = nullptr;
};

TEST_F(LoginFormTest, AFirstStartRunsTheWizardAndShowsAnEmptyForm) {
    dialogs_.QueueScript([](plat::FakeDialog& wizard) {
        wizard.Click(1035); // "I already have an account"
        wizard.Click(plat::kIdOk);
    });
    LoginForm& form = Make();
    ASSERT_EQ(1u, dialogs_.Ran().size());
    EXPECT_EQ(plat::kIdOk, dialogs_.Ran()[0].second);
    EXPECT_EQ("0", Ini().GetString("General", "RegisterWizard", ""));
    EXPECT_EQ("", form.UserField().GetText());
    EXPECT_EQ("", form.PasswordField().GetText());
    EXPECT_TRUE(form.UserField().HasFocus());

    // Shown with the built-in skin, its caret blinking; the tray icon and the handset are set.
    EXPECT_TRUE(window_->IsVisible());
    EXPECT_EQ(232, form.BackBuffer().width);
    EXPECT_EQ(300, form.BackBuffer().height);
    EXPECT_EQ(400u, window_->Timers().at(CForm::kTimerCaret));
    ASSERT_NE(nullptr, trays_.last);
    EXPECT_TRUE(trays_.last->shown);
    EXPECT_TRUE(trays_.last->hasPicture);
    EXPECT_EQ("Quorvex", trays_.last->tip);
    EXPECT_EQ(0x80C9u, trays_.last->message);
    EXPECT_EQ("Quorv", handset_.Display()); // the display is five characters wide
    EXPECT_TRUE(form.HandsetNameShown());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LoginFormTest, TheWizardRunsAtEachStartUntilItEndsWithContinue) {
    for (const char* setting : {"", "", "7", "0"}) { // cancelled, cancelled, any non-zero, 0
        if (*setting) {
            Ini().WriteString("General", "RegisterWizard", setting);
        }
        const size_t ran = dialogs_.Ran().size();
        Make();
        EXPECT_EQ(std::string(setting) == "0" ? ran : ran + 1, dialogs_.Ran().size()) << setting;
        EXPECT_EQ(setting, Ini().GetString("General", "RegisterWizard", ""));
        form_.reset();
    }
}

TEST_F(LoginFormTest, TheLastUserAndTheRememberedPasswordFillTheFields) {
    struct Case {
        const char* remember; // null: not in the file
        const char* lastPass; // null: not in the file
        const char* password;
    };
    const Case cases[] = {
        {nullptr, "1o9", "234"},                   // remembering is the default
        {"1", "1o9", "234"},     {"0", "1o9", ""}, // not remembered, though the file holds one
        {"1", "", ""},           {"1", nullptr, ""},
        {"5", "g1h", "0042"}, // leading zeros come back
    };
    NoWizard();
    Ini().WriteString("General", "LastUser", "1001");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        Ini().WriteString("General", "remember_last_password", c.remember);
        Ini().WriteString("General", "LastPass", c.lastPass);
        LoginForm& form = Make();
        EXPECT_EQ("1001", form.UserField().GetText());
        EXPECT_EQ(c.password, form.PasswordField().GetText());
        form_.reset();
    }
    // At most 24 characters of the user are read.
    Ini().WriteString("General", "LastUser", "1234567890123456789012345678");
    EXPECT_EQ("123456789012345678901234", Make().UserField().GetText());
}

TEST_F(LoginFormTest, EnterSignsInOnceAndTheCallWindowTakesOver) {
    NoWizard();
    LoginForm& form = Make();
    window_->TypeKey(plat::kVkReturn, 13);
    EXPECT_EQ(
        std::vector<std::string>{"Sorry, you must supply a phone number in order to register"},
        Boxes());
    EXPECT_EQ(nullptr, stack_);

    Type("1001");
    window_->TypeKey(plat::kVkTab, 9);
    Type("4321");
    EXPECT_EQ("4321", form.PasswordField().GetText());
    window_->TypeKey(plat::kVkReturn, 13);
    ASSERT_NE(nullptr, stack_);
    EXPECT_EQ(1u, stack_->sentWithMethod("REGISTER").size());
    EXPECT_EQ(PS_REGISTERING, g_PhoneState);
    EXPECT_FALSE(form.UserField().m_bEnabled);
    EXPECT_FALSE(form.LogInButton().m_bEnabled);
    window_->TypeKey(plat::kVkReturn, 13); // a second log-in while registering does nothing
    EXPECT_EQ(1u, stack_->sentWithMethod("REGISTER").size());

    stack_->respond(stack_->last("REGISTER")->id, 200, "OK");
    ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerSipPoll));
    ASSERT_NE(nullptr, callWindow_);
    EXPECT_TRUE(callWindow_->visible);
    EXPECT_FALSE(window_->IsVisible());
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ("1001", Ini().GetString("General", "LastUser", ""));
    EXPECT_EQ("4321", DecodeRememberedPassword(Ini().GetString("General", "LastPass", "")));

    // A left click on the tray icon raises the call window; other buttons do nothing.
    trays_.last->Press(plat::kWmRButtonDown);
    gui_.RunPending();
    EXPECT_EQ(0, callWindow_->raised);
    trays_.last->Press(plat::kWmLButtonDown);
    gui_.RunPending();
    EXPECT_EQ(1, callWindow_->raised);
}

TEST_F(LoginFormTest, TheCallWindowTakesCallsAndShowsEachChangeAtOnce) {
    services_.callWindow = nullptr; // the program's own
    NoWizard();
    Make();
    Type("1001");
    window_->TypeKey(plat::kVkReturn, 13);
    stack_->respond(stack_->last("REGISTER")->id, 200, "OK");
    ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerSipPoll));
    ASSERT_EQ(2u, windows_.Windows().size());
    plat::FakeWindow* face = windows_.Windows()[1];
    EXPECT_EQ(window_, face->Owner());
    EXPECT_TRUE(face->IsVisible());
    EXPECT_FALSE(window_->IsVisible());
    // Centred on the login form.
    const plat::Rect login = window_->GetWindowRect();
    const plat::Rect call = face->GetWindowRect();
    EXPECT_EQ((login.left + login.right) / 2 - call.Width() / 2, call.left);
    EXPECT_EQ((login.top + login.bottom) / 2 - call.Height() / 2, call.top);
    auto* signedIn = dynamic_cast<CMakeCall*>(form_->Sip().GetMakeCall());
    ASSERT_NE(nullptr, signedIn);
    EXPECT_EQ("1001", signedIn->UserName().GetText());

    // An incoming call rings; the hang-up key rejects it.
    stack_->incomingInvite(sipua::FakeSipStack::makeInvite(
        "\"Ana\" <sip:2002@10.0.0.1>", "sip:1001@127.0.0.2",
        "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=-\r\nc=IN IP4 10.0.0.1\r\nt=0 0\r\n"
        "m=audio 4000 RTP/AVP 0\r\n"));
    ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerSipPoll));
    EXPECT_EQ(PS_RINGING, g_PhoneState);
    EXPECT_EQ("Incoming Call from:", signedIn->Caption().GetText());
    const plat::Rect hangUp = signedIn->Button(CMakeCall::kCmdHangUp).GetRect();
    face->Click({signedIn->FaceOrigin().x + (hangUp.left + hangUp.right) / 2,
                 (hangUp.top + hangUp.bottom) / 2});
    EXPECT_EQ(PS_IDLE, g_PhoneState);
    EXPECT_EQ("", signedIn->Caption().GetText());

    // Keys and handset digits dial into the number display; Escape asks whether to exit.
    Type("12", face);
    Handset(kDigit, 133);
    EXPECT_EQ("125", signedIn->Number().GetText());
    face->TypeKey(plat::kVkBack, 8);
    EXPECT_EQ("12", signedIn->Number().GetText());

    // A call that fails is reported in the login form's poll, outside any message of this
    // window: the window shows it at once all the same.
    face->TypeKey(plat::kVkReturn, 13);
    EXPECT_EQ(PS_DIALING, g_PhoneState);
    const int presents = face->PresentCount();
    stack_->sessionFailed(stack_->lastStartedSession(), 486);
    ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerSipPoll));
    EXPECT_EQ(PS_BUSY, g_PhoneState);
    EXPECT_EQ("Busy/Disconected:", signedIn->Caption().GetText());
    EXPECT_GT(face->PresentCount(), presents);
    windows_.MessageBoxes().QueueAnswer(plat::kIdNo);
    face->TypeKey(plat::kVkEscape, 27);
    EXPECT_EQ(std::vector<std::string>{"Do you want to exit now?"}, Boxes());

    // The window goes with the form; the handset comes back to nobody's freed window.
    form_.reset();
    EXPECT_TRUE(windows_.Windows().empty());
    handset_.InjectEvent(static_cast<uint32_t>(kDigit), 129);
    gui_.RunPending();
}

TEST_F(LoginFormTest, HideHidesOnlyWhenTheTrayIconCanBringTheWindowBack) {
    services_.callWindow = nullptr; // the program's own
    NoWizard();
    for (bool embedded : {false, true}) {
        SCOPED_TRACE(embedded);
        LoginForm& form = Make();
        trays_.last->embedded = embedded;
        form.OnCommand(LoginForm::kCmdHide, 0);
        EXPECT_EQ(!embedded, window_->IsVisible());
        EXPECT_EQ(!embedded, window_->IsMinimized());

        SignIn(); // the call window's hide button follows the same rule
        ASSERT_EQ(2u, windows_.Windows().size());
        plat::FakeWindow* face = windows_.Windows()[1];
        dynamic_cast<CMakeCall&>(*form.Sip().GetMakeCall()).OnCommand(CMakeCall::kCmdHide, 0);
        EXPECT_EQ(!embedded, face->IsVisible());
        EXPECT_EQ(!embedded, face->IsMinimized());
        form_.reset();
    }
}

TEST_F(LoginFormTest, HandsetKeysReachTheRightFieldAndTheClearKeyHeldEmptiesIt) {
    NoWizard();
    LoginForm& form = Make();
    window_->Show(plat::kSwMinimize);
    const int foreground = window_->ForegroundCount();
    Handset(kDigit, 129); // '1': the user field has the focus
    EXPECT_TRUE(window_->IsVisible());
    EXPECT_FALSE(window_->IsMinimized());
    EXPECT_EQ(foreground + 1, window_->ForegroundCount());
    EXPECT_FALSE(form.HandsetNameShown());
    EXPECT_EQ(std::string(5, '\0'), handset_.Display()); // the product name is cleared once
    const int cleared = handset_.Count(plat::kHandsetDisplayText);
    for (int code : {128, 137, 138, 127, 0x100 + 130}) { // '0', '9', none, none, low byte '2'
        Handset(kDigit, code);
    }
    EXPECT_EQ("1092", form.UserField().GetText());

    Handset(kKeyDown, LoginForm::kHandsetPassword);
    Handset(kDigit, 133);
    Handset(kDigit, 130);
    EXPECT_EQ("52", form.PasswordField().GetText());
    Handset(kKeyDown, LoginForm::kHandsetClear); // released at once: deletes in the user
    Handset(kKeyUp, LoginForm::kHandsetClear);   // field only
    EXPECT_EQ("52", form.PasswordField().GetText());
    EXPECT_EQ(0u, window_->Timers().count(LoginForm::kTimerHandsetClear));
    // Held a second: the focused password field is emptied, the display left alone.
    Handset(kKeyDown, LoginForm::kHandsetClear);
    EXPECT_EQ(1000u, window_->Timers().at(LoginForm::kTimerHandsetClear));
    ASSERT_TRUE(window_->FireTimer(LoginForm::kTimerHandsetClear));
    EXPECT_EQ(0u, window_->Timers().count(LoginForm::kTimerHandsetClear));
    EXPECT_EQ("", form.PasswordField().GetText());
    EXPECT_EQ("1092", form.UserField().GetText());
    EXPECT_EQ(cleared, handset_.Count(plat::kHandsetDisplayText));
    Handset(kKeyUp, LoginForm::kHandsetClear);

    Handset(kKeyDown, LoginForm::kHandsetUser);
    Handset(kKeyDown, LoginForm::kHandsetClear);
    Handset(kKeyUp, LoginForm::kHandsetClear);
    EXPECT_EQ("109", form.UserField().GetText());
    Handset(kKeyDown, LoginForm::kHandsetClear);
    ASSERT_TRUE(window_->FireTimer(LoginForm::kTimerHandsetClear));
    EXPECT_EQ("", form.UserField().GetText());
    EXPECT_EQ(cleared + 1, handset_.Count(plat::kHandsetDisplayText));
    Handset(kKeyUp, LoginForm::kHandsetClear); // after a full second: nothing more
    EXPECT_EQ("", form.UserField().GetText());

    // The log-in key logs in; the exit key asks whether to exit.
    Handset(kDigit, 129);
    Handset(kKeyDown, LoginForm::kHandsetLogIn);
    ASSERT_NE(nullptr, stack_);
    windows_.MessageBoxes().QueueAnswer(plat::kIdNo);
    Handset(kKeyDown, LoginForm::kHandsetExit);
    EXPECT_EQ(std::vector<std::string>{"Do you want to exit now?"}, Boxes());
}

TEST_F(LoginFormTest, ExitAsksMessage3AndEndsTheProgram) {
    NoWizard();
    form_ = std::make_unique<LoginForm>(services_);
    int asked = 0;
    windows_.SetModalScript([this, &asked](plat::FakeWindow& window) {
        windows_.MessageBoxes().QueueAnswer(plat::kIdNo);
        window.TypeKey(plat::kVkEscape, 27); // No: the form stays
        asked = static_cast<int>(Boxes().size());
        EXPECT_TRUE(window.IsVisible());
        EXPECT_EQ(1, handset_.Count(plat::kHandsetOpen));
        windows_.MessageBoxes().QueueAnswer(plat::kIdYes);
        window.TypeKey(plat::kVkEscape, 27);
    });
    EXPECT_EQ(CForm::kIdCancel, form_->DoModal());
    EXPECT_EQ(1, asked);
    EXPECT_EQ((std::vector<std::string>{"Do you want to exit now?", "Do you want to exit now?"}),
              Boxes());
    EXPECT_EQ(plat::kMbYesNo | plat::kMbIconQuestion, windows_.MessageBoxes().Requests()[0].flags);
    EXPECT_EQ("Quorvex", windows_.MessageBoxes().Requests()[0].caption);
    // The window is gone with its tray icon; the handset closes with the form.
    EXPECT_TRUE(windows_.Windows().empty());
    ASSERT_NE(nullptr, trays_.last);
    EXPECT_FALSE(trays_.last->shown);
    form_.reset();
    EXPECT_FALSE(handset_.IsOpen());
}

TEST_F(LoginFormTest, F2RunsTheSettingsDialogAndGivesTheHandsetBackToTheForm) {
    NoWizard();
    LoginForm& form = Make();
    bool targetDuringDialog = true;
    dialogs_.QueueScript([this, &targetDuringDialog](plat::FakeDialog& dialog) {
        // While the dialog runs, handset keys do not reach the form.
        handset_.InjectEvent(static_cast<uint32_t>(kDigit), 129);
        gui_.RunPending();
        targetDuringDialog = !form_->UserField().GetText().empty();
        dialog.Click(plat::kIdCancel);
    });
    window_->TypeKey(plat::kVkF1 + 1);
    ASSERT_EQ(1u, dialogs_.Ran().size());
    EXPECT_FALSE(targetDuringDialog);
    Handset(kDigit, 130);
    EXPECT_EQ("2", form.UserField().GetText());
}

TEST_F(LoginFormTest, SleepNoticesReachTheCallWindowAndWithoutThemOneLineIsTraced) {
    NoWizard();
    services_.power = [](std::function<void(bool)>, std::string* error) {
        *error = "no system bus: gone";
        return std::unique_ptr<plat::SleepInhibitor>();
    };
    Make();
    EXPECT_TRUE(
        trace_.Has("CUserLogin::OnInitDialog: sin eventos de energia: no system bus: gone"));
    form_.reset();
    std::function<void(bool)> notice;
    services_.power = [&](std::function<void(bool)> onSleep, std::string*) {
        notice = std::move(onSleep);
        return std::unique_ptr<plat::SleepInhibitor>(new plat::FakeSleepInhibitor);
    };
    Make();
    SignIn();
    notice(true);
    notice(false);
    EXPECT_EQ((std::vector<unsigned>{0, 4, 7}), callWindow_->powerEvents);

    // A suspend that signs out, as the call window's does: the wake signs in again 10 s later.
    callWindow_->power = [this](unsigned event) {
        if (event == kPbtSuspend) {
            form_->Sip().Logout();
        }
        return intptr_t{0};
    };
    {
        // The removal gets no answer: the logout waits out its give-up time on this clock.
        plat::FakeClock clock(plat::TimeMs());
        plat::ScopedClock scoped(clock);
        notice(true);
    }
    ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerDeleteSip));
    ASSERT_EQ(nullptr, form_->Sip().GetDum());
    notice(false);
    ASSERT_EQ(1u, window_->Timers().count(CUserLogin::kTimerRelogin));
    EXPECT_EQ(10000u, window_->Timers().at(CUserLogin::kTimerRelogin));
    ASSERT_TRUE(window_->FireTimer(CUserLogin::kTimerRelogin));
    EXPECT_EQ(PS_REGISTERING, g_PhoneState);
    EXPECT_NE(nullptr, stack_->last("REGISTER"));
}

// Inhibitors the form owns, which write what they are asked, and their end, into the test's
// record.
class RecordedInhibitor final : public plat::SleepInhibitor {
public:
    explicit RecordedInhibitor(std::vector<std::string>& record) : record_(record) {}
    ~RecordedInhibitor() override { record_.push_back("gone"); }
    bool Take(Mode mode, const std::string&, std::string*) override {
        record_.push_back(mode == Mode::Delay ? "take delay" : "take block");
        return true;
    }
    void Release(Mode mode) override {
        record_.push_back(mode == Mode::Delay ? "release delay" : "release block");
    }

private:
    std::vector<std::string>& record_;
};

TEST_F(LoginFormTest, ThePowerEventsLetGoOfTheInhibitorsBeforeTheInhibitorsGo) {
    NoWizard();
    std::vector<std::string> record;
    services_.power = [&](std::function<void(bool)>, std::string*) {
        return std::unique_ptr<plat::SleepInhibitor>(new RecordedInhibitor(record));
    };
    for (bool windowFirst : {true, false}) {
        SCOPED_TRACE(windowFirst ? "the window destroyed first" : "the form with its window");
        g_PhoneState = PS_LOGGED_OUT;
        record.clear();
        Make();
        SignIn();
        EXPECT_EQ((std::vector<std::string>{"take block", "take delay", "release block"}),
                  std::exchange(record, {}));
        if (windowFirst) {
            form_->DestroyWindow();
        }
        form_.reset();
        EXPECT_EQ((std::vector<std::string>{"release delay", "gone"}), record);
    }
}

// A server that takes connections and never answers: the version check waits on it.
int SilentServerPort(int* fd) {
    *fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bool ok = bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
              listen(*fd, 4) == 0 &&
              getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    return ok ? ntohs(address.sin_port) : 0;
}

TEST_F(LoginFormTest, DestructionStopsAndWaitsForTheUpdateWorkerFirst) {
    int server = -1;
    const int port = SilentServerPort(&server);
    ASSERT_NE(0, port);
    NoWizard();
    services_.update.baseUrl = "http://127.0.0.1:" + std::to_string(port) + "/";
    services_.update.versionFile = plat::JoinPath(sandbox_.Dir(), "version.txt");
    Make();
    EXPECT_TRUE(form_->Update().IsUpdateRunning());
    const auto start = std::chrono::steady_clock::now();
    form_->DestroyWindow();
    form_.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2));
    gui_.RunPending(); // whatever the worker posted finds no form
    close(server);
}

TEST_F(LoginFormTest, ADamagedSkinAtStartGivesWayToTheBuiltInSkinBeforeItsFileIsFreed) {
    // No background: the build fails after the buttons took their places from the file.
    TestSkin skin;
    skin.Value(kSkinIdValueId, 0x1a).Value(LoginForm::kFontHeightValue, 12);
    skin.Area(LoginForm::kUserField, 10, 10, 100, 20)
        .Area(LoginForm::kPasswordField, 10, 40, 100, 20);
    for (int id : {LoginForm::kCmdMinimise, LoginForm::kCmdExit, LoginForm::kCmdLogIn,
                   LoginForm::kCmdHide}) {
        skin.Pos(id, 5, id).Frames(id, 20, 10, {0xFF102030u, 0xFF203040u, 0xFF304050u});
    }
    const std::string folder = plat::JoinPath(plat::DataDir(), "Skins");
    ASSERT_TRUE(plat::MakeDirs(folder));
    const std::vector<uint8_t> bytes = skin.Bytes();
    std::ofstream(plat::JoinPath(folder, "1a.zsk"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    plat::Registry::Key key;
    ASSERT_EQ(plat::kErrorSuccess, sandbox_.Registry().CreateKey("Software\\Quorvex", &key));
    const uint32_t id = 0x1a;
    sandbox_.Registry().SetValue(key, "Skin", plat::kRegDword, &id, sizeof id);
    NoWizard();

    LoginForm& form = Make();
    EXPECT_TRUE(trace_.Has("CUserLogin::LoadSkin: el skin no tiene todos los controles"));
    EXPECT_EQ(ProgramModule(), g_SkinModule);
    EXPECT_FALSE(LoadedSkinModule());
    // A place left pointing into the freed file is a read of freed memory (seen under ASan).
    const SkinPos* builtIn = GetSkinPos(LoginForm::kCmdLogIn);
    const plat::Rect logIn = form.LogInButton().GetRect();
    EXPECT_EQ(builtIn->x, logIn.left);
    EXPECT_EQ(builtIn->y, logIn.top);
    EXPECT_EQ(232, form.BackBuffer().width);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LoginFormTest, EverySkinSignsInToACallWindowOfItsNormalSize) {
    // Skins that once passed the checks and then left a 1 x 1 call window or none, each
    // chosen at start and signed in with: the window comes up at the built-in skin's size.
    services_.callWindow = nullptr; // the program's own
    const plat::ResourceModule& builtIn = *ProgramModule();
    struct Case {
        const char* what;
        std::optional<TestSkin> skin; // none: no `Skin` setting
        bool refused;                 // said in a message box at start
        bool kept;                    // the skin file is in use after sign-in
        const char* trace = nullptr;  // a trace line of the fallback
    } cases[] = {
        {"the built-in skin", std::nullopt, false, false},
        {"a list font 32768 high", skincases::FontHeight(builtIn, 32768), true, false,
         "CUserLogin::LoadSkin: valor fuera de limites en el valor de id=400"},
        {"a list font at the largest height", skincases::FontHeight(builtIn, 1024), false, true},
        {"three 4096 x 4096 pictures", skincases::LargePictures(builtIn, 4096, 4096), true, false,
         "CUserLogin::LoadSkin: el skin supera el limite de pixeles"},
        {"font heights 2 bytes off", skincases::MisalignedFontHeights(builtIn, 2), true, false,
         "CUserLogin::LoadSkin: (3) no pudo ser cargado el valor de id=110"},
        {"no hang-up key (and the log-in button elsewhere)",
         skincases::BuiltIn(builtIn, skincases::kBuiltInCopySkin)
             .Remove(plat::kResourceBitmap, CMakeCall::kCmdHangUp)
             .Pos(LoginForm::kCmdLogIn, 60, 250),
         false, false,
         "MakeCallWindow: el skin no tiene todos los controles: vuelve el incorporado"},
    };
    const std::string folder = plat::JoinPath(plat::DataDir(), "Skins");
    ASSERT_TRUE(plat::MakeDirs(folder));
    plat::Registry::Key key;
    ASSERT_EQ(plat::kErrorSuccess, sandbox_.Registry().CreateKey("Software\\Quorvex", &key));
    NoWizard();
    plat::Rect normal;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox_.Registry().DeleteValue(key, "Skin");
        if (c.skin) {
            plat::ResourceModule module;
            ASSERT_TRUE(c.skin->Load(module));
            const auto id = static_cast<uint32_t>(GetModuleSkinValue(&module, kSkinIdValueId));
            ASSERT_TRUE(panelstest::WriteBytes(plat::JoinPath(folder, SkinFolder::FileName(id)),
                                               c.skin->Bytes()));
            sandbox_.Registry().SetValue(key, "Skin", plat::kRegDword, &id, sizeof id);
        }
        windows_.MessageBoxes().Clear();
        g_PhoneState = PS_LOGGED_OUT;
        const size_t before = windows_.Windows().size();
        Make();
        SignIn();
        ASSERT_EQ(before + 2, windows_.Windows().size());
        plat::FakeWindow* face = windows_.Windows().back();
        EXPECT_TRUE(face->IsVisible());
        if (!c.skin) {
            normal = face->GetWindowRect();
            ASSERT_GT(normal.Width(), 1);
        }
        EXPECT_EQ(normal.Width(), face->GetWindowRect().Width());
        EXPECT_EQ(normal.Height(), face->GetWindowRect().Height());
        EXPECT_EQ(c.refused ? std::vector<std::string>{"Error loading selected skin"}
                            : std::vector<std::string>{},
                  Boxes());
        EXPECT_EQ(c.kept, LoadedSkinModule() != nullptr);
        EXPECT_EQ(c.kept ? LoadedSkinModule().get() : ProgramModule(), g_SkinModule);
        EXPECT_TRUE(!c.trace || trace_.Has(c.trace)) << c.trace;
        // The login form draws from the same skin (and no control of it from a freed file).
        const SkinPos* logIn = GetSkinPos(LoginForm::kCmdLogIn);
        EXPECT_EQ(logIn->x, form_->LogInButton().GetRect().left);
        EXPECT_EQ(logIn->y, form_->LogInButton().GetRect().top);
        form_.reset();
        LoadedSkinModule().reset();
    }
}

} // namespace
