// quorvex-loopback-peer: one end of a loopback call. It drives one media object of libTamsor
// through RTPInterface exactly as the program does for a call (codecs, addresses, both chains,
// volumes, an optional key tone), keeps the call up for a given time and releases it.
// Sound comes from and goes to WAV files (QUORVEX_AUDIO=file:...). What happened is printed
// on stdout as key=value lines; the media engine's trace goes to a file.
#include <getopt.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/api/RTPInterface.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/Paths.h"
#include "tools/loopback/PeerTraceFile.h"

namespace {

constexpr int kCodecALaw = 2;       // RTP payload type 8
constexpr int kCodecULaw = 4;       // RTP payload type 0
constexpr int kReceiveFrameMs = 20; // what the program gives SetReceiveCodec
// Longest wait before the stop flag is looked at again: a stop by signal is noticed within a
// second, and a call without events wakes this thread once a second only.
constexpr uint32_t kPollMs = 1000;

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int) {
    g_stop.store(true);
}

int64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

struct Options {
    int localPort = -1;
    int remotePort = -1;
    int codec = kCodecULaw;
    double seconds = 6.0;
    int jitterMs = 100;
    int frameMs = 20;
    int micLevel = 100;
    int speakerVolume = 100;
    std::string in, out, home, trace, keyTone;
    int keyToneAtMs = -1;
};

void Usage(std::FILE* to) {
    std::fputs(
        "usage: quorvex-loopback-peer --local-port N --remote-port N [options]\n"
        "  --codec pcmu|pcma     codec both ways (default pcmu)\n"
        "  --seconds S           time the call stays up after the transmit start (default 6)\n"
        "  --in WAV --out WAV    microphone and speaker files (else QUORVEX_AUDIO is used)\n"
        "  --home DIR            QUORVEX_HOME for the registry and data dir\n"
        "  --trace FILE          trace log (default: trace.txt in the data dir)\n"
        "  --key-tone WAV        play this file into the call once ...\n"
        "  --key-tone-at MS      ... this many ms after the transmit start (default 1000)\n"
        "  --mic-level N         microphone level 0..100 (default 100)\n"
        "  --speaker-volume N    speaker volume 0..100 (default 100)\n"
        "  --jitter MS           jitter-buffer length for the receive start (default 100)\n"
        "  --frame-ms MS         transmit frame length, 20, 40 or 80 (default 20)\n"
        "The remote address is always 127.0.0.1.\n",
        to);
}

bool ParseInt(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

// Returns 0 when the options are usable, else prints why and returns 2.
int ParseOptions(int argc, char** argv, Options* o) {
    enum {
        kLocal = 1000,
        kRemote,
        kCodec,
        kSeconds,
        kIn,
        kOut,
        kHome,
        kTrace,
        kKeyTone,
        kKeyToneAt,
        kMicLevel,
        kSpeakerVolume,
        kJitter,
        kFrame,
        kHelp
    };
    static const option kLong[] = {{"local-port", required_argument, nullptr, kLocal},
                                   {"remote-port", required_argument, nullptr, kRemote},
                                   {"codec", required_argument, nullptr, kCodec},
                                   {"seconds", required_argument, nullptr, kSeconds},
                                   {"in", required_argument, nullptr, kIn},
                                   {"out", required_argument, nullptr, kOut},
                                   {"home", required_argument, nullptr, kHome},
                                   {"trace", required_argument, nullptr, kTrace},
                                   {"key-tone", required_argument, nullptr, kKeyTone},
                                   {"key-tone-at", required_argument, nullptr, kKeyToneAt},
                                   {"mic-level", required_argument, nullptr, kMicLevel},
                                   {"speaker-volume", required_argument, nullptr, kSpeakerVolume},
                                   {"jitter", required_argument, nullptr, kJitter},
                                   {"frame-ms", required_argument, nullptr, kFrame},
                                   {"help", no_argument, nullptr, kHelp},
                                   {nullptr, 0, nullptr, 0}};
    auto bad = [](const char* what, const char* value) {
        std::fprintf(stderr, "quorvex-loopback-peer: bad %s: %s\n", what, value);
        return 2;
    };
    int c;
    while ((c = getopt_long(argc, argv, "", kLong, nullptr)) != -1) {
        switch (c) {
        case kLocal:
            if (!ParseInt(optarg, 1, 65535, &o->localPort)) {
                return bad("local port", optarg);
            }
            break;
        case kRemote:
            if (!ParseInt(optarg, 1, 65535, &o->remotePort)) {
                return bad("remote port", optarg);
            }
            break;
        case kCodec:
            if (std::strcmp(optarg, "pcmu") == 0) {
                o->codec = kCodecULaw;
            } else if (std::strcmp(optarg, "pcma") == 0) {
                o->codec = kCodecALaw;
            } else {
                return bad("codec (pcmu or pcma)", optarg);
            }
            break;
        case kSeconds: {
            char* end = nullptr;
            o->seconds = std::strtod(optarg, &end);
            if (end == optarg || *end != '\0' || !(o->seconds > 0) || o->seconds > 86400) {
                return bad("seconds", optarg);
            }
            break;
        }
        case kIn:
            o->in = optarg;
            break;
        case kOut:
            o->out = optarg;
            break;
        case kHome:
            o->home = optarg;
            break;
        case kTrace:
            o->trace = optarg;
            break;
        case kKeyTone:
            o->keyTone = optarg;
            break;
        case kKeyToneAt:
            if (!ParseInt(optarg, 0, 86400000, &o->keyToneAtMs)) {
                return bad("key tone time", optarg);
            }
            break;
        case kMicLevel:
            if (!ParseInt(optarg, 0, 100, &o->micLevel)) {
                return bad("microphone level", optarg);
            }
            break;
        case kSpeakerVolume:
            if (!ParseInt(optarg, 0, 100, &o->speakerVolume)) {
                return bad("speaker volume", optarg);
            }
            break;
        case kJitter:
            if (!ParseInt(optarg, 1, 2000, &o->jitterMs)) {
                return bad("jitter length", optarg);
            }
            break;
        case kFrame:
            if (!ParseInt(optarg, 1, 200, &o->frameMs)) {
                return bad("frame length", optarg);
            }
            break;
        case kHelp:
            Usage(stdout);
            std::exit(0);
        default:
            Usage(stderr);
            return 2;
        }
    }
    if (optind != argc) {
        return bad("argument", argv[optind]);
    }
    if (o->localPort < 0 || o->remotePort < 0) {
        std::fputs("quorvex-loopback-peer: --local-port and --remote-port are required\n", stderr);
        return 2;
    }
    if (o->in.empty() != o->out.empty()) {
        std::fputs("quorvex-loopback-peer: give both --in and --out, or neither\n", stderr);
        return 2;
    }
    if (!o->keyTone.empty() && o->keyToneAtMs < 0) {
        o->keyToneAtMs = 1000;
    }
    return 0;
}

// Puts the sound devices on the files: the peer sets QUORVEX_AUDIO itself when given --in and
// --out, and otherwise insists on one that is set, so a test never plays on a real device by
// accident. Returns 0 or 2.
int SetUpEnvironment(const Options& o) {
    if (!o.home.empty() && setenv("QUORVEX_HOME", o.home.c_str(), 1) != 0) {
        std::fprintf(stderr, "quorvex-loopback-peer: cannot set QUORVEX_HOME: %s\n",
                     std::strerror(errno));
        return 2;
    }
    if (!o.in.empty()) {
        if (o.in.find(',') != std::string::npos || o.out.find(',') != std::string::npos) {
            std::fputs("quorvex-loopback-peer: WAV paths must not contain ','\n", stderr);
            return 2;
        }
        const std::string audio = "file:in=" + o.in + ",out=" + o.out;
        if (setenv("QUORVEX_AUDIO", audio.c_str(), 1) != 0) {
            std::fprintf(stderr, "quorvex-loopback-peer: cannot set QUORVEX_AUDIO: %s\n",
                         std::strerror(errno));
            return 2;
        }
    } else {
        const char* audio = std::getenv("QUORVEX_AUDIO");
        if (audio == nullptr || *audio == '\0') {
            std::fputs("quorvex-loopback-peer: give --in and --out, or set QUORVEX_AUDIO\n",
                       stderr);
            return 2;
        }
    }
    return 0;
}

// Runs the call; returns the process exit code. Every operation's result is printed, and the
// first that is not 0 ends the call (after Release) with exit code 1. The receiver signals
// depthChanged from its own thread until Release, so the event must outlive the media object.
int RunCall(const Options& o, RTPInterface* rtp, plat::AutoResetEvent& depthChanged) {
    int failed = 0;
    auto step = [&](const char* name, int result) {
        std::printf("%s=%d\n", name, result);
        if (result != 0 && failed == 0) {
            std::fprintf(stderr, "quorvex-loopback-peer: %s failed with %d\n", name, result);
            failed = 1;
        }
        return result == 0;
    };

    bool ok = step("SetReceiveCodec", rtp->SetReceiveCodec(o.codec, kReceiveFrameMs, 0, 0)) &&
              step("SetAddresses",
                   rtp->SetAddresses("127.0.0.1", o.remotePort, o.localPort, &depthChanged)) &&
              step("SetTransmitCodec", rtp->SetTransmitCodec(o.codec, o.frameMs, 0, 0, 0, 0));
    if (ok) {
        std::printf("rx_start_us=%lld\n", static_cast<long long>(MonotonicUs()));
        ok = step("StartRX", rtp->StartRX(-1, o.jitterMs));
        std::printf("rx_started_us=%lld\n", static_cast<long long>(MonotonicUs()));
    }
    ok = ok && step("SetSpeakerVolume", rtp->SetSpeakerVolume(-1, o.speakerVolume));
    int64_t txStart = 0;
    if (ok) {
        txStart = MonotonicUs();
        std::printf("tx_start_us=%lld\n", static_cast<long long>(txStart));
        ok = step("StartTX", rtp->StartTX(-1));
        std::printf("tx_started_us=%lld\n", static_cast<long long>(MonotonicUs()));
    }
    ok = ok && step("SetMicrophoneVolume", rtp->SetMicrophoneVolume(-1, o.micLevel));
    std::fflush(stdout);

    if (ok) {
        const int64_t end = txStart + static_cast<int64_t>(o.seconds * 1e6);
        int64_t keyToneDue = o.keyTone.empty() ? -1 : txStart + int64_t{o.keyToneAtMs} * 1000;
        long events = 0;
        float lowest = 1.0f, highest = 0.0f, last = 0.0f;
        while (!g_stop.load()) {
            const int64_t now = MonotonicUs();
            if (keyToneDue >= 0 && now >= keyToneDue) {
                int playId = -1;
                std::printf("key_tone_us=%lld\n", static_cast<long long>(MonotonicUs()));
                const int result = rtp->PlayFile(o.keyTone.c_str(), 1, 100, &playId);
                std::printf("key_tone_play_id=%d\n", playId);
                if (!step("PlayFile", result)) {
                    break;
                }
                keyToneDue = -1;
                continue;
            }
            if (now >= end) {
                break;
            }
            int64_t until = keyToneDue >= 0 ? std::min(end, keyToneDue) : end;
            const uint32_t waitMs =
                static_cast<uint32_t>(std::clamp<int64_t>((until - now + 999) / 1000, 1, kPollMs));
            if (depthChanged.Wait(waitMs) == plat::WaitResult::Signalled) {
                last = rtp->GetReceiveQuality();
                lowest = std::min(lowest, last);
                highest = std::max(highest, last);
                ++events;
            }
        }
        std::printf("call_end_us=%lld\n", static_cast<long long>(MonotonicUs()));
        std::printf("quality_events=%ld\nquality_last=%.4f\nquality_min=%.4f\nquality_max=%.4f\n",
                    events, last, events ? lowest : 0.0f, events ? highest : 0.0f);
        if (g_stop.load()) {
            std::puts("stopped_by_signal=1");
        }
    }
    return failed;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (int code = ParseOptions(argc, argv, &o)) {
        return code;
    }
    if (int code = SetUpEnvironment(o)) {
        return code;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // The program's link-time marker: a peer that cannot load libTamsor does not start.
    SI_puedes_leer_esto_es marker;
    marker.Que_falta_compilar_el_tamsor_dll();

    const std::string tracePath =
        o.trace.empty() ? plat::JoinPath(plat::DataDir(), "trace.txt") : o.trace;
    PeerTraceFile trace;
    std::string error;
    if (!trace.Open(tracePath, &error)) {
        std::fprintf(stderr, "quorvex-loopback-peer: %s\n", error.c_str());
        return 1;
    }
    std::printf("trace=%s\n", tracePath.c_str());

    plat::AutoResetEvent depthChanged;
    RTPInterface* rtp = GetRTPInterface(&trace);
    if (!rtp) {
        std::fputs("quorvex-loopback-peer: GetRTPInterface gave no media object\n", stderr);
        return 1;
    }
    const int code = RunCall(o, rtp, depthChanged);
    rtp->Release();
    std::printf("released_us=%lld\n", static_cast<long long>(MonotonicUs()));
    trace.Close();
    std::printf("exit=%d\n", code);
    return code;
}
