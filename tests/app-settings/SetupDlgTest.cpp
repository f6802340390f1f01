#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/phone/PhoneState.h"
#include "app/phone/RememberedPassword.h"
#include "app/settings/SetupDlg.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"
#include "platform/desktop/testing/FakeHandsetDriver.h"
#include "platform/store/IniFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/RecordingMessageBoxSink.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "tests/support/RegistrySandbox.h"

namespace {

namespace fs = std::filesystem;
using plat::FakeDialog;
using S = SetupDlg;

constexpr int64_t kMissing = -1;
constexpr int64_t kText = -2; // stored as a string, not a DWORD
const char kNone[] = "(none)";

class SetupDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
        g_PhoneState = PS_IDLE;
        ASSERT_TRUE(CUsbEventsDest::Open());
        links = {[this] { return typed; }, [this] { return updateRunning; },
                 [this] { ++updatesStarted; }};
    }
    void TearDown() override {
        CUsbEventsDest::Close();
        unsetenv("QUORVEX_HOME");
        g_PhoneState = PS_LOGGED_OUT;
    }
    int Run(plat::FakeDialogFactory::Script script) {
        dialogs.QueueScript(std::move(script));
        return SetupDlg(links).DoModal(nullptr);
    }
    void Press(uint32_t type, uint32_t key) {
        handset.InjectEvent(type, key);
        gui.RunPending();
    }
    plat::Registry::Key Key() {
        plat::Registry::Key key;
        sandbox.Registry().CreateKey("Software\\Quorvex", &key);
        return key;
    }
    void Store(const char* name, int64_t value) {
        auto dword = static_cast<uint32_t>(value);
        if (value == kText) {
            sandbox.Registry().SetValue(Key(), name, plat::kRegSz, "0", 2);
        } else if (value != kMissing) {
            sandbox.Registry().SetValue(Key(), name, plat::kRegDword, &dword, 4);
        }
    }
    int64_t Stored(const char* name) {
        uint32_t type = 0, value = 0, size = 4;
        bool ok = sandbox.Registry().QueryValue(Key(), name, &type, &value, &size) == 0;
        return ok && type == plat::kRegDword ? value : kMissing;
    }
    plat::IniFile Ini() { return plat::IniFile(plat::JoinPath(plat::ConfigDir(), "quorvex.ini")); }
    std::string Autostart() { return sandbox.Dir() + "/autostart/quorvex.desktop"; }

    RegistrySandbox sandbox;
    plat::FakeDialogFactory dialogs;
    plat::RecordingMessageBoxSink boxes;
    plat::ManualGuiDispatcher gui;
    plat::FakeHandsetDriver handset;
    plat::ScopedHandsetDriver scopedHandset{handset};
    SetupDlg::Links links;
    std::string typed;
    bool updateRunning = false;
    int updatesStarted = 0;
};

TEST_F(SetupDlgTest, RegistrySettingsShowAsReadAndOkWritesWhatIsShown) {
    struct Case {
        int32_t state;
        int64_t outbound, frame; // stored before
        bool outboundShown;
        int selection;
        bool frameEnabled;
        int choose; // the frame size the user picks; -1 none
        int64_t outboundAfter, frameAfter;
    };
    const Case cases[] = {
        {PS_IDLE, kMissing, kMissing, true, 1, true, -1, 1, 1},
        {PS_ENTERING_NUMBER, 0, 7, false, 1, true, -1, 0, 1},
        {PS_IDLE, 5, 3, true, 1, true, -1, 1, 1},
        {PS_IDLE, 1, 2, true, 2, true, 0, 1, 0},
        {PS_IDLE, kText, kText, true, 1, true, -1, 1, 1},
        {PS_REGISTERING, 0, 2, false, 2, false, 0, 0, 2},
        {PS_DIALING, 1, 0, true, 0, false, 2, 1, 0},
        {PS_TALKING, 1, 0, true, 0, false, 1, 1, 0},
        {PS_LOGGED_OUT, kMissing, 2, true, 2, false, 0, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.state << ": " << c.outbound << ", " << c.frame);
        sandbox.Registry().DeleteTree("Software\\Quorvex");
        Store("use_outbound", c.outbound);
        Store("frame_size", c.frame);
        g_PhoneState = c.state;
        EXPECT_EQ(Run([&](FakeDialog& d) {
                      EXPECT_EQ(d.ItemText(S::kFrameSize, 2), "HIGH");
                      EXPECT_EQ(d.GetCheck(S::kUseOutbound), c.outboundShown);
                      EXPECT_EQ(d.Selection(S::kFrameSize), c.selection);
                      EXPECT_EQ(d.IsEnabled(S::kFrameSize), c.frameEnabled);
                      if (c.choose >= 0) {
                          d.Choose(S::kFrameSize, c.choose); // a disabled box ignores it
                      }
                      d.Click(plat::kIdOk);
                  }),
                  plat::kIdOk);
        EXPECT_EQ(Stored("use_outbound"), c.outboundAfter);
        EXPECT_EQ(Stored("frame_size"), c.frameAfter);
    }
}

TEST_F(SetupDlgTest, TheAutostartEntryShowsCheckedOnlyForThisProgramAndUncheckedDeletesAny) {
    const std::string ours = plat::ExecutablePath(), other = "/bin/sh", none;
    const std::tuple<std::string, bool, std::string> cases[] = {
        // the program the entry starts before (empty: no entry), clicked, after OK
        {none, true, ours}, {none, false, none},  {ours, false, ours},
        {ours, true, none}, {other, false, none}, {other, true, ours},
    };
    plat::AutostartEntry entry(Autostart());
    for (const auto& [before, click, after] : cases) {
        SCOPED_TRACE(before + (click ? " clicked" : ""));
        fs::remove(Autostart());
        ASSERT_TRUE(before.empty() || entry.Write(before));
        Run([&](FakeDialog& d) {
            EXPECT_EQ(d.GetCheck(S::kStartWithDesktop), before == ours);
            if (click) {
                d.Click(S::kStartWithDesktop);
            }
            d.Click(plat::kIdOk);
        });
        std::string program;
        EXPECT_EQ(entry.ReadProgram(&program) ? program : none, after);
    }
}

TEST_F(SetupDlgTest, TheTypedPasswordIsRememberedOnlyWhenItComesBackUnchanged) {
    const std::tuple<const char*, bool, const char*, const char*, std::string> cases[] = {
        // remember_last_password before (null: missing), clicked, typed at OK, after
        {nullptr, false, "12345678", "1", EncodeRememberedPassword("12345678")},
        {"1", false, "999999999", "1", EncodeRememberedPassword("999999999")},
        {"1", false, "1000000000", "1", kNone},
        {"1", false, "0042", "1", EncodeRememberedPassword("0042")},
        {"1", false, "12a4", "1", kNone},
        {"1", true, "1234", "0", kNone},
        {"0", true, "1234", "1", EncodeRememberedPassword("1234")},
        {"0", false, "1234", "0", kNone},
    };
    for (const auto& [remember, click, password, remembered, lastPass] : cases) {
        SCOPED_TRACE(password);
        fs::remove(Ini().Path());
        Ini().WriteString("General", "remember_last_password", remember);
        Ini().WriteString("General", "LastPass", "old");
        std::ofstream(Ini().Path(), std::ios::app) << "LastPass=older\n"; // added by hand
        typed = "changed later";
        Run([&](FakeDialog& d) {
            EXPECT_EQ(d.GetCheck(S::kRememberPassword), !remember || remember[0] != '0');
            if (click) {
                d.Click(S::kRememberPassword);
            }
            typed = password; // the field as it is when OK is pressed
            d.Click(plat::kIdOk);
        });
        EXPECT_EQ(Ini().GetString("General", "remember_last_password", kNone), remembered);
        EXPECT_EQ(Ini().GetString("General", "LastPass", kNone), lastPass);
    }
}

TEST_F(SetupDlgTest, CancelTheHandsetsKey4AndUpdateNowWriteNothing) {
    const std::function<void(FakeDialog&)> ways[] = {
        [](FakeDialog& d) { d.Click(plat::kIdCancel); },
        [](FakeDialog& d) { d.Close(); },
        [&](FakeDialog&) { Press(CUsbEventsDest::kEventKeyDown, 4); },
        [](FakeDialog& d) { d.Click(S::kUpdateNow); },
    };
    for (const auto& way : ways) {
        EXPECT_EQ(Run([&](FakeDialog& d) {
                      for (int id : {S::kStartWithDesktop, S::kRememberPassword, S::kUseOutbound}) {
                          d.Click(id);
                      }
                      d.Choose(S::kFrameSize, 2);
                      way(d);
                  }),
                  plat::kIdCancel);
        std::vector<plat::Registry::Value> values;
        sandbox.Registry().EnumValues(Key(), &values);
        EXPECT_TRUE(values.empty());
        EXPECT_FALSE(fs::exists(Ini().Path()));
        EXPECT_FALSE(fs::exists(Autostart()));
    }
    EXPECT_EQ(updatesStarted, 1);
    ASSERT_EQ(boxes.Requests().size(), 4u); // one for each click on the outbound proxy box
    EXPECT_EQ(boxes.Requests()[0].text,
              "You must restart your QUORvex program in order for the changes to take effect");
}

TEST_F(SetupDlgTest, HandsetEventsRaiseTheDialogOnlyKey4DownClosesItAndTheCallerGetsThemBack) {
    int callerEvents = 0;
    auto caller = plat::MessagePort::Open([&](const plat::WindowMessage&) { ++callerEvents; });
    CUsbEventsDest::SetTargetWindow(plat::PostTarget(caller));
    dialogs.QueueScript([&](FakeDialog& d) {
        int presents = 0;
        for (auto [type, key] :
             {std::pair{4u, 3u}, {4u, 5u}, {5u, 4u}, {11u, 4u}, {0x204u, 0x104u}}) {
            SCOPED_TRACE(testing::Message() << type << "/" << key);
            EXPECT_FALSE(d.Ended());
            Press(type, key);
            EXPECT_EQ(d.Presents(), ++presents);
            EXPECT_TRUE(d.IsTopmost());
        }
        EXPECT_TRUE(d.Ended()) << "the low bytes make key 4 down";
    });
    EXPECT_EQ(RunSettingsDialog(nullptr, links, plat::PostTarget(caller)), plat::kIdCancel);
    EXPECT_EQ(callerEvents, 0);
    Press(CUsbEventsDest::kEventKeyDown, 4);
    EXPECT_EQ(callerEvents, 1);
    caller->Close();
}

TEST_F(SetupDlgTest, TheAudioWizardRunsOnlyWithoutACallOrLogInAndTheHandsetComesBack) {
    for (int32_t state : {PS_LOGGED_OUT, PS_REGISTERING, PS_IDLE, PS_ENTERING_NUMBER, PS_DIALING,
                          PS_TALKING, PS_RINGING, PS_EARLY_MEDIA, PS_BUSY}) {
        SCOPED_TRACE(state);
        bool allowed = state == PS_LOGGED_OUT || state == PS_IDLE || state == PS_ENTERING_NUMBER;
        g_PhoneState = state;
        boxes.Clear();
        size_t ran = dialogs.Ran().size();
        Run([&](FakeDialog& d) {
            d.Click(S::kRunAudioWizard);
            Press(CUsbEventsDest::kEventKeyDown, 4); // reaches the dialog again: it closes
        });
        ASSERT_EQ(dialogs.Ran().size(), ran + (allowed ? 2 : 1));
        EXPECT_EQ(dialogs.Ran()[ran].first, allowed ? "Audio Wizard" : "Options");
        EXPECT_EQ(dialogs.Ran().back().second, plat::kIdCancel);
        ASSERT_EQ(boxes.Requests().size(), allowed ? 0u : 1u);
        if (!allowed) {
            EXPECT_EQ(boxes.Requests()[0].text, "Sorry, you can not run the Audio Wizard while "
                                                "you are calling or logging in");
            EXPECT_EQ(boxes.Requests()[0].flags, plat::kMbOk);
        }
    }
}

} // namespace
