// The call window itself on the fake window system, with the built-in skin (and skins made in
// memory), over the fake SIP stack: its status line, the balance messages, its skin build and
// layout, picked numbers, help and the forward page, and its end.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/login/CUserLogin.h"
#include "app/phone/PhoneState.h"
#include "app/resources/BuiltInModule.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/store/IniFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "sip/DialogUsageManager.h"
#include "sip/testing/FakeSipStack.h"
#include "skin/SkinResources.h"
#include "tests/app-call/CallFakes.h"
#include "tests/app-call/CallFixture.h"
#include "tests/skin/TestSkin.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

namespace {

constexpr uint32_t kVkF1 = 0x70;

// The login form as the call window sees it: a form that keeps what is posted to it.
class OwnerForm : public CForm {
public:
    OwnerForm() : CForm(153) {}
    void OnPostedMessage(const plat::WindowMessage& message) override {
        received.push_back(message.message);
    }
    std::vector<uint32_t> received;
};

// A call face made in memory: every control of the face, face 100 x 120, the skins and audio
// panels 70 and 60 wide (the left column), the menu, history and contacts 50 (the right
// one); the face covers 10
// pixels of the left column and the right one starts 90 pixels into the face.
TestSkin CallSkin() {
    TestSkin s;
    s.Face("DejaVu Sans").Value(223, 14).Value(224, 30).Value(225, 16).Value(226, 10);
    s.Value(227, 90);
    s.Solid(901, 70, 120, 0xFF405060u).Solid(500, 60, 120, 0xFF405060u);
    s.Solid(1001, 50, 120, 0xFF405060u);
    // The call-history and contacts panels, 50 wide too: a list with its scroll bar and the
    // buttons each.
    for (int panel : {400, 600}) {
        s.Value(panel, 12).Area(panel + 5, 2, 2, 40, 80).Solid(panel + 1, 50, 120, 0xFF405060u);
        s.Pos(panel + 9, 42, 2).Frames(panel + 9, 6, 6, {0xFF000000u, 0xFF000000u, 0xFF000000u});
        s.Pos(panel + 10, 42, 76).Frames(panel + 10, 6, 6, {0xFF000000u, 0xFF000000u, 0xFF000000u});
        s.Solid(panel + 11, 6, 6, 0xFF000000u)
            .Pos(panel + 12, 42, 8)
            .Solid(panel + 12, 6, 68, 0xFF000000u);
        for (int id = panel + 13; id <= panel + 16; ++id) {
            s.Pos(id, 2 * (id - panel), 100)
                .Frames(id, 8, 6, {0xFF102030u, 0xFF203040u, 0xFF304050u});
        }
    }
    for (int id = 200; id <= 218; ++id) {
        s.Pos(id, 2 * (id - 200), 10).Frames(id, 8, 6, {0xFF102030u, 0xFF203040u, 0xFF304050u});
    }
    for (int id = 230; id <= 234; ++id) {
        s.Pos(id, 10 * (id - 230), 60).Solid(id, 6, 6, 0xFF00FF00u);
    }
    s.Area(220, 0, 70, 100, 12).Area(221, 0, 84, 100, 12).Area(222, 0, 98, 100, 20);
    return s.Solid(CMakeCall::kFace, 100, 120, 0xFFC0C0C0u);
}

class CallWindowTest : public ::testing::Test, protected FakeSipUser {
protected:
    void SetUp() override {
        Open();
        g_SkinModule = ProgramModule();
        zel_Label::SetStringLoader(LoadCString);
        g_Balance.Reset();
        CUsbEventsDest::EnableEvents(true);
        ASSERT_TRUE(owner.Create());
        window = new CMakeCall(owner, owner.GetPostTarget(), login, &slot,
                               [this](iTraceFile*) { return new FakeMedia(media); });
        slot = window;
        ASSERT_TRUE(window->Make());
        face = windows.Windows().back();
    }
    void TearDown() override {
        if (slot) {
            slot->Destroy();
        }
        CUsbEventsDest::SetTargetWindow({});
        g_Balance.Reset();
        g_SkinModule = nullptr;
        Close();
    }
    std::string TraceText() {
        std::string text;
        for (const std::string& line : trace.Lines()) {
            text += line + "\n";
        }
        return text;
    }
    std::string Shown() const {
        return window->Caption().GetText() + "|" + window->Number().GetText();
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const auto& r : windows.MessageBoxes().Requests()) {
            texts.push_back(r.text);
        }
        return texts;
    }
    void Type(const std::string& keys) {
        for (char c : keys) {
            face->TypeKey(static_cast<uint32_t>(c), static_cast<uint32_t>(c));
        }
    }

    plat::FakeWindowSystem windows;
    FakeMediaLog media;
    OwnerForm owner;
    CMakeCall* window = nullptr;
    CallWindow* slot = nullptr;
    plat::FakeWindow* face = nullptr;
};

TEST_F(CallWindowTest, TheStatusLineShowsEachStatesTextsOnTheFace) {
    Type("0123456789");
    Incoming(); // "Ana" rings
    struct Row {
        int state;
        const char* balanceText;
        bool balanceView;
        std::string shown;
    };
    const Row rows[] = {
        {PS_RINGING, "", false, "Incoming Call from:|Ana"},
        {PS_DIALING, "", false, "Dialing:|Ana"},
        {PS_EARLY_MEDIA, "9.00", false, "Dialing:|Ana"},
        {PS_TALKING, "9.00", false, "Talking to:|Ana"},
        {PS_BUSY, "", false, "Busy/Disconected:|Ana"},
        {PS_ENTERING_NUMBER, "9.00", false, "|0123456789"},
        {PS_IDLE, "", false, "|0123456789"},
        {PS_IDLE, "9.00", false, "Your Balance is:|9.00"},
        {PS_IDLE, "", true, "Your Balance is:|(Loading...)"},
    };
    for (const Row& r : rows) {
        g_PhoneState = r.state;
        g_Balance.Update(1.0, r.balanceText);
        window->Call().ShowBalanceView(r.balanceView);
        window->UpdateStatus();
        EXPECT_EQ(r.shown, Shown()) << r.state;
    }
}

TEST_F(CallWindowTest, EachKeyIsDrawnAtOnceAndItsButtonFlashesForOneHundredFiftyMilliseconds) {
    plat::FakeClock clock(7000);
    plat::ScopedClock scoped(clock);
    // The number display's pixels as presented.
    auto display = [this] {
        plat::Rect r =
            window->Number().GetRect().Offset(window->FaceOrigin().x, window->FaceOrigin().y);
        std::vector<uint32_t> pixels;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                pixels.push_back(PixelAt(face->LastImage(), x, y));
            }
        }
        return pixels;
    };
    auto state = [this](char digit) {
        return window->Button(CMakeCall::kCmdKey0 + digit - '0').m_nState;
    };
    // Ten keys 20 ms apart, from the keyboard and the handset in turn: each digit is on the
    // screen when its key's message returns, its button lit, the one before back at rest.
    const std::string digits = "0123456789";
    for (size_t i = 0; i < digits.size(); ++i) {
        SCOPED_TRACE(i);
        clock.Set(7000 + 20 * static_cast<uint32_t>(i));
        windows.RunDueTimers();
        const std::vector<uint32_t> before = display();
        if (i % 2 == 0) {
            Type(digits.substr(i, 1));
        } else {
            CUsbEventsDest::DriverCallback(CUsbEventsDest::kEventDigit, 128 + digits[i] - '0');
            gui.RunPending();
        }
        EXPECT_EQ(digits.substr(0, i + 1), window->Number().GetText());
        EXPECT_NE(before, display());
        EXPECT_EQ(1, state(digits[i]));
        if (i > 0) {
            EXPECT_EQ(0, state(digits[i - 1]));
        }
    }
    clock.Set(7180 + 149);
    windows.RunDueTimers();
    EXPECT_EQ(1, state('9'));
    clock.Set(7180 + 150);
    windows.RunDueTimers();
    EXPECT_EQ(0, state('9'));
    EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(CallWindowTest, TheTalkKeyBlinksWhileACallRingsAndIsUnlitOnceItIsAnsweredOrEnds) {
    for (int end = 0; end < 3; ++end) { // answered, declined, the caller gave up
        SCOPED_TRACE(end);
        auto id = Incoming(kPeerSdp, kCaller, "blink-" + std::to_string(end));
        ASSERT_EQ(PS_RINGING, g_PhoneState);
        const zel_Command& talk = window->Button(CMakeCall::kCmdTalk);
        window->OnTimer(CMakeCall::kTimerRing);
        EXPECT_EQ(1, talk.m_nState);
        if (end < 2) {
            window->OnCommand(end == 0 ? CMakeCall::kCmdTalk : CMakeCall::kCmdHangUp, 0);
        } else {
            stack.sessionEndedByPeer(id);
            Poll();
        }
        EXPECT_NE(PS_RINGING, g_PhoneState);
        EXPECT_EQ(0, talk.m_nState);
        window->Call().HangUp(true);
    }
}

TEST_F(CallWindowTest, BalanceMessagesBlinkTheWarningBelowThreeAndOfferTheForwardPageBelowZero) {
    RecordingShell shell;
    const std::string deployment = sandbox.Dir() + "/deployment.ini";
    ASSERT_TRUE(plat::IniFile(deployment).WriteString("service", "web_site", "shop.test"));
    setenv("QUORVEX_DEPLOYMENT", deployment.c_str(), 1);
    struct Step {
        double balance;
        int answer; // the answer to the question, 0 when none is asked
        bool warning;
        std::vector<std::string> boxes;
        size_t pagesOpened;
    };
    const std::string ask = "Your balance is -1.00. Would you like to recharge your account now?";
    const Step steps[] = {
        {3.0, 0, false, {}, 0},
        {2.5, 0, true, {}, 0},
        {-1.0, plat::kIdNo, true, {ask}, 0},
        {-1.0, plat::kIdYes, true, {ask, ask}, 1},
        {0.0, 0, true, {ask, ask}, 1},
        {4.0, 0, false, {ask, ask}, 1},
    };
    for (const Step& s : steps) {
        if (s.answer != 0) {
            windows.MessageBoxes().QueueAnswer(s.answer);
        }
        g_Balance.Update(s.balance, "x");
        gui.RunPending();
        EXPECT_EQ(s.warning, window->Warning().m_bVisible != 0) << s.balance;
        EXPECT_EQ(s.warning, face->Timers().count(CMakeCall::kTimerWarning) == 1) << s.balance;
        EXPECT_EQ(s.boxes, Boxes()) << s.balance;
        ASSERT_EQ(s.pagesOpened, shell.runs.size()) << s.balance;
        if (s.warning) {
            // Blinks: off, on, off.
            for (bool shown : {false, true, false}) {
                ASSERT_TRUE(face->FireTimer(CMakeCall::kTimerWarning));
                EXPECT_EQ(shown, window->Warning().m_bVisible != 0) << s.balance;
            }
            ASSERT_TRUE(face->FireTimer(CMakeCall::kTimerWarning));
        }
    }
    EXPECT_EQ("http://shop.test/kzn/index.php", shell.runs.back().back());
    // The face's forward key opens it too.
    window->OnCommand(CMakeCall::kCmdForwardPage, 0);
    EXPECT_EQ(2u, shell.runs.size());
    unsetenv("QUORVEX_DEPLOYMENT");
}

TEST_F(CallWindowTest, ASkinThatCannotBeLaidOutFailsAndThePreviousSkinBuildsAgain) {
    struct Case {
        const char* name;
        std::function<void(TestSkin&)> change;
        bool built;
        int faceX = 0;
        int width = 0;
    };
    const Case cases[] = {
        {"whole", [](TestSkin&) {}, true, 60, 210},
        {"the face overlaps no column", [](TestSkin& s) { s.Value(226, 0); }, true, 70, 220},
        {"the face covers the left column", [](TestSkin& s) { s.Value(226, 70); }, true, 0, 150},
        {"X below 0", [](TestSkin& s) { s.Value(226, 71); }, false},
        {"value 227 at the width", [](TestSkin& s) { s.Value(227, 150); }, true, 60, 210},
        {"value 227 past the width", [](TestSkin& s) { s.Value(227, 151); }, false},
        {"value 227 below 0", [](TestSkin& s) { s.Value(227, -1); }, false},
        {"no key 9", [](TestSkin& s) { s.Remove(plat::kResourceBitmap, 216); }, false},
        {"no place for the forward key",
         [](TestSkin& s) { s.Remove(kSkinTypePosition, CMakeCall::kCmdForwardPage); }, false},
        {"no warning", [](TestSkin& s) { s.Remove(plat::kResourceBitmap, CMakeCall::kWarning); },
         false},
        {"a number display without width", [](TestSkin& s) { s.Area(222, 0, 98, 0, 20); }, false},
        {"no face", [](TestSkin& s) { s.Remove(plat::kResourceBitmap, CMakeCall::kFace); }, false},
        {"a face past the limit",
         [](TestSkin& s) { s.Solid(CMakeCall::kFace, 1, kMaxSkinSide + 1, 0xFF000000u); }, false},
        {"no menu panel", [](TestSkin& s) { s.Remove(plat::kResourceBitmap, 1001); }, false},
    };
    const plat::Rect builtIn = face->GetWindowRect();
    for (const Case& c : cases) {
        TestSkin skin = CallSkin();
        c.change(skin);
        plat::ResourceModule module;
        ASSERT_TRUE(skin.Load(module)) << c.name;
        g_SkinModule = &module;
        ASSERT_EQ(c.built, window->ApplySkin()) << c.name << "\n" << TraceText();
        if (c.built) {
            window->Compose();
            EXPECT_EQ(c.width, face->GetWindowRect().Width()) << c.name;
            EXPECT_EQ(120, face->GetWindowRect().Height()) << c.name;
            EXPECT_EQ(c.faceX, window->FaceOrigin().x) << c.name;
        }
        // The skin switch goes back to the built-in skin, which builds whole again.
        g_SkinModule = ProgramModule();
        ASSERT_TRUE(window->ApplySkin()) << c.name;
        window->Compose();
        EXPECT_EQ(builtIn.Width(), face->GetWindowRect().Width()) << c.name;
        EXPECT_EQ(builtIn.Height(), face->GetWindowRect().Height()) << c.name;
        EXPECT_EQ("1001", window->UserName().GetText()) << c.name;
    }
}

TEST_F(CallWindowTest, AStoredNumberIsPickedOnlyWhenItCanBeReadWholeAndKeepsTheKeypadsRules) {
    CallHistory history;
    ASSERT_TRUE(history.AddReceived(sipua::NameAddr::parse("<sip:12%23@10.0.0.1>"))); // escaped
    ASSERT_TRUE(history.AddEntry("Ana", "2002", HistoryList::Received));
    ASSERT_TRUE(history.AddEntry("Bea", "1234567890123456", HistoryList::Received));
    ContactBook contacts;
    const std::optional<ListItem> eva = contacts.AddContact("Eva", "3003");
    ASSERT_TRUE(eva.has_value());
    const std::optional<ListItem> ivo = contacts.AddContact("Ivo", "555 1234");
    ASSERT_TRUE(ivo.has_value());
    // Picked while the balance view shows; a pick from the history closes it, one from the
    // contacts leaves its caption.
    struct Case {
        uint16_t command;
        int32_t index;
        std::string number; // "" when the pick changes nothing
        std::string shown;
    };
    const Case cases[] = {
        {CMakeCall::kCmdHistoryPick, 1, "2002", "|2002"},
        {CMakeCall::kCmdHistoryPick, 0, "", ""}, // 16 characters
        {CMakeCall::kCmdHistoryPick, 2, "12#", "|12#"},
        {CMakeCall::kCmdHistoryPick, 3, "", ""}, // no such entry
        {CMakeCall::kCmdHistoryPick, -1, "", ""},
        {CMakeCall::kCmdContactPick, eva->data, "3003", "Your Balance is:|3003"},
        {CMakeCall::kCmdContactPick, ivo->data, "5551234", "Your Balance is:|5551234"},
        {CMakeCall::kCmdContactPick, ivo->data + 1, "", ""},
    };
    for (const Case& c : cases) {
        g_PhoneState = PS_IDLE;
        window->Call().HangUp(true);
        Type("7");
        window->Call().ShowBalanceView(true);
        window->UpdateStatus();
        const std::string before = Shown();
        window->OnCommand(c.command, c.index);
        EXPECT_EQ(c.number.empty() ? "7" : c.number, window->Call().GetDialedNumber())
            << c.command << " " << c.index;
        EXPECT_EQ(c.number.empty() ? before : c.shown, Shown()) << c.command << " " << c.index;
        EXPECT_EQ(PS_ENTERING_NUMBER, g_PhoneState);
        const bool historyPicked = c.command == CMakeCall::kCmdHistoryPick && !c.number.empty();
        EXPECT_EQ(!historyPicked, window->Call().IsBalanceViewShown())
            << c.command << " " << c.index;
    }
}

TEST_F(CallWindowTest, HelpOpensThePageInTheSkinsLanguageBesideTheProgram) {
    RecordingShell shell;
    struct Case {
        int32_t language; // skin value 301; -1 for none
        const char* folder;
    };
    const Case cases[] = {
        {-1, "english"}, {0, "english"}, {1, "espanol"}, {2, "portuguese"}, {3, "english"}};
    for (const Case& c : cases) {
        TestSkin skin = CallSkin();
        if (c.language >= 0) {
            skin.Value(CMakeCall::kHelpLanguageValue, c.language);
        }
        plat::ResourceModule module;
        ASSERT_TRUE(skin.Load(module));
        g_SkinModule = &module;
        face->TypeKey(kVkF1);
        ASSERT_FALSE(shell.runs.empty()) << c.language;
        EXPECT_EQ(plat::ProgramDir() + "/help/" + c.folder + "/index.htm", shell.runs.back().back())
            << c.language;
        g_SkinModule = ProgramModule();
    }
    EXPECT_EQ(5u, shell.runs.size());
}

TEST_F(CallWindowTest, HelpThatCannotBeOpenedIsTracedAndNamedInABoxAlsoWhenTheWindowWentFirst) {
    const std::string page = plat::ProgramDir() + "/help/english/index.htm";
    const std::string line = "CMakeCall::ShowHelp: no se pudo abrir " + page;
    const struct {
        const char* name;
        const char* opener; // what the opener does
        bool windowGoesFirst;
        bool opened;
    } cases[] = {
        {"handed on", "exit 0", false, true},
        {"no method available", "exit 3", false, false},
        {"no method available, the window gone before the answer", "exit 3", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(nullptr, slot);
        FakeOpener opener(c.opener);
        gui.RunPending();
        trace.Clear();
        windows.MessageBoxes().Clear();
        face->TypeKey(kVkF1);
        if (c.windowGoesFirst) {
            slot->Destroy();
        }
        ASSERT_TRUE(Eventually([&] { return gui.PendingCount() > 0; }));
        gui.RunPending();
        EXPECT_EQ(page + "\n", opener.Opened());
        EXPECT_EQ(!c.opened, trace.Count(line)) << TraceText();
        EXPECT_EQ(c.opened ? std::vector<std::string>{}
                           : std::vector<std::string>{"Sorry, " + page + " could not be opened."},
                  Boxes());
    }
}

TEST(ForwardPageTest, TheForwardPageIsUnderTheServicesWebSite) {
    struct Case {
        const char* site;
        const char* url;
    };
    const Case cases[] = {
        {"demo.test", "http://demo.test/kzn/index.php"},
        {"https://demo.test", "https://demo.test/kzn/index.php"},
        {"https://demo.test/phone/", "https://demo.test/phone/kzn/index.php"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.url, ForwardPageUrl(c.site)) << c.site;
    }
}

TEST_F(CallWindowTest, OnItsEndTheHandsetGoesBackToTheLoginFormAndPostsToTheWindowAreDropped) {
    const plat::PostTarget old = window->MessageTarget();
    ASSERT_NE(0u, CUsbEventsDest::DriverCallback(CUsbEventsDest::kEventKeyDown, 4));
    gui.RunPending();
    EXPECT_FALSE(face->IsVisible()); // the handset's hide key reached the window
    EXPECT_TRUE(owner.received.empty());

    slot->Destroy();
    EXPECT_EQ(nullptr, slot);
    EXPECT_FALSE(old.PostMessage(CMakeCall::WM_MEDIA_LEVEL));
    g_Balance.Update(2.0, "2.00");
    ASSERT_NE(0u, CUsbEventsDest::DriverCallback(CUsbEventsDest::kEventKeyDown, 4));
    gui.RunPending();
    EXPECT_EQ(std::vector<uint32_t>{CUsbEventsDest::WM_USB_EVENT}, owner.received);
    EXPECT_EQ(1u, windows.Windows().size());
}

} // namespace
