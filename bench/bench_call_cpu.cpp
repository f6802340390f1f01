// CPU per call beside baresip's, on the same paced sound path: a PulseAudio daemon that this
// benchmark starts on a private socket, with a null sink for each speaker and each
// microphone; a sine plays into each microphone sink and the microphones record its monitor
// (PulseAudio's null source does not pace). Both systems reach it through ALSA's default
// device (the PulseAudio plugin).
//
//   ours:    two quorvex-loopback-peer processes (one media object each), RTP through the
//            loopback relay on 127.0.0.1;
//   baresip: two baresip processes (Debian's, G.711 mu-law) on 127.0.0.3, one calling the
//            other directly.
//
// Each call lasts the measuring window plus a few seconds; over the window each side's CPU
// time (user + system, from /proc), share of one core, threads and context switches per
// second (every thread's voluntary and forced ones) are taken, and the same per thread, by
// the threads' names.
//
// Usage: bench_call_cpu [--seconds S] (default 60). Needs pulseaudio, pactl and baresip
// (scripts/install-deps); without them it says so and ends with 0.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tools/loopback/LoopbackCall.h"
#include "tools/loopback/PeerProcess.h"
#include "tools/loopback/PrivateSoundServer.h"

namespace {

using namespace loopback;

constexpr double kDefaultSeconds = 60.0;
constexpr double kSettleSeconds = 3.0; // after the call starts, before the window opens

// What /proc says of one thread at one moment.
struct ThreadSample {
    std::string name;
    double cpuSeconds = 0;
    long long switches = 0; // voluntary + forced
};

// What /proc says of one process at one moment.
struct ProcSample {
    double cpuSeconds = 0;
    long threads = 0;
    long long switches = 0; // voluntary + forced, summed over the live threads
    std::map<std::string, ThreadSample> byThread; // by thread id
};

long long StatusField(const std::string& path, const char* name) {
    std::ifstream in(path);
    std::string line;
    const size_t n = std::strlen(name);
    while (std::getline(in, line)) {
        if (line.compare(0, n, name) == 0 && line.size() > n && line[n] == ':') {
            return std::atoll(line.c_str() + n + 1);
        }
    }
    return 0;
}

// User + system CPU seconds from a stat file of /proc (a process's or a thread's).
double StatCpuSeconds(const std::string& path) {
    std::ifstream stat(path);
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // The fields after the command name (which may hold spaces) start after the last ')'.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

ProcSample Sample(pid_t pid) {
    ProcSample s;
    const std::string dir = "/proc/" + std::to_string(pid);
    s.cpuSeconds = StatCpuSeconds(dir + "/stat");
    s.threads = static_cast<long>(StatusField(dir + "/status", "Threads"));
    if (DIR* tasks = opendir((dir + "/task").c_str())) {
        while (dirent* e = readdir(tasks)) {
            if (e->d_name[0] == '.') {
                continue;
            }
            const std::string task = dir + "/task/" + e->d_name;
            ThreadSample t;
            std::ifstream comm(task + "/comm");
            std::getline(comm, t.name);
            t.cpuSeconds = StatCpuSeconds(task + "/stat");
            t.switches = StatusField(task + "/status", "voluntary_ctxt_switches") +
                         StatusField(task + "/status", "nonvoluntary_ctxt_switches");
            s.switches += t.switches;
            s.byThread[e->d_name] = t;
        }
        closedir(tasks);
    }
    return s;
}

// One kind of thread of a side over the window: the threads of that name together.
struct ThreadFigures {
    int count = 0;
    double cpuSeconds = 0;
    double switchesPerSecond = 0;
};

struct SideFigures {
    double cpuSeconds = 0;
    double coreShare = 0; // of one core, in per cent
    long threads = 0;
    double switchesPerSecond = 0;
    std::map<std::string, ThreadFigures> byName;
};

// Samples both processes at the start and the end of a window of `seconds`.
void MeasureWindow(pid_t a, pid_t b, double seconds, SideFigures* fa, SideFigures* fb) {
    std::this_thread::sleep_for(std::chrono::duration<double>(kSettleSeconds));
    const auto t0 = std::chrono::steady_clock::now();
    const ProcSample a0 = Sample(a), b0 = Sample(b);
    std::this_thread::sleep_until(t0 + std::chrono::duration<double>(seconds));
    const ProcSample a1 = Sample(a), b1 = Sample(b);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    auto fill = [wall](const ProcSample& s0, const ProcSample& s1, SideFigures* f) {
        f->cpuSeconds = s1.cpuSeconds - s0.cpuSeconds;
        f->coreShare = 100.0 * f->cpuSeconds / wall;
        f->threads = s1.threads;
        f->switchesPerSecond = static_cast<double>(s1.switches - s0.switches) / wall;
        // A thread that started inside the window counts from zero.
        for (const auto& [tid, t1] : s1.byThread) {
            ThreadSample t0;
            auto it = s0.byThread.find(tid);
            if (it != s0.byThread.end()) {
                t0 = it->second;
            }
            ThreadFigures& n = f->byName[t1.name];
            ++n.count;
            n.cpuSeconds += t1.cpuSeconds - t0.cpuSeconds;
            n.switchesPerSecond += static_cast<double>(t1.switches - t0.switches) / wall;
        }
    };
    fill(a0, a1, fa);
    fill(b0, b1, fb);
}

bool Have(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// The sound server of the benchmark: null sinks a_spk, a_mic, b_spk, b_mic, a 1000 Hz sine
// into a_mic and a 440 Hz sine into b_mic.
bool StartSoundServer(PrivateSoundServer* server, const std::string& dir, std::string* error) {
    return server->Start(dir, {{"a_spk"}, {"a_mic", 1000}, {"b_spk"}, {"b_mic", 440}}, error);
}

// The environment that sends a process's ALSA default device to side `side`'s sinks.
std::vector<std::string> SideEnv(const PrivateSoundServer& server, char side) {
    return server.EnvFor(std::string(1, side) + "_spk", std::string(1, side) + "_mic.monitor");
}

bool RunOurs(const PrivateSoundServer& server, const std::string& dir, double seconds,
             SideFigures* a, SideFigures* b, std::string* error) {
    CallSetup setup;
    setup.workDir = dir;
    setup.codec = "pcmu";
    setup.seconds = seconds + kSettleSeconds + 2;
    setup.fileAudio = false;
    setup.a.env = SideEnv(server, 'a');
    setup.b.env = SideEnv(server, 'b');
    setup.a.env.push_back("QUORVEX_AUDIO=alsa");
    setup.b.env.push_back("QUORVEX_AUDIO=alsa");
    setup.whileRunning = [&](pid_t pa, pid_t pb) { MeasureWindow(pa, pb, seconds, a, b); };
    CallOutcome outcome;
    if (!RunLoopbackCall(setup, &outcome, error)) {
        return false;
    }
    const RtpStreamStats ab = SummariseRtp(outcome.aToB, 0, 160);
    const RtpStreamStats ba = SummariseRtp(outcome.bToA, 0, 160);
    if (ab.mediaPackets < 50 * seconds * 0.9 || ba.mediaPackets < 50 * seconds * 0.9) {
        *error = "our call carried too few packets";
        return false;
    }
    return true;
}

std::string BaresipConfig(const std::string& listen, const std::string& rtpPorts) {
    return "poll_method\t\tepoll\n"
           "sip_listen\t\t" +
           listen +
           "\n"
           "sip_trans_def\t\tudp\n"
           "audio_player\t\talsa,default\n"
           "audio_source\t\talsa,default\n"
           "audio_alert\t\talsa,default\n"
           "audio_level\t\tno\n"
           "ausrc_srate\t\t8000\nauplay_srate\t\t8000\n"
           "ausrc_channels\t\t1\nauplay_channels\t\t1\n"
           "rtp_ports\t\t" +
           rtpPorts +
           "\n"
           "rtcp_mux\t\tno\n"
           "jitter_buffer_delay\t5-10\n"
           "statmode_default\toff\n"
           "net_interface\t\t127.0.0.3\n"
           "module_path\t\t/usr/lib/baresip/modules\n"
           "module\t\t\tg711.so\nmodule\t\t\talsa.so\n"
           "module_app\t\taccount.so\nmodule_app\t\tmenu.so\n";
}

bool RunBaresip(const PrivateSoundServer& server, const std::string& dir, double seconds,
                SideFigures* a, SideFigures* b, std::string* error) {
    // TLS takes the port after the SIP port, so the two listen ten apart.
    const std::string listenA = "127.0.0.3:5170", listenB = "127.0.0.3:5180";
    for (const auto& [side, listen, rtp] :
         {std::tuple{"a", listenA, "23000-23049"}, std::tuple{"b", listenB, "23050-23099"}}) {
        const std::string sub = dir + "/baresip-" + side;
        if (mkdir(sub.c_str(), 0700) != 0 ||
            !WriteFile(sub + "/config", BaresipConfig(listen, rtp)) ||
            !WriteFile(sub + "/accounts", std::string("<sip:") + side + "@" + listen +
                                              ">;regint=0;answermode=auto;audio_codecs=PCMU\n")) {
            *error = "cannot write baresip's configuration in " + sub;
            return false;
        }
    }
    PeerProcess pb, pa;
    if (!pb.Start("/usr/bin/baresip", {"-f", dir + "/baresip-b"}, SideEnv(server, 'b'),
                  dir + "/baresip-b.out", dir + "/baresip-b.err", error)) {
        return false;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (!pa.Start("/usr/bin/baresip", {"-f", dir + "/baresip-a", "-e", "/dial sip:b@" + listenB},
                  SideEnv(server, 'a'), dir + "/baresip-a.out", dir + "/baresip-a.err", error)) {
        return false;
    }
    MeasureWindow(pa.Pid(), pb.Pid(), seconds, a, b);
    const std::string log = ReadTextFile(dir + "/baresip-a.out");
    if (log.find("Call established") == std::string::npos) {
        *error = "baresip's call was not established:\n" + log.substr(0, 2000);
        return false;
    }
    return true; // the destructors end both processes
}

void PrintRow(const char* system, const char* side, const SideFigures& f) {
    std::printf("  %-8s %-4s %10.3f %10.2f %8ld %12.0f\n", system, side, f.cpuSeconds, f.coreShare,
                f.threads, f.switchesPerSecond);
}

// Each side's threads by name, busiest first.
void PrintThreads(const char* system, const char* side, const SideFigures& f, double seconds) {
    std::vector<std::pair<std::string, ThreadFigures>> rows(f.byName.begin(), f.byName.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.second.switchesPerSecond > b.second.switchesPerSecond;
    });
    for (const auto& [name, t] : rows) {
        std::printf("  %-8s %-4s   %-16s x%-2d %8.3f %8.2f %10.0f\n", system, side, name.c_str(),
                    t.count, t.cpuSeconds, 100.0 * t.cpuSeconds / seconds, t.switchesPerSecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    double seconds = kDefaultSeconds;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    if (!(seconds >= 5 && seconds <= 3600)) {
        std::fprintf(stderr, "bench_call_cpu: the window must last 5 to 3600 s\n");
        return 2;
    }
    if (!Have("pulseaudio") || !Have("pactl") || !Have("baresip")) {
        std::printf("bench_call_cpu: pulseaudio, pactl or baresip is missing "
                    "(scripts/install-deps installs them); nothing measured\n");
        return 0;
    }
    std::string error;
    const std::string dir = MakeWorkDir("quorvex-bench-cpu-", &error);
    if (dir.empty()) {
        std::fprintf(stderr, "bench_call_cpu: %s\n", error.c_str());
        return 1;
    }
    PrivateSoundServer server;
    if (!StartSoundServer(&server, dir, &error)) {
        std::fprintf(stderr, "bench_call_cpu: %s\n", error.c_str());
        return 1;
    }
    std::printf("bench_call_cpu: two-way G.711 mu-law calls through ALSA into a PulseAudio "
                "daemon with null sinks, %.0f s measured per call\n",
                seconds);
    std::fflush(stdout);
    SideFigures oursA, oursB, theirsA, theirsB;
    const std::string oursDir = dir + "/ours";
    if (mkdir(oursDir.c_str(), 0700) != 0 ||
        !RunOurs(server, oursDir, seconds, &oursA, &oursB, &error)) {
        std::fprintf(stderr, "bench_call_cpu: our call failed: %s\n", error.c_str());
        return 1;
    }
    if (!RunBaresip(server, dir, seconds, &theirsA, &theirsB, &error)) {
        std::fprintf(stderr, "bench_call_cpu: the baresip call failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("  %-8s %-4s %10s %10s %8s %12s\n", "system", "side", "CPU s", "% core", "threads",
                "switches/s");
    PrintRow("quorvex", "A", oursA);
    PrintRow("quorvex", "B", oursB);
    PrintRow("baresip", "A", theirsA);
    PrintRow("baresip", "B", theirsB);
    std::printf("\n  per thread: %-8s %-4s %-16s %3s %8s %8s %10s\n", "system", "side", "thread",
                "n", "CPU s", "% core", "switches/s");
    PrintThreads("quorvex", "A", oursA, seconds);
    PrintThreads("quorvex", "B", oursB, seconds);
    PrintThreads("baresip", "A", theirsA, seconds);
    PrintThreads("baresip", "B", theirsB, seconds);
    const double ours = (oursA.cpuSeconds + oursB.cpuSeconds) / 2;
    const double theirs = (theirsA.cpuSeconds + theirsB.cpuSeconds) / 2;
    std::printf("  CPU per side, ours / baresip's: %.2f; context switches: %.2f\n",
                theirs > 0 ? ours / theirs : 0.0,
                theirsA.switchesPerSecond + theirsB.switchesPerSecond > 0
                    ? (oursA.switchesPerSecond + oursB.switchesPerSecond) /
                          (theirsA.switchesPerSecond + theirsB.switchesPerSecond)
                    : 0.0);
    RemoveTree(dir);
    return 0;
}
