#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Fixtures of the loopback call: test signals at 8000 samples per second, 16-bit mono, and
// their WAV files. Levels are in dBFS of a full-scale sine (0 dBFS: peak 32767).
namespace loopback {

constexpr int kSampleRate = 8000;

std::vector<int16_t> Tone(double hz, double seconds, double dbfs);
// Two tones of the same level added, as a telephone key sends.
std::vector<int16_t> DualTone(double hz1, double hz2, double seconds, double dbfsEach);
// A linear sweep from hz0 to hz1 under a raised-cosine envelope: an unmistakable marker for
// cross-correlation.
std::vector<int16_t> Chirp(double hz0, double hz1, double seconds, double dbfs);
// Replaces the samples from `at` on with `part` (as far as *signal reaches).
void Overwrite(std::vector<int16_t>* signal, const std::vector<int16_t>& part, size_t at);

// Writes an 8 kHz 16-bit mono WAV: to a temporary name first, renamed into place when whole.
bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, std::string* error);
// Reads an 8 kHz 16-bit mono WAV; any other format is an error.
bool ReadWav(const std::string& path, std::vector<int16_t>* samples, std::string* error);

} // namespace loopback
