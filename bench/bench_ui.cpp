// The skinned form's costs: composing the whole window and one button (clear, draw, present;
// targets 4 ms and 0.5 ms), and the CPU a shown form takes while nothing happens, without a
// timer and with the caret blinking (target under 0.5 % of a core). The form is the size of
// the login form (212 x 404) with ten buttons, three labels and two fields, on a private Xvfb
// (the benchmarks report an error when Xvfb cannot start).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "skin/CForm.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_Command.h"
#include "skin/zel_Edit.h"
#include "skin/zel_Label.h"
#include "tests/skin/TestSkin.h"
#include "tests/ui/XvfbDisplay.h"

namespace {

constexpr int kWidth = 212;
constexpr int kHeight = 404;
constexpr int kButtons = 10;
constexpr uint32_t kTimerEnd = 1;

TestSkin BenchSkin() {
    TestSkin s;
    s.Face("DejaVu Sans").Value(90, 14);
    s.Bitmap(100, kWidth, kHeight, [](int x, int y) {
        const int a = (x < 8 || y < 8 || x >= kWidth - 8 || y >= kHeight - 8) ? 0x60 : 0xF0;
        return (static_cast<uint32_t>(a) << 24) | static_cast<uint32_t>((x * 3) << 16) |
               static_cast<uint32_t>((y / 2) << 8) | 0x80u;
    });
    for (int i = 0; i < kButtons; ++i) {
        s.Pos(110 + i, 16 + (i % 2) * 96, 160 + (i / 2) * 44);
        s.Frames(110 + i, 84, 36, {0xFF2040A0u, 0xFF40A0FFu, 0xC0102050u});
    }
    for (int i = 0; i < 3; ++i) {
        s.Area(130 + i, 16, 20 + i * 22, 180, 18);
    }
    s.Area(140, 16, 90, 180, 20).Area(141, 16, 118, 180, 20);
    return s;
}

class BenchForm : public CForm {
public:
    BenchForm() : CForm(153) {}
    bool OnInitDialog() override {
        CForm::OnInitDialog();
        font.Create(g_UiFontFace, GetSkinValue(90), 400);
        for (int i = 0; i < kButtons; ++i) {
            buttons[i].CreateFromSkin(this, 110 + i, 3);
        }
        for (int i = 0; i < 3; ++i) {
            labels[i].CreateFromSkin(this, 130 + i, &font);
            labels[i].SetText("Label text number " + std::to_string(i));
        }
        edits[0].CreateFromSkin(this, 140, &font);
        edits[1].CreateFromSkin(this, 141, &font);
        edits[0].SetText("5551234");
        background.CreateFromSkin(this, 100);
        CreateBackBuffer(kWidth, kHeight);
        if (idleMs > 0) {
            SetTimer(kTimerEnd, idleMs);
            if (blink) {
                SetTimer(kTimerCaret, kCaretPeriodMs);
            }
        }
        return true;
    }
    void OnTimer(uint32_t id) override {
        if (id == kTimerEnd) {
            EndDialog(1);
            return;
        }
        CForm::OnTimer(id);
    }

    plat::Font font;
    zel_Command buttons[kButtons];
    zel_Label labels[3];
    zel_Edit edits[2];
    zel_Bkgrd background;
    uint32_t idleMs = 0;
    bool blink = false;
};

// The display of the whole run (the window system keeps its connection to the first one).
XvfbDisplay& Display() {
    static XvfbDisplay display;
    return display;
}

// Skin, display and module for one benchmark.
struct Setup {
    Setup() {
        g_FormAlpha = 230;
        BenchSkin().Load(module);
        skin = std::make_unique<CurrentSkin>(&module);
    }
    plat::ResourceModule module;
    std::unique_ptr<CurrentSkin> skin;
};

double Micros(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void Report(benchmark::State& state, std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    if (!us.empty()) {
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[us.size() * 99 / 100];
    }
}

void BM_ComposeFullWindow(benchmark::State& state) {
    Setup setup;
    if (!Display().Ok()) {
        state.SkipWithError("no display: Xvfb did not start");
        return;
    }
    BenchForm form;
    form.Create();
    form.MoveWindow(50, 40);
    form.ShowWindow(plat::kSwShow);
    std::vector<double> us;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        form.Invalidate();
        form.Compose();
        us.push_back(Micros(std::chrono::steady_clock::now() - start));
    }
    Report(state, us);
}
BENCHMARK(BM_ComposeFullWindow)->Unit(benchmark::kMicrosecond)->Iterations(500);

void BM_ComposeOneButton(benchmark::State& state) {
    Setup setup;
    if (!Display().Ok()) {
        state.SkipWithError("no display: Xvfb did not start");
        return;
    }
    BenchForm form;
    form.Create();
    form.MoveWindow(50, 40);
    form.ShowWindow(plat::kSwShow);
    std::vector<double> us;
    bool hover = false;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        hover = !hover;
        if (hover) {
            form.buttons[3].OnMouseEnter(0);
        } else {
            form.buttons[3].OnMouseLeave(0);
        }
        form.Compose();
        us.push_back(Micros(std::chrono::steady_clock::now() - start));
    }
    Report(state, us);
}
BENCHMARK(BM_ComposeOneButton)->Unit(benchmark::kMicrosecond)->Iterations(2000);

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Percent of one core that a shown form takes over `seconds` of idling in its modal loop.
void IdleCpu(benchmark::State& state, bool blink) {
    Setup setup;
    if (!Display().Ok()) {
        state.SkipWithError("no display: Xvfb did not start");
        return;
    }
    constexpr uint32_t kIdleMs = 5000;
    for (auto _ : state) {
        BenchForm form;
        form.idleMs = kIdleMs;
        form.blink = blink;
        const double cpu0 = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        form.DoModal();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - cpu0) / wall;
    }
}
void BM_IdleCpuNoTimer(benchmark::State& state) {
    IdleCpu(state, false);
}
void BM_IdleCpuCaretBlink(benchmark::State& state) {
    IdleCpu(state, true);
}
BENCHMARK(BM_IdleCpuNoTimer)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_IdleCpuCaretBlink)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
