// The program itself on a private Xvfb, driven with xdotool as a user would. Without a
// compositor the screen shows the form's premultiplied pixels where their alpha is above 0 and
// the (black) root window elsewhere.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/resources/BuiltInModule.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/GtkRuntime.h"
#include "skin/SkinResources.h"
#include "skin/zel_Bitmap.h"
#include "tests/sip/KamailioProcess.h"
#include "tests/support/RunningUnderCi.h"
#include "tests/ui/XvfbDisplay.h"

extern char** environ;
// The leak checker's suppressions of GTK's and fontconfig's process-lifetime caches
// (tests/ui/GtkLeakSuppressions.cpp); the program under a sanitizer build gets them too.
extern "C" const char* __lsan_default_suppressions();

namespace {

XvfbDisplay* g_display = nullptr;

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        display_ = std::make_unique<XvfbDisplay>("800x600x24");
        if (std::system("command -v xdotool >/dev/null 2>&1") == 0 && display_->Ok() &&
            plat::EnsureGtk()) {
            g_display = display_.get();
        }
    }
    void TearDown() override { g_display = nullptr; }

private:
    std::unique_ptr<XvfbDisplay> display_;
};
const auto* g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) {
            out += buffer;
        }
        pclose(pipe);
    }
    return out;
}

struct Shown {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0;
};

// The program's visible windows, with their places.
std::vector<Shown> Windows() {
    std::vector<Shown> windows;
    std::istringstream lines(Run("for w in $(xdotool search --onlyvisible --class quorvex); do "
                                 "eval $(xdotool getwindowgeometry --shell $w); "
                                 "echo $w $X $Y $WIDTH $HEIGHT; done 2>/dev/null"));
    Shown w;
    while (lines >> w.id >> w.x >> w.y >> w.width >> w.height) {
        windows.push_back(w);
    }
    return windows;
}

// Waits for the program to show exactly one window other than `other`.
bool OnlyWindowBut(const std::string& other, Shown* found) {
    return WaitFor([&] {
        std::vector<Shown> shown = Windows();
        if (shown.size() != 1 || shown[0].id == other) {
            return false;
        }
        *found = shown[0];
        return true;
    });
}

void Keys(const Shown& w, const std::string& keys) {
    const std::string cmd = "xdotool windowfocus --sync " + w.id + " " + keys;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// The program with its own home, the demo deployment and no sound card.
class Program {
public:
    explicit Program(const std::string& home) {
        setenv("DISPLAY", g_display->Name().c_str(), 1);
        setenv("QUORVEX_HOME", home.c_str(), 1);
        setenv("QUORVEX_DEPLOYMENT", QUORVEX_PROGRAM_DIR "/deployment.ini", 1);
        setenv("QUORVEX_AUDIO", "null", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        const std::string suppressions = home + "/leaks.supp";
        std::ofstream(suppressions) << __lsan_default_suppressions();
        setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
        char path[] = QUORVEX_PROGRAM;
        char* argv[] = {path, nullptr};
        started_ = std::chrono::steady_clock::now();
        if (posix_spawn(&pid_, path, nullptr, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    long MsSinceStart() const {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - started_)
                                     .count());
    }
    // The exit status once it ended within `ms`; -1 when it still runs.
    int Ended(int ms) {
        int raw = 0;
        if (!WaitFor([&] { return waitpid(pid_, &raw, WNOHANG) == pid_; }, ms)) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    long ResidentKb() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line) && line.rfind("VmRSS:", 0) != 0) {
        }
        return std::atol(line.c_str() + 6);
    }

private:
    pid_t pid_ = -1;
    std::chrono::steady_clock::time_point started_;
};

// The screen's pixel (x, y) as RGB.
uint32_t ScreenAt(GdkPixbuf* shot, int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                      x * gdk_pixbuf_get_n_channels(shot);
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

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

// Pixels of the window that differ from `image` by more than 2 on a channel, leaving out the
// user field's caret column (x 34, from y 129), which blinks.
int Mismatches(const plat::Surface& image, const Shown& w) {
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), w.x, w.y,
                                                 image.Width(), image.Height());
    int bad = 0;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const uint8_t* p = image.Row(y) + 4 * x;
            const uint32_t want = p[3] == 0 ? 0 : (p[2] << 16) | (p[1] << 8) | p[0];
            const uint32_t got = ScreenAt(shot, x, y);
            bool differs = false;
            for (int shift : {0, 8, 16}) {
                differs |= std::abs(static_cast<int>((want >> shift) & 0xFF) -
                                    static_cast<int>((got >> shift) & 0xFF)) > 2;
            }
            bad += differs && !(x == 34 && y >= 129 && y < 149);
        }
    }
    g_object_unref(shot);
    return bad;
}

class LoginGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_display) {
            if (RunningUnderCi()) {
                FAIL() << "no Xvfb or xdotool";
            }
            GTEST_SKIP() << "no Xvfb or xdotool";
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
    Program program(home_);
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
    EXPECT_TRUE(WaitFor([&] { return (bad = Mismatches(expected, login)) == 0; }, 3000))
        << bad << " pixels differ from the built-in skin's login window";
}

TEST_F(LoginGuiTest, SigningInShowsTheSignedInWindowAndExitEndsTheProgram) {
    KamailioProcess kamailio;
    if (!kamailio.ok()) {
        ASSERT_FALSE(RunningUnderCi()) << "kamailio cannot start";
        GTEST_SKIP() << "kamailio cannot start";
    }
    ASSERT_TRUE(Ini().WriteString("General", "RegisterWizard", "0"));
    Program program(home_);
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

} // namespace
