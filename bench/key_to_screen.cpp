// Key-to-screen time of the call window, measured from outside the program as a user sees it:
// keys and clicks are sent through the XTest extension and the screen is read back with
// XGetImage until the number display's pixels change. scripts/key-latency starts the program,
// signs it in and runs this against its call window.
//
//   key_to_screen X Y WIDTH HEIGHT [TRIALS [BURST [GAP_MS [CLICKS]]]]
//
// 1. Finds the number display (the rows that a typed digit leaves changed) and the key's
//    button (the pixels that change only while the key flashes), then clears the number.
// 2. TRIALS single digits (default 20), each from an empty number: the time from the key's
//    press to the first change of the display; median, minimum, 90th percentile, maximum.
// 3. BURST digits (default 10) GAP_MS apart (default 25): the time from the first press to
//    the first and the last change of the display.
// 4. CLICKS times (default 10): a click on that key, the pointer out of the window and, after
//    the leave poll and the double-click time, back to the very pixel in one step, a click
//    again; how many of the clicks changed the display.
// Exits 1 when the screen cannot be read, the display cannot be found or a digit never shows.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Rect {
    int x, y, w, h;
};

Display* g_dpy = nullptr;

std::vector<uint32_t> Grab(const Rect& r) {
    std::vector<uint32_t> pixels;
    XImage* image =
        XGetImage(g_dpy, DefaultRootWindow(g_dpy), r.x, r.y, r.w, r.h, AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "key_to_screen: the screen at %d,%d %dx%d cannot be read\n", r.x, r.y,
                     r.w, r.h);
        std::exit(1);
    }
    pixels.reserve(static_cast<size_t>(r.w) * r.h);
    for (int y = 0; y < r.h; ++y) {
        for (int x = 0; x < r.w; ++x) {
            pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu);
        }
    }
    XDestroyImage(image);
    return pixels;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Key(KeySym sym) {
    const KeyCode code = XKeysymToKeycode(g_dpy, sym);
    XTestFakeKeyEvent(g_dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(g_dpy, code, False, CurrentTime);
    XFlush(g_dpy);
}

void MoveTo(int x, int y) {
    XTestFakeMotionEvent(g_dpy, -1, x, y, CurrentTime);
    XFlush(g_dpy);
}

void Click() {
    XTestFakeButtonEvent(g_dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(g_dpy, 1, False, CurrentTime);
    XFlush(g_dpy);
}

KeySym Digit(int i) {
    return XK_0 + static_cast<KeySym>(i % 10);
}

// Milliseconds until `r` differs from `before`, or -1 after `timeoutMs`.
double UntilChanged(const Rect& r, const std::vector<uint32_t>& before, Clock::time_point start,
                    int timeoutMs) {
    while (MsSince(start) < timeoutMs) {
        if (Grab(r) != before) {
            return MsSince(start);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT [TRIALS [BURST [GAP_MS [CLICKS]]]]\n",
                     argv[0]);
        return 2;
    }
    const Rect window{std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]),
                      std::atoi(argv[4])};
    const int trials = argc > 5 ? std::atoi(argv[5]) : 20;
    const int burst = argc > 6 ? std::atoi(argv[6]) : 10;
    const int gapMs = argc > 7 ? std::atoi(argv[7]) : 25;
    const int clicks = argc > 8 ? std::atoi(argv[8]) : 10;
    g_dpy = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!g_dpy || !XTestQueryExtension(g_dpy, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "key_to_screen: no display with the XTest extension\n");
        return 1;
    }
    // The pointer away from the window while keys are typed.
    const int screenW = DisplayWidth(g_dpy, DefaultScreen(g_dpy));
    const int screenH = DisplayHeight(g_dpy, DefaultScreen(g_dpy));
    const int awayX = window.x > 2 ? 1 : screenW - 2;
    const int awayY = window.y > 2 ? 1 : screenH - 2;
    MoveTo(awayX, awayY);
    SleepMs(300);

    // 1. The number display and the key's button.
    const std::vector<uint32_t> empty = Grab(window);
    Key(Digit(8));
    std::vector<bool> flashed(empty.size(), false);
    const auto calibration = Clock::now();
    while (MsSince(calibration) < 600) {
        const std::vector<uint32_t> now = Grab(window);
        for (size_t i = 0; i < now.size() && i < empty.size(); ++i) {
            flashed[i] = flashed[i] || now[i] != empty[i];
        }
    }
    const std::vector<uint32_t> typed = Grab(window);
    int top = window.h, bottom = -1;
    int keyLeft = window.w, keyTop = window.h, keyRight = -1, keyBottom = -1;
    for (int y = 0; y < window.h; ++y) {
        for (int x = 0; x < window.w; ++x) {
            const size_t i = static_cast<size_t>(y) * window.w + x;
            if (typed[i] != empty[i]) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            } else if (flashed[i]) {
                keyLeft = std::min(keyLeft, x);
                keyRight = std::max(keyRight, x);
                keyTop = std::min(keyTop, y);
                keyBottom = std::max(keyBottom, y);
            }
        }
    }
    if (bottom < 0) {
        std::fprintf(stderr, "key_to_screen: a typed digit changed nothing on the screen\n");
        return 1;
    }
    const Rect display{window.x, window.y + top, window.w, bottom - top + 1};
    std::printf("number display: rows %d-%d of the window\n", top, bottom);
    Key(XK_BackSpace);
    SleepMs(600);

    // 2. Single digits.
    std::vector<double> single;
    for (int t = 0; t < trials; ++t) {
        const std::vector<uint32_t> before = Grab(display);
        const auto start = Clock::now();
        Key(Digit(t));
        const double ms = UntilChanged(display, before, start, 3000);
        if (ms < 0) {
            std::fprintf(stderr, "key_to_screen: digit %d never showed\n", t);
            return 1;
        }
        single.push_back(ms);
        SleepMs(400);
        Key(XK_BackSpace);
        SleepMs(400);
    }
    if (!single.empty()) {
        std::sort(single.begin(), single.end());
        std::printf("key to screen, %d single digits: median %.1f ms, min %.1f, 90th "
                    "percentile %.1f, max %.1f\n",
                    trials, single[single.size() / 2], single.front(),
                    single[single.size() * 9 / 10], single.back());
    }

    // 3. A burst of digits.
    if (burst > 0) {
        const std::vector<uint32_t> before = Grab(display);
        std::vector<uint32_t> last = before;
        const auto start = Clock::now();
        double first = -1, lastChange = -1;
        int sent = 0;
        auto nextKey = start;
        while (MsSince(start) < 4000) {
            if (sent < burst && Clock::now() >= nextKey) {
                Key(Digit(sent + 1));
                ++sent;
                nextKey += std::chrono::milliseconds(gapMs);
            }
            const std::vector<uint32_t> now = Grab(display);
            if (now != last) {
                lastChange = MsSince(start);
                if (first < 0) {
                    first = lastChange;
                }
                last = now;
            }
        }
        std::printf("%d digits %d ms apart (sent within %d ms): first drawn after %.1f ms, "
                    "last after %.1f ms\n",
                    burst, gapMs, (burst - 1) * gapMs, first, lastChange);
        for (int i = 0; i < burst; ++i) {
            Key(XK_BackSpace);
            SleepMs(250);
        }
        SleepMs(400);
    }

    // 4. Clicks on the key after the pointer came back to the pixel it left from.
    if (clicks > 0 && keyRight >= 0) {
        const int kx = window.x + (keyLeft + keyRight) / 2;
        const int ky = window.y + (keyTop + keyBottom) / 2;
        int acted = 0, actedFirst = 0;
        for (int c = 0; c < clicks; ++c) {
            MoveTo(kx, ky);
            SleepMs(300);
            std::vector<uint32_t> before = Grab(display);
            Click();
            actedFirst += UntilChanged(display, before, Clock::now(), 500) >= 0;
            MoveTo(awayX, awayY);
            SleepMs(800); // the leave poll, and no double-click with the next
            MoveTo(kx, ky);
            SleepMs(300);
            before = Grab(display);
            Click();
            acted += UntilChanged(display, before, Clock::now(), 500) >= 0;
            MoveTo(awayX, awayY);
            SleepMs(300);
            Key(XK_BackSpace);
            SleepMs(250);
            Key(XK_BackSpace);
            SleepMs(600);
        }
        std::printf("clicks on the key at (%d, %d): %d of %d acted; after the pointer came back "
                    "to the same pixel: %d of %d acted\n",
                    kx, ky, actedFirst, clicks, acted, clicks);
    }
    XCloseDisplay(g_dpy);
    return 0;
}
