// The program's call window on a private Xvfb, signed in against kamailio with baresip as the
// far phone, driven with xdotool. What the screen shows is compared with what the call window
// draws in this process for the same status line and lights (the same skin, fonts and
// drawing code on the fake window system), so no stored picture is needed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/resources/BuiltInModule.h"
#include "app/strings/StringTable.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "skin/SkinResources.h"
#include "tests/app-call/CallFakes.h"
#include "tests/app-login/GuiProgram.h"
#include "tests/e2e/BaresipProcess.h"
#include "tests/sip/KamailioProcess.h"
#include "tests/support/RunningUnderCi.h"

namespace {

using namespace guiprogram;

const auto* g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

class OwnerForm : public CForm {
public:
    OwnerForm() : CForm(153) {}
};

// The call window of user 1001 as the program draws it, in this process on the fake window
// system, for any status line and lights.
class ExpectedFace {
public:
    explicit ExpectedFace(const std::string& home) {
        setenv("QUORVEX_HOME", home.c_str(), 1);
        g_SkinModule = ProgramModule();
        zel_Label::SetStringLoader(LoadCString);
        if (owner_.Create()) {
            window_ = new CMakeCall(owner_, owner_.GetPostTarget(), login_, &slot_,
                                    [](iTraceFile*) { return nullptr; });
            slot_ = window_;
            if (!window_->Make()) {
                slot_ = nullptr;
                delete window_;
                window_ = nullptr;
            }
        }
    }
    ~ExpectedFace() {
        if (slot_) {
            slot_->Destroy();
        }
        CUsbEventsDest::SetTargetWindow({});
        g_SkinModule = nullptr;
    }
    bool Ok() const { return window_ != nullptr; }

    // The whole window with this caption, number display and the first `lights` lights lit.
    plat::Surface Image(const std::string& caption, const std::string& number, int lights) {
        window_->SetStatusCaption(caption);
        window_->SetNumberDisplay(number);
        window_->SetQualityLights(lights > 0, lights > 1, lights > 2, lights > 3);
        window_->Compose();
        const plat::Surface& shown = windows_.Windows().back()->LastImage();
        plat::Surface copy;
        copy.Create(shown.Width(), shown.Height());
        for (int y = 0; y < shown.Height(); ++y) {
            std::memcpy(copy.Row(y), shown.Row(y), static_cast<size_t>(shown.Width()) * 4);
        }
        return copy;
    }
    // The middle of a face button and the rectangle of a label, in window coordinates.
    plat::Point ButtonCentre(int id) const {
        const plat::Rect r = window_->Button(id).GetRect();
        return {window_->FaceOrigin().x + (r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    plat::Rect CaptionRect() const {
        const plat::Rect r = window_->Caption().GetRect();
        const int x = window_->FaceOrigin().x;
        return {x + r.left, r.top, x + r.right, r.bottom};
    }

private:
    plat::ManualGuiDispatcher gui_;
    plat::FakeWindowSystem windows_;
    FakeLoginLink login_;
    OwnerForm owner_;
    CMakeCall* window_ = nullptr;
    CallWindow* slot_ = nullptr;
};

class CallWindowGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DisplayReady("no Xvfb or xdotool")) {
            return;
        }
        char tmpl[] = "/tmp/qvcallguiXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        home_ = tmpl;
        ASSERT_TRUE(plat::MakeDirs(home_ + "/config"));
        ASSERT_TRUE(plat::MakeDirs(home_ + "/bin"));
        ASSERT_TRUE(plat::IniFile(home_ + "/config/quorvex.ini")
                        .WriteString("General", "RegisterWizard", "0"));
        // The desktop's opener, as the program starts it: records what it was asked to open.
        std::ofstream(home_ + "/bin/xdg-open")
            << "#!/bin/sh\necho \"$@\" >> '" << home_ << "/opened.txt'\n";
        ASSERT_EQ(0, chmod((home_ + "/bin/xdg-open").c_str(), 0755));
        setenv("PATH", (home_ + "/bin:" + std::getenv("PATH")).c_str(), 1);
        ASSERT_EQ(0, std::system("xdotool mousemove 795 595")); // off the program's buttons

        kamailio_ = std::make_unique<KamailioProcess>();
        if (!kamailio_->ok()) {
            ASSERT_FALSE(RunningUnderCi()) << "kamailio cannot start";
            GTEST_SKIP() << "kamailio cannot start";
        }
        far_ = std::make_unique<BaresipProcess>(BaresipProcess::Options{});
        ASSERT_TRUE(far_->ok()) << far_->Log();
        expected_ = std::make_unique<ExpectedFace>(home_);
        ASSERT_TRUE(expected_->Ok());
    }
    void TearDown() override {
        program_.reset();
        expected_.reset();
        far_.reset();
        kamailio_.reset();
        if (!home_.empty() && std::system(("rm -rf '" + home_ + "'").c_str()) != 0) {
            ADD_FAILURE() << "cannot remove " << home_;
        }
    }
    std::string Trace() const {
        std::ifstream file(home_ + "/data/trace.txt");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::string Opened() const {
        std::ifstream file(home_ + "/opened.txt");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // Starts the program and signs in as 1001: the call window.
    Shown SignIn() {
        program_ = std::make_unique<Program>(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
        Shown login;
        EXPECT_TRUE(OnlyWindowBut("", &login));
        Keys(login, "type --delay 30 1001");
        Keys(login, "key Tab");
        Keys(login, "type --delay 30 4321");
        const long before = program_->MsSinceStart();
        Keys(login, "key Return");
        Shown face;
        EXPECT_TRUE(OnlyWindowBut(login.id, &face)) << Trace() << kamailio_->Log();
        const long shown = program_->MsSinceStart();
        const plat::Surface rest = expected_->Image("", "", 0);
        int bad = -1;
        EXPECT_TRUE(WaitFor([&] { return (bad = Mismatches(rest, face)) == 0; }, 3000))
            << bad << " pixels differ from the call window at rest";
        std::printf("[ figures  ] sign-in to the call window shown: %ld ms, drawn as expected: "
                    "%ld ms\n",
                    shown - before, program_->MsSinceStart() - before);
        return face;
    }
    void Click(const Shown& face, int id) {
        const plat::Point p = expected_->ButtonCentre(id);
        guiprogram::Click(face, p.x, p.y);
    }
    // Waits until the window shows exactly `image`.
    bool Shows(const plat::Surface& image, const Shown& face, int ms = 5000) {
        return WaitFor([&] { return Mismatches(image, face) == 0; }, ms);
    }

    std::string home_;
    std::unique_ptr<KamailioProcess> kamailio_;
    std::unique_ptr<BaresipProcess> far_;
    std::unique_ptr<ExpectedFace> expected_;
    std::unique_ptr<Program> program_;
};

TEST_F(CallWindowGuiTest, ATypedNumberIsCalledTheLightsMoveAndTheCallIsHungUp) {
    Shown face = SignIn();
    ASSERT_FALSE(HasFatalFailure());

    Keys(face, "type --delay 30 1002");
    EXPECT_TRUE(Shows(expected_->Image("", "1002", 0), face)) << "the typed number";

    Click(face, CMakeCall::kCmdTalk);
    // baresip answers at once: "Talking to:" and the lights of the receive buffer (all four
    // lit while it is nearly empty, none once it is full); every picture the window shows
    // while talking is one of these five.
    std::vector<plat::Surface> talking;
    for (int lights = 0; lights <= 4; ++lights) {
        talking.push_back(expected_->Image("Talking to:", "1002", lights));
    }
    int lit = -1;
    EXPECT_TRUE(WaitFor(
        [&] {
            for (int lights = 0; lights <= 4; ++lights) {
                if (Mismatches(talking[lights], face) == 0) {
                    lit = lights;
                }
            }
            return lit > 0;
        },
        5000))
        << "lights lit while talking: " << lit << Trace() << far_->Log();
    std::printf("[ figures  ] lights lit while talking: %d\n", lit);

    Click(face, CMakeCall::kCmdHangUp);
    EXPECT_TRUE(Shows(expected_->Image("", "1002", 0), face)) << "the number of the last call";
    // The far phone's call ends (on our BYE, or on the closed media port when that is seen
    // first).
    EXPECT_TRUE(far_->WaitForLog("session closed", 5000)) << far_->Log();
}

TEST_F(CallWindowGuiTest, AnIncomingCallRaisesTheHiddenWindowAndF1OpensTheHelpBesideTheProgram) {
    // The hide button hides the window only where a notification area holds the tray icon.
    if (!TrayHost::Installed()) {
        ASSERT_FALSE(RunningUnderCi()) << "trayer is not installed";
        GTEST_SKIP() << "trayer is not installed";
    }
    TrayHost tray(home_ + "/trayer.log");
    Shown face = SignIn();
    ASSERT_FALSE(HasFatalFailure());
    Shown icon;
    ASSERT_TRUE(tray.IconShown(&icon));
    Click(face, CMakeCall::kCmdHide);
    ASSERT_TRUE(WaitFor([] { return Windows().empty(); }, 5000));

    ASSERT_TRUE(far_->Command("dial", "sip:1001@127.0.0.2"));
    Shown raised;
    ASSERT_TRUE(OnlyWindowBut("", &raised)) << Trace() << far_->Log();
    EXPECT_EQ(face.id, raised.id);
    const plat::Rect caption = expected_->CaptionRect();
    const plat::Surface ringing = expected_->Image("Incoming Call from:", "", 0);
    int bad = -1;
    EXPECT_TRUE(WaitFor([&] { return (bad = Mismatches(ringing, raised, &caption)) == 0; }, 5000))
        << bad << " pixels of the caption differ";

    // The hang-up key turns the call away.
    Click(raised, CMakeCall::kCmdHangUp);
    const plat::Surface idle = expected_->Image("", "", 0);
    EXPECT_TRUE(WaitFor([&] { return (bad = Mismatches(idle, raised, &caption)) == 0; }, 5000))
        << bad << " pixels of the caption differ";
    EXPECT_TRUE(far_->WaitForLog("session closed: 480", 5000)) << far_->Log();

    // F1: the help page in the skin's language, installed beside the program.
    Keys(raised, "key F1");
    const std::string page = std::string(QUORVEX_PROGRAM_DIR) + "/help/english/index.htm";
    EXPECT_TRUE(WaitFor([&] { return Opened() == page + "\n"; }, 5000)) << Opened();
    struct stat st {};
    EXPECT_EQ(0, stat(page.c_str(), &st)) << page;
}

} // namespace
