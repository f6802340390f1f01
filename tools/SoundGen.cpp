// Writes the program's sound files into a directory: the key tones (DTMF pairs of ITU-T Q.23),
// the ringback, busy and hang-up tones (the North American precise tone plan), all 8 kHz
// 16-bit mono, under the names the program plays them by.
//
//   quorvex_soundgen <output dir>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/audio/file/WavFile.h"

namespace {

constexpr double kRate = 8000.0;
// Each component of a tone at -12 dBFS, so a pair peaks at half of full scale.
constexpr double kComponentAmplitude = 0.25 * 32767.0;
// Raised-cosine edges keep the bursts free of clicks (and of energy away from their tones).
constexpr double kRampSeconds = 0.005;

struct Burst {
    double lowHz;
    double highHz;
    double onSeconds;  // tone
    double offSeconds; // silence after it
};

void AppendBurst(std::vector<int16_t>* samples, const Burst& burst) {
    auto on = static_cast<size_t>(burst.onSeconds * kRate);
    auto ramp = static_cast<size_t>(kRampSeconds * kRate);
    for (size_t i = 0; i < on; ++i) {
        double t = static_cast<double>(i) / kRate;
        double gain = 1.0;
        size_t edge = std::min(i, on - 1 - i);
        if (edge < ramp) {
            gain = 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(edge) / ramp);
        }
        double value =
            kComponentAmplitude * gain *
            (std::sin(2 * M_PI * burst.lowHz * t) + std::sin(2 * M_PI * burst.highHz * t));
        samples->push_back(static_cast<int16_t>(std::lround(value)));
    }
    samples->insert(samples->end(), static_cast<size_t>(burst.offSeconds * kRate), 0);
}

bool WriteSound(const std::string& dir, const std::string& name, const std::vector<Burst>& bursts) {
    std::vector<int16_t> samples;
    for (const Burst& burst : bursts) {
        AppendBurst(&samples, burst);
    }
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        auto value = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    std::string path = dir + "/" + name;
    plat::WavFileWriter writer;
    std::string error;
    if (!writer.Open(path, plat::WaveDeviceFormat{}, &error) ||
        !writer.Append(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "quorvex_soundgen: cannot write %s: %s\n", path.c_str(),
                     error.c_str());
        return false;
    }
    writer.Close();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvex_soundgen <output dir>\n");
        return 2;
    }
    std::string dir = argv[1];
    // Key tones: the file's letter, then the row and column frequencies of the key.
    struct Key {
        const char* file;
        double row;
        double column;
    };
    const Key keys[] = {
        {"1.wav", 697, 1209}, {"2.wav", 697, 1336}, {"3.wav", 697, 1477}, {"4.wav", 770, 1209},
        {"5.wav", 770, 1336}, {"6.wav", 770, 1477}, {"7.wav", 852, 1209}, {"8.wav", 852, 1336},
        {"9.wav", 852, 1477}, {"a.wav", 941, 1209}, {"0.wav", 941, 1336}, {"n.wav", 941, 1477},
    };
    bool ok = true;
    for (const Key& key : keys) {
        ok = WriteSound(dir, key.file, {{key.row, key.column, 0.15, 0.0}}) && ok;
    }
    // One cadence each: the players loop ringback and busy.
    ok = WriteSound(dir, "repicando.wav", {{440, 480, 2.0, 4.0}}) && ok;
    ok = WriteSound(dir, "Ocupado.WAV", {{480, 620, 0.5, 0.5}}) && ok;
    // Hang-up: three short bursts of the reorder tone.
    ok = WriteSound(dir, "hangup.wav",
                    {{480, 620, 0.25, 0.25}, {480, 620, 0.25, 0.25}, {480, 620, 0.25, 0.0}}) &&
         ok;
    return ok ? 0 : 1;
}
