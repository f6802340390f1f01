// The program itself on a private Xvfb, driven with xdotool as a user would: a clean start
// shows the login window and the first-run wizard, and the login window shows what the
// built-in skin draws; typing a user and a password and pressing Enter signs in against
// kamailio and brings up the signed-in window; exit asks message 3 and ends the program.
// Without a compositor the screen shows the form's premultiplied pixels where their alpha is
// above 0 and the backdrop elsewhere.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

namespace {

constexpr uint32_t kBackdrop = 0x00306090u;
constexpr int kLoginWidth = 232;
constexpr int kLoginHeight = 300;

XvfbDisplay* g_display = nullptr;

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
            return;
        }
        display_ = std::make_unique<XvfbDisplay>("800x600x24");
        if (display_->Ok() && plat::EnsureGtk()) {
            g_display = display_.get();
        }
    }
    void TearDown() override { g_display = nullptr; }

private:
    std::unique_ptr<XvfbDisplay> display_;
};

const auto* g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

void Pump() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        Pump();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
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

struct ShownWindow {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0;
};

// The program's visible top-level windows.
std::vector<ShownWindow> ProgramWindows() {
    std::vector<ShownWindow> windows;
    std::istringstream ids(Run("xdotool search --onlyvisible --class quorvex 2>/dev/null"));
    std::string id;
    while (ids >> id) {
        ShownWindow w;
        w.id = id;
        std::istringstream geometry(Run("xdotool getwindowgeometry --shell " + id));
        std::string line;
        while (std::getline(geometry, line)) {
            auto value = [&line](const char* key) {
                return std::atoi(line.c_str() + std::string(key).size());
            };
            if (line.rfind("X=", 0) == 0) {
                w.x = value("X=");
            } else if (line.rfind("Y=", 0) == 0) {
                w.y = value("Y=");
            } else if (line.rfind("WIDTH=", 0) == 0) {
                w.width = value("WIDTH=");
            } else if (line.rfind("HEIGHT=", 0) == 0) {
                w.height = value("HEIGHT=");
            }
        }
        windows.push_back(w);
    }
    return windows;
}

// The shown window of that size, if any.
bool FindWindow(int width, int height, ShownWindow* found) {
    for (const ShownWindow& w : ProgramWindows()) {
        if (w.width == width && w.height == height) {
            *found = w;
            return true;
        }
    }
    return false;
}

void Xdotool(const std::string& args) {
    const std::string cmd = "xdotool " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// Sends keys to a window the way a user would: focus it, then type.
void KeysTo(const ShownWindow& w, const std::string& keys) {
    Xdotool("windowfocus --sync " + w.id + " " + keys);
}

// The program in a home of its own, run with the demo deployment and no sound card.
class Program {
public:
    explicit Program(const std::string& home) {
        const std::string deployment = std::string(QUORVEX_PROGRAM_DIR) + "/deployment.ini";
        std::vector<std::string> env = {"DISPLAY=" + g_display->Name(),
                                        "QUORVEX_HOME=" + home,
                                        "QUORVEX_DEPLOYMENT=" + deployment,
                                        "QUORVEX_AUDIO=null",
                                        "NO_AT_BRIDGE=1",
                                        "HOME=" + home,
                                        "PATH=/usr/bin:/bin"};
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0 || entry.rfind("UBSAN_OPTIONS=", 0) == 0 ||
                entry.rfind("LSAN_OPTIONS=", 0) == 0) {
                env.push_back(entry);
            }
        }
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        std::string path = QUORVEX_PROGRAM;
        char* argv[] = {path.data(), nullptr};
        started_ = std::chrono::steady_clock::now();
        if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            pid_ = -1;
        }
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    std::chrono::steady_clock::time_point StartTime() const { return started_; }
    // Whether it ended within `ms`; its exit status in *status.
    bool Exited(int ms, int* status) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            int raw = 0;
            if (waitpid(pid_, &raw, WNOHANG) == pid_) {
                exited_ = true;
                *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Resident memory in kB.
    long ResidentKb() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0) {
                return std::atol(line.c_str() + 6);
            }
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::chrono::steady_clock::time_point started_;
};

// The screen as RGB.
class Screenshot {
public:
    Screenshot() {
        GdkWindow* root = gdk_get_default_root_window();
        pixbuf_ = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root),
                                             gdk_window_get_height(root));
    }
    ~Screenshot() { g_object_unref(pixbuf_); }
    uint32_t At(int x, int y) const {
        const guchar* p = gdk_pixbuf_get_pixels(pixbuf_) + y * gdk_pixbuf_get_rowstride(pixbuf_) +
                          x * gdk_pixbuf_get_n_channels(pixbuf_);
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    bool Save(const std::string& path) const {
        return gdk_pixbuf_save(pixbuf_, path.c_str(), "png", nullptr, nullptr) != FALSE;
    }

private:
    GdkPixbuf* pixbuf_ = nullptr;
};

// What the built-in skin says the login window shows before anything is typed: the background
// with the four buttons at rest, composed from the skin's own resources.
plat::Surface ExpectedLoginWindow() {
    plat::ResourceModule* module = ProgramModule();
    plat::ResourceModule* previous = g_SkinModule;
    g_SkinModule = module;
    plat::Surface image;
    zel_Bitmap background;
    if (background.LoadFromModule(module, 105) &&
        image.Create(background.width, background.height)) {
        plat::Canvas canvas(image);
        canvas.AlphaBlend({0, 0, background.width, background.height}, background.surface, 0, 0);
        for (int id : {100, 101, 102, 103}) {
            zel_Bitmap button;
            const SkinPos* pos = GetSkinPos(id);
            if (pos && button.LoadFromModule(module, id)) {
                const int frame = button.height / 3;
                canvas.AlphaBlend({pos->x, pos->y, pos->x + button.width, pos->y + frame},
                                  button.surface, 0, 0);
            }
        }
    }
    g_SkinModule = previous;
    image.Flush();
    return image;
}

// Pixels of the window's place that differ from `image` by more than 2 on a channel, leaving
// out the caret column of the user field, which blinks.
int Mismatches(const Screenshot& shot, const plat::Surface& image, const ShownWindow& w) {
    const SkinArea caret{34, 129, 1, 20};
    int bad = 0;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            if (x == caret.x && y >= caret.y && y < caret.y + caret.height) {
                continue;
            }
            const uint8_t* p = image.Row(y) + 4 * x;
            const uint32_t want =
                p[3] == 0 ? kBackdrop : (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            const uint32_t got = shot.At(w.x + x, w.y + y);
            for (int shift : {0, 8, 16}) {
                if (std::abs(static_cast<int>((want >> shift) & 0xFF) -
                             static_cast<int>((got >> shift) & 0xFF)) > 2) {
                    ++bad;
                    break;
                }
            }
        }
    }
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
        backdrop_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_decorated(GTK_WINDOW(backdrop_), FALSE);
        gtk_widget_set_app_paintable(backdrop_, TRUE);
        gtk_window_move(GTK_WINDOW(backdrop_), 0, 0);
        gtk_widget_set_size_request(backdrop_, 800, 600);
        g_signal_connect(backdrop_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) {
                             cairo_set_source_rgb(cr, 0x30 / 255.0, 0x60 / 255.0, 0x90 / 255.0);
                             cairo_paint(cr);
                             return TRUE;
                         }),
                         nullptr);
        gtk_widget_show(backdrop_);
        ASSERT_TRUE(WaitFor([] { return Screenshot().At(790, 590) == kBackdrop; }));
        Xdotool("mousemove 795 595"); // away from the program's buttons
    }
    void TearDown() override {
        if (backdrop_) {
            gtk_widget_destroy(backdrop_);
            Pump();
        }
        if (!home_.empty()) {
            std::system(("rm -rf '" + home_ + "'").c_str());
        }
    }
    plat::IniFile Ini() { return plat::IniFile(home_ + "/config/quorvex.ini"); }
    std::string Trace() const {
        std::ifstream file(home_ + "/data/trace.txt");
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    }

    std::string home_;
    GtkWidget* backdrop_ = nullptr;
};

TEST_F(LoginGuiTest, ACleanStartShowsTheLoginWindowAndTheWizard) {
    Program program(home_);
    ASSERT_TRUE(program.Started());
    ShownWindow login;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(kLoginWidth, kLoginHeight, &login); }));
    const auto firstWindow = std::chrono::steady_clock::now() - program.StartTime();
    // The wizard comes up over the login window: the second window of the program.
    ShownWindow wizard;
    ASSERT_TRUE(WaitFor([&] {
        for (const ShownWindow& w : ProgramWindows()) {
            if (w.id != login.id) {
                wizard = w;
                return true;
            }
        }
        return false;
    }));
    std::printf("[ figures  ] start to the login window: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(firstWindow).count()));
    KeysTo(wizard, "key Return"); // Continue
    ASSERT_TRUE(WaitFor([&] { return ProgramWindows().size() == 1; }));
    ASSERT_TRUE(
        WaitFor([this] { return Ini().GetString("General", "RegisterWizard", "") == "0"; }));

    const plat::Surface expected = ExpectedLoginWindow();
    ASSERT_EQ(kLoginWidth, expected.Width());
    int bad = -1;
    ASSERT_TRUE(
        WaitFor([&] { return (bad = Mismatches(Screenshot(), expected, login)) == 0; }, 3000))
        << bad << " pixels differ from the built-in skin's login window";
    Screenshot().Save(home_ + "/login.png");
}

TEST_F(LoginGuiTest, SigningInShowsTheSignedInWindowAndExitEndsTheProgram) {
    KamailioProcess kamailio;
    if (!kamailio.ok()) {
        if (RunningUnderCi()) {
            FAIL() << "kamailio cannot start";
        }
        GTEST_SKIP() << "kamailio cannot start";
    }
    ASSERT_TRUE(plat::MakeDirs(home_ + "/config"));
    ASSERT_TRUE(Ini().WriteString("General", "RegisterWizard", "0"));
    Program program(home_);
    ShownWindow login;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(kLoginWidth, kLoginHeight, &login); }));
    KeysTo(login, "type --delay 30 1001");
    KeysTo(login, "key Tab");
    KeysTo(login, "type --delay 30 4321");
    KeysTo(login, "key Return");

    // The login window hides; the signed-in window is the one shown instead.
    ShownWindow face;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<ShownWindow> shown = ProgramWindows();
        if (shown.size() != 1 || shown[0].id == login.id) {
            return false;
        }
        face = shown[0];
        return true;
    })) << Trace()
        << kamailio.Log();
    EXPECT_EQ("1001", Ini().GetString("General", "LastUser", ""));
    EXPECT_GE(kamailio.Count("ACK-SEEN"), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("[ figures  ] resident memory after sign-in: %ld kB\n", program.ResidentKb());

    // Escape asks whether to exit; the box is the program's one other window.
    KeysTo(face, "key Escape");
    ShownWindow question;
    ASSERT_TRUE(WaitFor([&] {
        for (const ShownWindow& w : ProgramWindows()) {
            if (w.id != face.id) {
                question = w;
                return true;
            }
        }
        return false;
    }));
    KeysTo(question, "key Return"); // Yes
    int status = -1;
    ASSERT_TRUE(program.Exited(8000, &status)) << "the program did not end";
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, Trace().find("END TRACE"));
}

} // namespace
