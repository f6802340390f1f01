// quorvex-loopback-demo: a call between two quorvex-loopback-peer processes over 127.0.0.1 on
// WAV files (no sound card or display needed), then what each side heard, the RTP rates and
// the mouth-to-ear latency; then two longer calls side by side, with 20 ms and 40 ms frames,
// for the delay at the start of a call and once it is steady (--no-delay leaves them out).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tools/loopback/CallReport.h"
#include "tools/loopback/DelayReport.h"
#include "tools/loopback/LoopbackCall.h"

namespace {

// The delay calls with 20 and 40 ms frames at the same time; false when one fails.
bool RunDelayCalls(const std::string& dir) {
    struct Run {
        int frameMs;
        loopback::CallSetup setup;
        loopback::CallOutcome outcome;
        std::string error;
        bool ok = false;
    };
    Run runs[] = {{20, {}, {}, {}, false}, {40, {}, {}, {}, false}};
    std::printf("Delay: two more calls side by side, %.0f s each, with 20 ms and 40 ms frames\n",
                loopback::kDelayCallSeconds);
    std::fflush(stdout);
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
        Run& run = runs[i];
        const std::string work = dir + "/delay" + std::to_string(run.frameMs);
        run.setup = loopback::MakeDelayCall(run.frameMs, loopback::kDelayCallSeconds, work);
        threads[i] = std::thread([&run, work] {
            if (std::filesystem::create_directory(work)) {
                run.ok = loopback::RunLoopbackCall(run.setup, &run.outcome, &run.error);
            } else {
                run.error = "cannot make " + work;
            }
        });
    }
    bool ok = true;
    for (int i = 0; i < 2; ++i) {
        threads[i].join();
        if (!runs[i].ok) {
            std::fprintf(stderr, "quorvex-loopback-demo: the %d ms call failed: %s\n",
                         runs[i].frameMs, runs[i].error.c_str());
            ok = false;
            continue;
        }
        loopback::PrintDelayReport(stdout, loopback::MeasureDelay(runs[i].setup, runs[i].outcome));
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::string codec = "pcmu";
    bool keep = false;
    bool delay = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--codec") == 0 && i + 1 < argc) {
            codec = argv[++i];
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else if (std::strcmp(argv[i], "--no-delay") == 0) {
            delay = false;
        } else {
            std::fprintf(stderr, "usage: %s [--codec pcmu|pcma] [--keep] [--no-delay]\n", argv[0]);
            return 2;
        }
    }
    if (loopback::PayloadTypeOf(codec) < 0) {
        std::fprintf(stderr, "quorvex-loopback-demo: unknown codec %s (pcmu or pcma)\n",
                     codec.c_str());
        return 2;
    }
    std::string error;
    const std::string dir = loopback::MakeWorkDir("quorvex-demo-", &error);
    if (dir.empty()) {
        std::fprintf(stderr, "quorvex-loopback-demo: %s\n", error.c_str());
        return 1;
    }
    std::printf("Calling: two quorvex-loopback-peer processes, %.1f s, files in %s\n",
                loopback::kCallSeconds, dir.c_str());
    std::fflush(stdout);
    const loopback::CallSetup setup = loopback::MakeStandardCall(codec, dir);
    loopback::CallOutcome outcome;
    if (!loopback::RunLoopbackCall(setup, &outcome, &error)) {
        std::fprintf(stderr, "quorvex-loopback-demo: the call failed: %s\n", error.c_str());
        return 1; // the files stay for a look
    }
    const loopback::CallReport report = loopback::AnalyseStandardCall(setup, outcome);
    loopback::PrintReport(stdout, report);
    std::vector<std::string> problems = loopback::Problems(report);
    for (const std::string& p : problems) {
        std::printf("  PROBLEM: %s\n", p.c_str());
    }
    std::printf("%s\n", problems.empty() ? "The call works both ways." : "The call has faults.");
    std::fflush(stdout);
    if (delay && !RunDelayCalls(dir)) {
        problems.push_back("a delay call failed");
    }
    if (keep || !problems.empty()) {
        std::printf("Files kept in %s\n", dir.c_str());
    } else {
        loopback::RemoveTree(dir);
    }
    return problems.empty() ? 0 : 1;
}
