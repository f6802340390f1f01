// quorvex-loopback-demo: a call between two quorvex-loopback-peer processes over 127.0.0.1 on
// WAV files (no sound card or display needed), then what each side heard, the RTP rates and
// the mouth-to-ear latency.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/loopback/CallReport.h"
#include "tools/loopback/LoopbackCall.h"

int main(int argc, char** argv) {
    std::string codec = "pcmu";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--codec") == 0 && i + 1 < argc) {
            codec = argv[++i];
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: %s [--codec pcmu|pcma] [--keep]\n", argv[0]);
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
    const std::vector<std::string> problems = loopback::Problems(report);
    for (const std::string& p : problems) {
        std::printf("  PROBLEM: %s\n", p.c_str());
    }
    std::printf("%s\n", problems.empty() ? "The call works both ways." : "The call has faults.");
    if (keep || !problems.empty()) {
        std::printf("Files kept in %s\n", dir.c_str());
    } else {
        loopback::RemoveTree(dir);
    }
    return problems.empty() ? 0 : 1;
}
