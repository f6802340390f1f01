#include "tools/loopback/TestSignal.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "platform/audio/file/WavFile.h"

namespace loopback {

namespace {

double Amplitude(double dbfs) {
    return 32767.0 * std::pow(10.0, dbfs / 20.0);
}

int16_t Clip(double v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

size_t Count(double seconds) {
    return static_cast<size_t>(std::lround(seconds * kSampleRate));
}

} // namespace

std::vector<int16_t> Tone(double hz, double seconds, double dbfs) {
    return DualTone(hz, 0.0, seconds, dbfs);
}

std::vector<int16_t> DualTone(double hz1, double hz2, double seconds, double dbfsEach) {
    const double a = Amplitude(dbfsEach);
    std::vector<int16_t> out(Count(seconds));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        double v = a * std::sin(2 * std::numbers::pi * hz1 * t);
        if (hz2 > 0) {
            v += a * std::sin(2 * std::numbers::pi * hz2 * t);
        }
        out[i] = Clip(v);
    }
    return out;
}

std::vector<int16_t> Chirp(double hz0, double hz1, double seconds, double dbfs) {
    const double a = Amplitude(dbfs);
    std::vector<int16_t> out(Count(seconds));
    const double rate = (hz1 - hz0) / seconds;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double phase = 2 * std::numbers::pi * (hz0 * t + rate * t * t / 2);
        const double envelope = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / out.size());
        out[i] = Clip(a * envelope * std::sin(phase));
    }
    return out;
}

void Overwrite(std::vector<int16_t>* signal, const std::vector<int16_t>& part, size_t at) {
    for (size_t i = 0; i < part.size() && at + i < signal->size(); ++i) {
        (*signal)[at + i] = part[i];
    }
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, std::string* error) {
    const std::string partial = path + ".part";
    {
        plat::WavFileWriter writer;
        if (!writer.Open(partial, plat::WaveDeviceFormat{}, error)) {
            return false;
        }
        // WAV data is little-endian, as this machine is.
        if (!writer.Append(reinterpret_cast<const uint8_t*>(samples.data()),
                           samples.size() * sizeof(int16_t))) {
            *error = "cannot write " + partial;
            writer.Close();
            std::remove(partial.c_str());
            return false;
        }
        writer.Close();
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + partial + ": " + std::strerror(errno);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

bool ReadWav(const std::string& path, std::vector<int16_t>* samples, std::string* error) {
    plat::WaveDeviceFormat format;
    std::vector<uint8_t> data;
    if (!plat::ReadWavFile(path, &format, &data, error)) {
        return false;
    }
    if (!(format == plat::WaveDeviceFormat{})) {
        *error = path + " is not 8 kHz 16-bit mono PCM";
        return false;
    }
    samples->resize(data.size() / sizeof(int16_t));
    std::memcpy(samples->data(), data.data(), samples->size() * sizeof(int16_t));
    return true;
}

} // namespace loopback
