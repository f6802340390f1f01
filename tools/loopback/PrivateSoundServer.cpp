#include "tools/loopback/PrivateSoundServer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace loopback {

namespace {

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The silence that keeps the prompt sinks rendering in small blocks.
constexpr const char* kQuietSource = "quorvex_quiet";
// A prompt sink renders in blocks of a few ms; one that still shows more than this latency is
// in the null sink's first 2 s block.
constexpr long kPromptLatencyUs = 100000;

// The "Latency:" of sink `name` in a `pactl list sinks` listing, in us; -1 when it is not
// shown.
long SinkLatencyUs(const std::string& listing, const std::string& name) {
    const size_t at = listing.find("Name: " + name + "\n");
    if (at == std::string::npos) {
        return -1;
    }
    const size_t next = listing.find("Name: ", at + 1);
    const size_t latency = listing.find("Latency: ", at);
    if (latency == std::string::npos || latency > next) {
        return -1;
    }
    return std::strtol(listing.c_str() + latency + 9, nullptr, 10);
}

} // namespace

bool PrivateSoundServer::Available() {
    return std::system("command -v pulseaudio >/dev/null 2>&1 && "
                       "command -v pactl >/dev/null 2>&1") == 0;
}

bool PrivateSoundServer::Start(const std::string& dir, const std::vector<Sink>& sinks,
                               std::string* error) {
    socket_ = dir + "/native";
    env_ = {"HOME=" + dir, "XDG_RUNTIME_DIR=" + dir, "PULSE_RUNTIME_PATH=" + dir + "/run",
            "PULSE_STATE_PATH=" + dir + "/state", "PULSE_SERVER=unix:" + socket_};
    std::vector<std::string> args = {"-n",
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--use-pid-file=no",
                                     "--log-target=stderr",
                                     "-L",
                                     "module-native-protocol-unix socket=" + socket_ +
                                         " auth-anonymous=1"};
    for (const Sink& sink : sinks) {
        args.insert(args.end(),
                    {"-L", "module-null-sink sink_name=" + sink.name + " rate=8000 channels=1"});
    }
    size_t streams = 0;
    bool prompt = false;
    for (const Sink& sink : sinks) {
        if (sink.sineHz > 0) {
            args.insert(args.end(), {"-L", "module-sine sink=" + sink.name +
                                               " frequency=" + std::to_string(sink.sineHz)});
            ++streams;
        }
        if (sink.prompt && !prompt) {
            args.insert(args.end(), {"-L", std::string("module-null-source source_name=") +
                                               kQuietSource + " rate=8000 channels=1"});
            prompt = true;
        }
        if (sink.prompt) {
            args.insert(args.end(),
                        {"-L", std::string("module-loopback source=") + kQuietSource +
                                   " sink=" + sink.name +
                                   " latency_msec=20 source_dont_move=true sink_dont_move=true"});
            ++streams;
        }
    }
    if (!process_.Start("/usr/bin/pulseaudio", args, env_, dir + "/pulse.out", dir + "/pulse.err",
                        error)) {
        return false;
    }
    const std::string last = sinks.empty() ? "" : sinks.back().name;
    auto ready = [&] {
        std::string listing, inputs;
        if (!Pactl({"list", "short", "sinks"}, &listing) ||
            (!last.empty() && listing.find(last) == std::string::npos) ||
            !Pactl({"list", "short", "sink-inputs"}, &inputs) ||
            static_cast<size_t>(std::count(inputs.begin(), inputs.end(), '\n')) < streams ||
            !Pactl({"list", "sinks"}, &listing)) {
            return false;
        }
        for (const Sink& sink : sinks) {
            const long latency = SinkLatencyUs(listing, sink.name);
            if (sink.prompt && (latency < 0 || latency > kPromptLatencyUs)) {
                return false;
            }
        }
        return true;
    };
    for (int i = 0; i < 100; ++i) {
        if (!ready()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        // The quiet source must not take the default from the first sink's monitor.
        if (prompt && !Pactl({"set-default-source", sinks.front().name + ".monitor"})) {
            *error = "the sound server refused its default source";
            return false;
        }
        return true;
    }
    *error = "the sound server did not come up with its sinks, sines and prompt sinks (see " + dir +
             "/pulse.err)";
    return false;
}

std::vector<std::string> PrivateSoundServer::EnvFor(const std::string& sink,
                                                    const std::string& source) const {
    std::vector<std::string> env = env_;
    env.push_back("PULSE_SINK=" + sink);
    env.push_back("PULSE_SOURCE=" + source);
    return env;
}

void PrivateSoundServer::ExportEnv() const {
    for (const std::string& entry : env_) {
        const size_t equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
}

bool PrivateSoundServer::Pactl(const std::vector<std::string>& args, std::string* output) const {
    std::string command;
    for (const std::string& entry : env_) {
        command +=
            entry.substr(0, entry.find('=') + 1) + Quoted(entry.substr(entry.find('=') + 1)) + " ";
    }
    command += "pactl";
    for (const std::string& arg : args) {
        command += " " + Quoted(arg);
    }
    command += " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, n);
    }
    const int status = pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return status == 0;
}

bool PrivateSoundServer::SourceVolumeDb(const std::string& source, double* db) const {
    // "Volume: mono: 52016 /  79% / -6.02 dB"; a silent source shows "-inf dB".
    std::string text;
    if (!Pactl({"get-source-volume", source}, &text)) {
        return false;
    }
    const size_t unit = text.find(" dB");
    const size_t slash = text.rfind("/ ", unit);
    if (unit == std::string::npos || slash == std::string::npos) {
        return false;
    }
    const std::string number = text.substr(slash + 2, unit - slash - 2);
    *db = number == "-inf" ? -INFINITY : std::strtod(number.c_str(), nullptr);
    return true;
}

} // namespace loopback
