// Figures of real calls on loopback, printed, not judged (run by hand: e2e_call_figures):
// the call set-up time (talk key to the first media-level signal, that is to RTP arriving),
// median of 20 calls; the mouth-to-ear delay in both directions, found with a marker in each
// side's audio and the moments the files started; and the CPU time per call of the program
// beside baresip's, both with paced file audio.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/trace/TraceFile.h"
#include "sip/SipTrace.h"
#include "tests/e2e/BaresipProcess.h"
#include "tests/e2e/LoopbackPhone.h"
#include "tests/sip/KamailioProcess.h"
#include "tests/support/RegistrySandbox.h"
#include "tools/loopback/AudioAnalysis.h"
#include "tools/loopback/CallReport.h"
#include "tools/loopback/TestSignal.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr double kMarkerAt = 2.0; // seconds into each side's source

double Seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// The moments StartTX and StartRX were called on each media object.
struct MediaTimes {
    std::mutex lock;
    Clock::time_point startTx;
    Clock::time_point startRx;
};
MediaTimes g_times;

// Forwards every operation to the engine's media object and notes when the microphone and
// the speaker files started.
class TimedMedia final : public RTPInterface {
public:
    explicit TimedMedia(RTPInterface* inner) : inner_(inner) {}
    void Release() override {
        inner_->Release();
        delete this;
    }
    int SetReceiveCodec(int a, int b, int c, int d) override {
        return inner_->SetReceiveCodec(a, b, c, d);
    }
    int SetTransmitCodec(int a, int b, int c, int d, uint16_t e, int f) override {
        return inner_->SetTransmitCodec(a, b, c, d, e, f);
    }
    int SetAddresses(const char* ip, int port, int local, plat::AutoResetEvent* e) override {
        return inner_->SetAddresses(ip, port, local, e);
    }
    int PlayFile(const char* p, int o, int v, int* id) override {
        return inner_->PlayFile(p, o, v, id);
    }
    bool StopFile(int id) override { return inner_->StopFile(id); }
    int StartTX(int device) override {
        std::lock_guard<std::mutex> lock(g_times.lock);
        g_times.startTx = Clock::now();
        return inner_->StartTX(device);
    }
    int StopTX() override { return inner_->StopTX(); }
    int StartRX(int device, int jitter) override {
        std::lock_guard<std::mutex> lock(g_times.lock);
        g_times.startRx = Clock::now();
        return inner_->StartRX(device, jitter);
    }
    int StopRX() override { return inner_->StopRX(); }
    int SetSpeakerVolume(int d, int v) override { return inner_->SetSpeakerVolume(d, v); }
    int SetMicrophoneVolume(int d, int v) override { return inner_->SetMicrophoneVolume(d, v); }
    bool TestSpeaker() override { return inner_->TestSpeaker(); }
    bool TestMicrophone() override { return inner_->TestMicrophone(); }
    float GetReceiveQuality() override { return inner_->GetReceiveQuality(); }

private:
    RTPInterface* inner_;
};

// How the files of a directory (and one more file) grow: their sizes, polled every 2 ms, so
// the moment a given sample was written can be found.
class GrowthWatch {
public:
    GrowthWatch(const std::string& dir, const std::string& extra) : dir_(dir), extra_(extra) {
        thread_ = std::thread([this] { Run(); });
    }
    ~GrowthWatch() { Stop(); }
    void Stop() {
        if (!stop_.exchange(true)) {
            thread_.join();
        }
    }
    // When the file whose name ends with `suffix` first held `bytes` bytes.
    bool Reached(const std::string& suffix, uint64_t bytes, Clock::time_point* at) {
        std::lock_guard<std::mutex> lock(lock_);
        for (const auto& [name, samples] : growth_) {
            if (name.size() < suffix.size() ||
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
                continue;
            }
            for (const auto& [time, size] : samples) {
                if (size >= bytes) {
                    *at = time;
                    return true;
                }
            }
        }
        return false;
    }

private:
    void Note(const std::string& path) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            return;
        }
        auto& samples = growth_[path];
        uint64_t size = static_cast<uint64_t>(st.st_size);
        if (samples.empty() || samples.back().second != size) {
            samples.emplace_back(Clock::now(), size);
        }
    }
    void Run() {
        while (!stop_) {
            {
                std::lock_guard<std::mutex> lock(lock_);
                if (DIR* d = opendir(dir_.c_str())) {
                    while (dirent* e = readdir(d)) {
                        if (std::string(e->d_name).rfind("dump-", 0) == 0) {
                            Note(dir_ + "/" + e->d_name);
                        }
                    }
                    closedir(d);
                }
                Note(extra_);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    std::string dir_;
    std::string extra_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::map<std::string, std::vector<std::pair<Clock::time_point, uint64_t>>> growth_;
};

// User and system CPU seconds of a process.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::vector<std::string> fields;
    size_t pos = close + 2;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        fields.push_back(text.substr(pos, end - pos));
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the command.
    double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return fields.size() > 13 ? (std::stod(fields[11]) + std::stod(fields[12])) / ticks : 0;
}

// The program's side, its media objects timed.
struct Phone : LoopbackPhone {
    RegistrySandbox sandbox;

    bool SignIn(const std::string& programDir) {
        setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
        return LoopbackPhone::SignIn(programDir, [](iTraceFile* log) -> RTPInterface* {
            RTPInterface* media = GetRTPInterface(log);
            return media ? new TimedMedia(media) : nullptr;
        });
    }
};

// The program's trace log, noting when the first RTP packet of a call was taken in (the
// receiver traces its initial buffer depth then).
class TimingTrace : public iTraceFile {
public:
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }
    void WriteTime() override {}
    void NewLine() override {
        if (line_.rfind("RTPAudioSource::GenerateData: buffer recepcion inicial", 0) == 0) {
            firstRtp = Clock::now();
            ++calls;
        }
        if (line_.find("CMakeCall") != std::string::npos ||
            line_.find("InitRtp") != std::string::npos) {
            std::fprintf(stderr, "figures: trace: %s\n", line_.c_str());
        }
        line_.clear();
    }
    void Write(const char* text) override { line_ += text; }
    std::atomic<int> calls{0};
    Clock::time_point firstRtp;

private:
    std::recursive_mutex lock_;
    std::string line_;
};
TimingTrace g_timing;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main() {
    char tmpl[] = "/tmp/qvfiguresXXXXXX";
    std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    std::string mic = dir + "/mic.wav";
    std::string speaker = dir + "/speaker.wav";
    std::string farSource = dir + "/far.wav";
    std::string error;
    // Each source: a quiet tone with the marker at 2 s.
    std::vector<int16_t> ours = loopback::Tone(440, 40, -30);
    loopback::Overwrite(&ours, loopback::Marker(), kMarkerAt * loopback::kSampleRate);
    std::vector<int16_t> theirs = loopback::Tone(1000, 40, -30);
    loopback::Overwrite(&theirs, loopback::Marker(), kMarkerAt * loopback::kSampleRate);
    if (!loopback::WriteWav(mic, ours, &error) || !loopback::WriteWav(farSource, theirs, &error)) {
        std::fprintf(stderr, "figures: %s\n", error.c_str());
        return 1;
    }
    setenv("QUORVEX_AUDIO", ("file:in=" + mic + ",out=" + speaker).c_str(), 1);
    g_pTrace.store(&g_timing);
    sipua::SetTraceSink([](const char* text) { std::fprintf(stderr, "figures: sip: %s\n", text); });

    KamailioProcess kamailio;
    if (!kamailio.ok()) {
        std::fprintf(stderr, "figures: kamailio did not start\n");
        return 1;
    }
    Phone phone;
    if (!phone.SignIn(dir)) {
        std::fprintf(stderr, "figures: no registration\n");
        return 1;
    }

    // 1. Set-up time, 20 calls to baresip answering at once.
    {
        BaresipProcess far({});
        if (!far.ok()) {
            std::fprintf(stderr, "figures: baresip did not start\n%s", far.Log().c_str());
        }
        std::vector<double> setups;
        for (int i = 0; i < 20 && far.ok(); ++i) {
            int before = g_timing.calls;
            phone.call->PickNumber("1002");
            Clock::time_point start = Clock::now();
            phone.call->OnTalk();
            if (phone.Until([&] { return g_timing.calls > before; }, 5000)) {
                setups.push_back(
                    std::chrono::duration<double, std::milli>(g_timing.firstRtp - start).count());
            } else {
                std::fprintf(stderr, "figures: call %d: no RTP (state %d)\n", i,
                             static_cast<int>(g_PhoneState));
            }
            std::fprintf(stderr, "figures: call %d state %d\n", i, static_cast<int>(g_PhoneState));
            phone.call->HangUp(true);
            phone.Wait(300);
        }
        std::sort(setups.begin(), setups.end());
        std::printf("set-up time (talk key to RTP arriving), %zu calls: median %.1f ms, min %.1f, "
                    "max %.1f\n",
                    setups.size(), Median(setups), setups.empty() ? 0 : setups.front(),
                    setups.empty() ? 0 : setups.back());
    }

    // 2. and 3. One 20 s call with a marker in each side's source, and the CPU time of both.
    BaresipProcess::Options options;
    options.play = farSource;
    BaresipProcess far(options);
    if (!far.ok()) {
        std::fprintf(stderr, "figures: baresip did not start\n%s", far.Log().c_str());
        return 1;
    }
    GrowthWatch watch(far.dir(), speaker);
    double ourCpu = CpuSeconds(getpid());
    double farCpu = CpuSeconds(far.pid());
    phone.call->PickNumber("1002");
    phone.call->OnTalk();
    phone.Wait(20000);
    phone.call->HangUp(true);
    ourCpu = CpuSeconds(getpid()) - ourCpu;
    farCpu = CpuSeconds(far.pid()) - farCpu;
    phone.Wait(500);
    far.Stop();
    watch.Stop();

    std::vector<int16_t> heardByFar;
    std::vector<int16_t> sentByFar;
    std::vector<int16_t> heardByUs;
    std::vector<std::string> dec = far.Recordings("dec");
    std::vector<std::string> enc = far.Recordings("enc");
    bool ok = dec.size() == 1 && enc.size() == 1 &&
              loopback::ReadWav(dec[0], &heardByFar, &error) &&
              loopback::ReadWav(enc[0], &sentByFar, &error) &&
              loopback::ReadWav(speaker, &heardByUs, &error);
    if (!ok) {
        std::fprintf(stderr, "figures: recordings missing: %s\n", error.c_str());
        return 1;
    }
    auto find = [](const std::vector<int16_t>& s) {
        return loopback::FindMarker(s, loopback::Marker(), 0, std::min<size_t>(s.size(), 8 * 8000));
    };
    loopback::MarkerMatch atFar = find(heardByFar);
    loopback::MarkerMatch sentFar = find(sentByFar);
    loopback::MarkerMatch atUs = find(heardByUs);
    Clock::time_point startTx;
    Clock::time_point startRx;
    {
        std::lock_guard<std::mutex> lock(g_times.lock);
        startTx = g_times.startTx;
        startRx = g_times.startRx;
    }
    // The moment the end of each marker was written: 16-bit samples after a 44-byte header.
    const double markerS = static_cast<double>(loopback::Marker().size()) / 8000;
    auto written = [&](const std::string& suffix, size_t position, Clock::time_point* at) {
        uint64_t bytes = 44 + 2 * (position + loopback::Marker().size());
        return watch.Reached(suffix, bytes, at);
    };
    Clock::time_point farDecoded;
    Clock::time_point farEncoded;
    Clock::time_point weplayed;
    if (atFar.found && written("-dec.wav", atFar.position, &farDecoded)) {
        double spoken = Seconds(startTx) + kMarkerAt + markerS;
        std::printf("program -> baresip (our microphone to baresip's decoder, after its jitter "
                    "buffer): %.0f ms\n",
                    (Seconds(farDecoded) - spoken) * 1000);
    } else {
        std::printf("program -> baresip: marker not found\n");
    }
    if (atUs.found && sentFar.found && written("-enc.wav", sentFar.position, &farEncoded) &&
        written("speaker.wav", atUs.position, &weplayed)) {
        std::printf("baresip -> program (baresip's encoder to our speaker file): %.0f ms\n",
                    (Seconds(weplayed) - Seconds(farEncoded)) * 1000);
    } else {
        std::printf("baresip -> program: marker not found\n");
    }
    std::fprintf(stderr, "figures: speaker %zu samples, positions far %.3f sent %.3f us %.3f\n",
                 heardByUs.size(), atFar.position / 8000.0, sentFar.position / 8000.0,
                 atUs.position / 8000.0);
    std::printf("CPU over a 20 s call: program %.2f s (%.1f %% of a core), baresip %.2f s "
                "(%.1f %%)\n",
                ourCpu, ourCpu / 20 * 100, farCpu, farCpu / 20 * 100);
    std::string cmd = "rm -rf '" + dir + "'";
    return std::system(cmd.c_str()) == 0 ? 0 : 0;
}
