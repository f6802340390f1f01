#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/panels/SkinSwitcher.h"
#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "tests/app-panels/PanelsSupport.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

namespace {

using panelstest::OwnerForm;

class SkinSwitcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox_.Dir().c_str(), 1);
        previousTrace_ = g_pTrace.exchange(&trace_);
        installed_ = plat::JoinPath(plat::DataDir(), SkinFolder::kName);
        ASSERT_TRUE(plat::MakeDirs(installed_));
        g_SkinModule = ProgramModule();
    }
    void TearDown() override {
        g_SkinModule = nullptr;
        LoadedSkinModule().reset();
        g_pTrace = previousTrace_;
        unsetenv("QUORVEX_HOME");
    }

    void Install(int32_t id, int32_t first = 7, bool outOfBounds = false) {
        TestSkin skin = panelstest::Identity(id, first);
        if (outOfBounds) {
            skin.Pos(1, kMaxSkinSide + 1, 0);
        }
        ASSERT_TRUE(panelstest::WriteBytes(plat::JoinPath(installed_, SkinFolder::FileName(id)),
                                           skin.Bytes()));
    }
    SkinSwitcher Switcher() {
        return SkinSwitcher({{&window_, &login_},
                             [this](bool shown) { shows_.push_back(shown); },
                             [this](int id) { messages_.push_back(id); }},
                            SkinFolder(installed_, plat::JoinPath(sandbox_.Dir(), "none")));
    }
    int64_t SkinSetting() { return panelstest::SkinSetting(sandbox_.Registry()); }
    int32_t CurrentId() const { return GetModuleSkinValue(g_SkinModule, kSkinIdValueId); }

    RegistrySandbox sandbox_;
    RecordingTraceLog trace_;
    iTraceFile* previousTrace_ = nullptr;
    std::string installed_;
    OwnerForm window_;
    OwnerForm login_;
    std::vector<bool> shows_;
    std::vector<int> messages_;
};

TEST_F(SkinSwitcherTest, TheNewSkinStaysOnlyWhenEveryFormRebuildsAndAFailureGoesBackAStep) {
    using Outcome = SkinSwitcher::Outcome;
    const struct Case {
        const char* what;
        int32_t target; // switched to, from skin 0x1a (installed and in use)
        int32_t header; // the target's first header value (-1: no file)
        std::set<int32_t> windowFails;
        std::set<int32_t> loginFails;
        std::set<int32_t> loginThrows;
        Outcome outcome;
        int32_t inUse;   // the skin id in use afterwards
        int64_t setting; // `Skin` afterwards (-1: none)
        std::vector<int32_t> loginRebuilds;
        bool outOfBounds = false; // the target holds a position past the bounds
    } cases[] = {
        {"switched", 0x2b, 7, {}, {}, {}, Outcome::Switched, 0x2b, 0x2b, {0x2b}},
        {"the skin in use", 0x1a, 7, {}, {}, {}, Outcome::Unchanged, 0x1a, 0x1a, {}},
        {"no such file", 0x2b, -1, {}, {}, {}, Outcome::Refused, 0x1a, 0x1a, {}},
        {"header 8", 0x2b, 8, {}, {}, {}, Outcome::Refused, 0x1a, 0x1a, {}},
        {"a position out of bounds", 0x2b, 7, {}, {}, {}, Outcome::Refused, 0x1a, 0x1a, {}, true},
        {"the window cannot rebuild",
         0x2b,
         7,
         {0x2b},
         {},
         {},
         Outcome::RolledBack,
         0x1a,
         0x1a,
         {0x1a}},
        {"the login form cannot rebuild",
         0x2b,
         7,
         {},
         {0x2b},
         {},
         Outcome::RolledBack,
         0x1a,
         0x1a,
         {0x2b, 0x1a}},
        {"the login form throws",
         0x2b,
         7,
         {},
         {},
         {0x2b},
         Outcome::RolledBack,
         0x1a,
         0x1a,
         {0x2b, 0x1a}},
        {"neither skin rebuilds", 0x2b, 7, {0x2b, 0x1a}, {}, {}, Outcome::BuiltInBack, 0, -1, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Install(0x1a);
        ASSERT_EQ(Outcome::Switched, Switcher().SwitchSkin(0x1a));
        if (c.header >= 0 && c.target != 0x1a) {
            Install(c.target, c.header, c.outOfBounds);
        }
        window_.rebuilds.clear();
        login_.rebuilds.clear();
        window_.failFor = c.windowFails;
        login_.failFor = c.loginFails;
        login_.throwFor = c.loginThrows;
        shows_.clear();
        messages_.clear();

        EXPECT_EQ(c.outcome, Switcher().SwitchSkin(static_cast<uint32_t>(c.target)));
        EXPECT_EQ(c.inUse, CurrentId());
        EXPECT_EQ(c.setting, SkinSetting());
        EXPECT_EQ(c.loginRebuilds, login_.rebuilds);
        // The module in use is the one kept loaded (or the program's own).
        EXPECT_EQ(c.inUse == 0 ? ProgramModule() : LoadedSkinModule().get(), g_SkinModule);
        const bool failed = c.outcome != Outcome::Switched && c.outcome != Outcome::Unchanged;
        EXPECT_EQ(failed ? std::vector<int>{38} : std::vector<int>{}, messages_);
        // A rebuild happens hidden, and the window comes back.
        const bool rebuilt = !window_.rebuilds.empty();
        EXPECT_EQ((rebuilt ? std::vector<bool>{false, true} : std::vector<bool>{}), shows_);

        // Back to the built-in skin: the setting goes and no skin file stays loaded.
        std::remove(plat::JoinPath(installed_, "2b.zsk").c_str());
        EXPECT_EQ(c.inUse == 0 ? Outcome::Unchanged : Outcome::Switched,
                  Switcher().RevertToBuiltInSkin());
        EXPECT_FALSE(LoadedSkinModule());
        EXPECT_EQ(-1, SkinSetting());
    }
}

TEST_F(SkinSwitcherTest, ASkinFilePastTheByteBudgetIsRefusedUnread) {
    ASSERT_TRUE(panelstest::WriteBytes(plat::JoinPath(installed_, SkinFolder::FileName(0x2b)),
                                       panelstest::AtTheByteBudget(0x2b, 512)));
    EXPECT_EQ(SkinSwitcher::Outcome::Refused, Switcher().SwitchSkin(0x2b));
    EXPECT_EQ(std::vector<int>{38}, messages_);
    EXPECT_EQ(ProgramModule(), g_SkinModule);
    EXPECT_EQ(1, trace_.CountPrefix("CMakeCall::SwitchSkin: no se pudo cargar " +
                                    plat::JoinPath(installed_, "2b.zsk") + ": file too large"));
}

} // namespace
