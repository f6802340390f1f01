// The program itself on a private Xvfb, driven with xdotool as a user would: the login window,
// its start on a system bus that does not answer, and signing in against kamailio.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/resources/BuiltInModule.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "platform/ui/Canvas.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"
#include "tests/app-login/GuiProgram.h"
#include "tests/sip/KamailioProcess.h"
#include "tests/support/PrivateSystemBus.h"
#include "tests/support/RunningUnderCi.h"

namespace {

using namespace guiprogram;

const auto* g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// What the built-in skin says the login window shows before anything is typed: the background
// with the four buttons at rest, composed from the skin's own resources.
plat::Surface ExpectedLoginWindow() {
    plat::ResourceModule* previous = g_SkinModule;
    g_SkinModule = ProgramModule();
    plat::Surface image;
    zel_Bitmap background;
    if (background.LoadFromSkin(105) && image.Create(background.width, background.height)) {
        plat::Canvas canvas(image);
        canvas.AlphaBlend({0, 0, background.width, background.height}, background.surface, 0, 0);
        for (int id : {100, 101, 102, 103}) {
            zel_Bitmap button;
            const SkinPos* pos = GetSkinPos(id);
            if (pos && button.LoadFromSkin(id)) {
                canvas.AlphaBlend(
                    {pos->x, pos->y, pos->x + button.width, pos->y + button.height / 3},
                    button.surface, 0, 0);
            }
        }
    }
    g_SkinModule = previous;
    image.Flush();
    return image;
}

// Pixels of the window that differ from `image`, leaving out the user field's caret column
// (x 34, from y 129), which blinks.
int LoginMismatches(const plat::Surface& image, const Shown& w) {
    return Mismatches(image, w, nullptr,
                      [](int x, int y) { return x == 34 && y >= 129 && y < 149; });
}

// The centre of a button of the built-in skin (its first frame), in window coordinates.
plat::Point ButtonCentre(int id) {
    plat::ResourceModule* previous = std::exchange(g_SkinModule, ProgramModule());
    zel_Bitmap button;
    const SkinPos* pos = GetSkinPos(id);
    const bool loaded = pos && button.LoadFromSkin(id);
    g_SkinModule = previous;
    return loaded ? plat::Point{pos->x + button.width / 2, pos->y + button.height / 6}
                  : plat::Point{-1, -1};
}

// Sees, from its construction on, the requests to iconify a window that clients send to the
// root window for a window manager (which bare Xvfb does not have).
class IconifyRequests {
public:
    IconifyRequests() {
        if (display_) {
            XSelectInput(display_.get(), DefaultRootWindow(display_.get()), SubstructureNotifyMask);
            XSync(display_.get(), False);
        }
    }
    // Whether one came for the window `id` (as xdotool prints it) before `ms` pass.
    bool SeenFor(const std::string& id, int ms) {
        Display* d = display_.get();
        return d &&
               WaitFor(
                   [&] {
                       XEvent e;
                       while (XPending(d) > 0) {
                           XNextEvent(d, &e);
                           if (e.type == ClientMessage && e.xclient.data.l[0] == IconicState &&
                               e.xclient.window == std::stoul(id) &&
                               e.xclient.message_type == XInternAtom(d, "WM_CHANGE_STATE", False)) {
                               return true;
                           }
                       }
                       return false;
                   },
                   ms);
    }

private:
    std::unique_ptr<Display, int (*)(Display*)> display_{XOpenDisplay(nullptr), XCloseDisplay};
};

// GTK keeps what its probe of OpenGL found on the root window (GDK_VISUALS), and later programs
// read it instead of probing: removing it makes the next program probe.
void ForgetGtkVisuals() {
    if (Display* display = XOpenDisplay(nullptr)) {
        XDeleteProperty(display, DefaultRootWindow(display),
                        XInternAtom(display, "GDK_VISUALS", False));
        XCloseDisplay(display);
    }
}

class LoginGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DisplayReady("no Xvfb or xdotool")) {
            return;
        }
        char tmpl[] = "/tmp/qvloginguiXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        home_ = tmpl;
        ASSERT_TRUE(plat::MakeDirs(home_ + "/config"));
        ASSERT_EQ(0, std::system("xdotool mousemove 795 595")); // off the program's buttons
    }
    void TearDown() override {
        if (!home_.empty() && std::system(("rm -rf '" + home_ + "'").c_str()) != 0) {
            ADD_FAILURE() << "cannot remove " << home_;
        }
    }
    plat::IniFile Ini() { return plat::IniFile(home_ + "/config/quorvex.ini"); }
    std::string Trace() const {
        std::ifstream file(home_ + "/data/trace.txt");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::string home_;
};

TEST_F(LoginGuiTest, ACleanStartShowsTheLoginWindowAsTheSkinDrawsItAndTheWizard) {
    Program program(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
    Shown login;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<Shown> shown = Windows();
        return !shown.empty() && (login = shown[0], true);
    }));
    std::printf("[ figures  ] start to the first window: %ld ms\n", program.MsSinceStart());
    EXPECT_EQ(232, login.width);
    Shown wizard;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<Shown> shown = Windows();
        return shown.size() == 2 && (wizard = shown[0].id == login.id ? shown[1] : shown[0], true);
    }));
    Keys(wizard, "key Return"); // Continue
    ASSERT_TRUE(WaitFor([&] { return Ini().GetString("General", "RegisterWizard", "") == "0"; }));

    const plat::Surface expected = ExpectedLoginWindow();
    ASSERT_EQ(login.width, expected.Width());
    ASSERT_EQ(login.height, expected.Height());
    int bad = -1;
    EXPECT_TRUE(WaitFor([&] { return (bad = LoginMismatches(expected, login)) == 0; }, 3000))
        << bad << " pixels differ from the built-in skin's login window";
}

// A FIFO in the place of the settings hive would hold the program before its first window for
// ever: it starts as with a damaged hive, and the trace says why.
TEST_F(LoginGuiTest, ASettingsHiveThatIsAFifoStartsTheProgramWithoutItsSettings) {
    const std::string hive = home_ + "/config/registry.sqlite3";
    ASSERT_EQ(0, mkfifo(hive.c_str(), 0600));
    ASSERT_TRUE(Ini().WriteString("General", "RegisterWizard", "0"));
    Program program(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
    Shown login;
    EXPECT_TRUE(OnlyWindowBut("", &login)) << Trace();
    const std::string line =
        "Registry: cannot open " + hive + ": not a regular file (Is a named pipe)";
    EXPECT_TRUE(WaitFor([&] { return Trace().find(line) != std::string::npos; }, 5000)) << Trace();
}

TEST_F(LoginGuiTest, SigningInShowsTheSignedInWindowAndExitEndsTheProgram) {
    KamailioProcess kamailio;
    if (!kamailio.ok()) {
        ASSERT_FALSE(RunningUnderCi()) << "kamailio cannot start";
        GTEST_SKIP() << "kamailio cannot start";
    }
    ASSERT_TRUE(Ini().WriteString("General", "RegisterWizard", "0"));
    ForgetGtkVisuals();
    Program program(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
    Shown login;
    ASSERT_TRUE(OnlyWindowBut("", &login));
    Keys(login, "type --delay 30 1001");
    Keys(login, "key Tab");
    Keys(login, "type --delay 30 4321");
    Keys(login, "key Return");

    // The login window gives way to the signed-in window.
    Shown face;
    ASSERT_TRUE(OnlyWindowBut(login.id, &face)) << Trace() << kamailio.Log();
    EXPECT_EQ("1001", Ini().GetString("General", "LastUser", ""));
    EXPECT_GE(kamailio.Count("ACK-SEEN"), 1);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf("[ figures  ] resident memory after sign-in: %ld kB\n", program.ResidentKb());
    // Drawn with cairo only: GTK's OpenGL probe has not mapped the GL stack.
    const std::string maps = program.Maps();
    for (const char* gl : {"libGLX", "libEGL", "_dri.so"}) {
        EXPECT_EQ(std::string::npos, maps.find(gl)) << gl;
    }

    // Escape asks whether to exit, in the program's one other window; Yes ends it.
    Keys(face, "key Escape");
    Shown question;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<Shown> shown = Windows();
        return shown.size() == 2 && (question = shown[0].id == face.id ? shown[1] : shown[0], true);
    }));
    Keys(question, "key Return");
    EXPECT_EQ(0, program.Ended(8000)) << Trace();
    EXPECT_NE(std::string::npos, Trace().find("END TRACE"));
}

TEST_F(LoginGuiTest, HideMinimisesWithoutATrayAndHidesIntoATrayWhoseIconBringsItBack) {
    const plat::Point hide = ButtonCentre(103);
    ASSERT_GE(hide.x, 0);
    ASSERT_TRUE(Ini().WriteString("General", "RegisterWizard", "0"));
    {
        // Bare X: nothing holds the tray icon, so hide asks to minimise and the window stays.
        IconifyRequests requests;
        Program program(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
        Shown login;
        ASSERT_TRUE(OnlyWindowBut("", &login));
        Click(login, hide.x, hide.y);
        EXPECT_TRUE(requests.SeenFor(login.id, 3000));
        EXPECT_EQ(1u, Windows().size());
    }
    if (!TrayHost::Installed()) {
        ASSERT_FALSE(RunningUnderCi()) << "trayer is not installed";
        GTEST_SKIP() << "trayer is not installed";
    }
    // With a notification area: hide hides, and a left click on the icon brings it back.
    TrayHost tray(home_ + "/trayer.log");
    Program program(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
    Shown login, icon;
    ASSERT_TRUE(OnlyWindowBut("", &login));
    ASSERT_TRUE(tray.IconShown(&icon)) << "the icon was not embedded";
    Click(login, hide.x, hide.y);
    ASSERT_TRUE(WaitFor([&] { return Windows().empty(); }, 3000));
    Click(icon, icon.width / 2, icon.height / 2);
    EXPECT_TRUE(WaitFor([&] { return Windows().size() == 1; }, 3000));
    int bad = -1;
    EXPECT_TRUE(
        WaitFor([&] { return (bad = LoginMismatches(ExpectedLoginWindow(), login)) == 0; }, 3000))
        << bad << " pixels differ from the login window";
}

TEST_F(LoginGuiTest, ASystemBusThatNeverAnswersHoldsTheFirstWindowBackByTheTimeLimitOnly) {
    PrivateSystemBus bus;
    if (!bus.ok()) {
        ASSERT_FALSE(RunningUnderCi()) << bus.Log();
        GTEST_SKIP() << "no dbus-daemon or no python3 GObject bindings";
    }
    bus.Freeze(); // it takes the program's connection and answers nothing
    ASSERT_TRUE(Ini().WriteString("General", "RegisterWizard", "0"));
    Program program(home_, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR);
    EXPECT_TRUE(WaitFor([] { return !Windows().empty(); }, 3000));
    std::printf("[ figures  ] start to the first window, the bus stopped: %ld ms\n",
                program.MsSinceStart());
    EXPECT_TRUE(WaitFor([&] {
        return Trace().find("CUserLogin::OnInitDialog: sin eventos de energia: no system bus: "
                            "no answer within 2000 ms") != std::string::npos;
    })) << Trace();
}

} // namespace
