#include "platform/audio/AudioBackend.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/audio/alsa/AlsaAudioBackend.h"
#include "platform/audio/file/FileAudioBackend.h"
#include "platform/audio/null/NullAudioBackend.h"
#include "platform/core/DebugOutput.h"

namespace plat {

bool AudioBackend::IsUsbAudioDevice(bool, int) {
    return false;
}

void AudioBackend::InjectFault(AudioOp op, MMRESULT code, int count) {
    std::lock_guard<std::mutex> guard(faultLock_);
    faults_[static_cast<size_t>(op)] = {code, count};
}

void AudioBackend::ClearFaults() {
    std::lock_guard<std::mutex> guard(faultLock_);
    faults_.fill({});
}

MMRESULT AudioBackend::TakeFault(AudioOp op) {
    std::lock_guard<std::mutex> guard(faultLock_);
    Fault& fault = faults_[static_cast<size_t>(op)];
    if (fault.count == 0) {
        return MMSYSERR_NOERROR;
    }
    if (fault.count > 0) {
        --fault.count;
    }
    return fault.code;
}

namespace {

// Splits "key=value,key=value" into its parts; false on an entry without "=".
bool ParseOptions(const std::string& text, std::string* in, std::string* out, double* speed,
                  std::string* error) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(pos, end - pos);
        size_t eq = item.find('=');
        if (eq == std::string::npos) {
            *error = "audio option without '=': " + item;
            return false;
        }
        std::string key = item.substr(0, eq);
        std::string value = item.substr(eq + 1);
        if (key == "in") {
            *in = value;
        } else if (key == "out") {
            *out = value;
        } else if (key == "speed") {
            char* stop = nullptr;
            double factor = std::strtod(value.c_str(), &stop);
            if (stop == value.c_str() || *stop != '\0' || !(factor > 0) || factor > 1000) {
                *error = "bad audio speed: " + value;
                return false;
            }
            *speed = factor;
        } else {
            *error = "unknown audio option: " + key;
            return false;
        }
        pos = end + 1;
    }
    return true;
}

std::atomic<AudioBackend*> g_installed{nullptr};

AudioBackend& DefaultBackend() {
    static AudioBackend* backend = [] {
        const char* setting = std::getenv("QUORVEX_AUDIO");
        std::string text = setting != nullptr && *setting != '\0' ? setting : "alsa";
        std::string error;
        std::unique_ptr<AudioBackend> made = MakeAudioBackend(text, &error);
        if (!made) {
            DebugOutput(("QUORVEX_AUDIO: " + error + "; using alsa\n").c_str());
            made = std::make_unique<AlsaAudioBackend>();
        }
        return made.release(); // lives for the whole process
    }();
    return *backend;
}

} // namespace

std::unique_ptr<AudioBackend> MakeAudioBackend(const std::string& setting, std::string* error) {
    std::string name = setting.substr(0, setting.find(':'));
    std::string options = name.size() < setting.size() ? setting.substr(name.size() + 1) : "";
    std::string in, out;
    double speed = 1.0;
    if (!ParseOptions(options, &in, &out, &speed, error)) {
        return nullptr;
    }
    if (name == "alsa" && options.empty()) {
        return std::make_unique<AlsaAudioBackend>();
    }
    if (name == "null" && in.empty() && out.empty()) {
        return std::make_unique<NullAudioBackend>(speed);
    }
    if (name == "file") {
        return std::make_unique<FileAudioBackend>(in, out, speed);
    }
    *error = "unknown audio backend: " + setting;
    return nullptr;
}

AudioBackend& CurrentAudioBackend() {
    AudioBackend* installed = g_installed.load();
    return installed != nullptr ? *installed : DefaultBackend();
}

AudioBackend* SetAudioBackend(AudioBackend* backend) {
    return g_installed.exchange(backend);
}

} // namespace plat
