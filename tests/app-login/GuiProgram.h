#pragma once
// The program itself on a private Xvfb, driven with xdotool as a user would: the display, the
// program's process, its windows and the screen's pixels. Without a compositor the screen
// shows a form's premultiplied pixels where their alpha is above 0 and the (black) root window
// elsewhere.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

#include "platform/ui/Geometry.h"
#include "platform/ui/Surface.h"
#include "tests/support/PeerProcess.h"
#include "tests/ui/GtkScreen.h"

extern char** environ;
// The leak checker's suppressions of GTK's and fontconfig's process-lifetime caches
// (tests/ui/GtkLeakSuppressions.cpp); the program under a sanitizer build gets them too.
extern "C" const char* __lsan_default_suppressions();

namespace guiprogram {

// Register with ::testing::AddGlobalTestEnvironment(new guiprogram::GuiEnvironment); the
// display is XvfbGtkEnvironment::Display(), null when there is no Xvfb or xdotool.
class GuiEnvironment : public XvfbGtkEnvironment {
public:
    GuiEnvironment() : XvfbGtkEnvironment("800x600x24", true) {}
};

// Polls `done` every 20 ms until it holds (true) or `ms` pass (false).
inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

inline std::string Run(const std::string& command) {
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

// The program's visible top-level windows, with their places; with `embedded`, also those
// that another program holds (the tray icon in a notification area).
inline std::vector<Shown> Windows(bool embedded = false) {
    std::vector<Shown> windows;
    std::istringstream lines(Run(std::string("for w in $(xdotool search ") +
                                 (embedded ? "" : "--maxdepth 1 ") +
                                 "--onlyvisible --class quorvex); do "
                                 "eval $(xdotool getwindowgeometry --shell $w); "
                                 "echo $w $X $Y $WIDTH $HEIGHT; done 2>/dev/null"));
    Shown w;
    while (lines >> w.id >> w.x >> w.y >> w.width >> w.height) {
        windows.push_back(w);
    }
    return windows;
}

// Waits for the program to show exactly one window other than `other`.
inline bool OnlyWindowBut(const std::string& other, Shown* found, int ms = 10000) {
    return WaitFor(
        [&] {
            std::vector<Shown> shown = Windows();
            if (shown.size() != 1 || shown[0].id == other) {
                return false;
            }
            *found = shown[0];
            return true;
        },
        ms);
}

// trayer, a notification area (an XEmbed system tray) at the top left of the display, while
// the object lives.
class TrayHost {
public:
    explicit TrayHost(const std::string& log)
        : pid_(peerprocess::Spawn("/usr/bin/trayer",
                                  {"trayer", "--edge", "top", "--align", "left", "--height", "24"},
                                  log)) {}
    ~TrayHost() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    static bool Installed() { return access("/usr/bin/trayer", X_OK) == 0; }
    // Waits for the program's tray icon, a window of the program that is not a top-level one.
    bool IconShown(Shown* icon, int ms = 10000) const {
        return pid_ > 0 && WaitFor(
                               [&] {
                                   const std::vector<Shown> top = Windows();
                                   for (const Shown& w : Windows(true)) {
                                       if (std::none_of(top.begin(), top.end(),
                                                        [&](auto& t) { return t.id == w.id; })) {
                                           *icon = w;
                                           return true;
                                       }
                                   }
                                   return false;
                               },
                               ms);
    }

private:
    pid_t pid_;
};

inline void Keys(const Shown& w, const std::string& keys) {
    const std::string cmd = "xdotool windowfocus --sync " + w.id + " " + keys;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// A left click at (x, y) of the window, then the mouse off every window of the program.
inline void Click(const Shown& w, int x, int y) {
    const std::string cmd = "xdotool mousemove " + std::to_string(w.x + x) + " " +
                            std::to_string(w.y + y) + " click 1 mousemove 795 595";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// The program with its own home, the demo deployment (or `deployment`) and no sound card
// (unless the test set QUORVEX_AUDIO itself).
class Program {
public:
    Program(const std::string& home, const char* program, const char* programDir,
            const std::string& deployment = "") {
        setenv("DISPLAY", XvfbGtkEnvironment::Display()->Name().c_str(), 1);
        setenv("QUORVEX_HOME", home.c_str(), 1);
        setenv(
            "QUORVEX_DEPLOYMENT",
            (deployment.empty() ? std::string(programDir) + "/deployment.ini" : deployment).c_str(),
            1);
        setenv("QUORVEX_AUDIO", "null", 0);
        setenv("NO_AT_BRIDGE", "1", 1);
        const std::string suppressions = home + "/leaks.supp";
        std::ofstream(suppressions) << __lsan_default_suppressions();
        setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
        std::string path = program;
        char* argv[] = {path.data(), nullptr};
        started_ = std::chrono::steady_clock::now();
        if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    long MsSinceStart() const {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - started_)
                                     .count());
    }
    void Signal(int signal) const {
        if (pid_ > 0) {
            kill(pid_, signal);
        }
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
    // The process's memory map (/proc/<pid>/maps).
    std::string Maps() const { return Run("cat /proc/" + std::to_string(pid_) + "/maps"); }
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
inline uint32_t ScreenAt(GdkPixbuf* shot, int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                      x * gdk_pixbuf_get_n_channels(shot);
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

// Pixels of `area` of the window (window coordinates; the whole image when null) that differ
// from the same pixels of `image` by more than 2 on a channel; `skip` leaves pixels out.
inline int Mismatches(const plat::Surface& image, const Shown& w, const plat::Rect* area = nullptr,
                      const std::function<bool(int, int)>& skip = nullptr) {
    const plat::Rect r = area ? *area : plat::Rect{0, 0, image.Width(), image.Height()};
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), w.x + r.left,
                                                 w.y + r.top, r.Width(), r.Height());
    if (!shot) {
        return r.Width() * r.Height();
    }
    int bad = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const uint8_t* p = image.Row(y) + 4 * x;
            const uint32_t want = p[3] == 0 ? 0 : (p[2] << 16) | (p[1] << 8) | p[0];
            const uint32_t got = ScreenAt(shot, x - r.left, y - r.top);
            bool differs = false;
            for (int shift : {0, 8, 16}) {
                differs |= std::abs(static_cast<int>((want >> shift) & 0xFF) -
                                    static_cast<int>((got >> shift) & 0xFF)) > 2;
            }
            bad += differs && !(skip && skip(x, y));
        }
    }
    g_object_unref(shot);
    return bad;
}

} // namespace guiprogram
