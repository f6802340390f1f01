#include "media/dsp/PCMVolumeMaximizer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "media/base/RegistryValues.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

namespace {

template <typename T> T ReadValue(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

template <typename T> void WriteValue(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof(T));
}

// Counts the magnitudes of n values of type T into the 256 bins. Full-scale values of either
// sign (and the most negative value, which lies beyond full scale) fall into the top bin.
template <typename T>
void CountValues(const uint8_t* data, int n, double fullScale, int32_t* histogram) {
    for (int i = 0; i < n; ++i) {
        const double magnitude = std::fabs(static_cast<double>(ReadValue<T>(data + i * sizeof(T))));
        int bin = static_cast<int>(magnitude / fullScale * 256.0);
        if (bin > PCMVolumeMaximizer::kBins - 1) {
            bin = PCMVolumeMaximizer::kBins - 1;
        }
        ++histogram[bin];
    }
}

template <typename T> void Amplify(uint8_t* data, int n, double fullScale, double gain) {
    for (int i = 0; i < n; ++i) {
        double value = static_cast<double>(ReadValue<T>(data + i * sizeof(T))) * gain;
        if (value > fullScale) {
            value = fullScale;
        } else if (value < -fullScale) {
            value = -fullScale;
        }
        WriteValue<T>(data + i * sizeof(T), static_cast<T>(value));
    }
}

} // namespace

PCMVolumeMaximizer::PCMVolumeMaximizer() : averageCalculator(this) {
    SetComponentNameFor("PCMVolumeMaximizer", this);
    LoadTraceLevel();
}

PCMVolumeMaximizer::~PCMVolumeMaximizer() {
    StopSourceThread();
    StopSinkThread();
}

int PCMVolumeMaximizer::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTracePCMVolumeMaximizer);
}

int PCMVolumeMaximizer::SetPercentile(double p) {
    if (!(p >= 0.0)) {
        p = 0.0; // below 0, or not a number
    } else if (p > 100.0) {
        p = 100.0;
    }
    percentile.store(p);
    return 0;
}

int PCMVolumeMaximizer::SetMaximumAmplification(uint32_t hundredths) {
    maximumAmplification.store(hundredths < 100 ? 100 : hundredths);
    return 0;
}

int PCMVolumeMaximizer::TransformStarted() {
    averageCalculator.Reset();
    return 0;
}

int PCMVolumeMaximizer::Fail(int code, const char* text, int value) {
    char message[128];
    std::snprintf(message, sizeof(message), text, value);
    Trace(code < 0 ? TRACE_FAILURE : TRACE_DETAIL, "TransformAudioSamples : error %d. %s\n", code,
          message);
    return code;
}

int PCMVolumeMaximizer::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    AudioSample* sample = samples.empty() ? nullptr : samples.front().first;
    if (!sample) {
        return Fail(-10, "inSample = NULL", 0);
    }
    const int size = sample->GetDataSize();
    if (size < 1) {
        return Fail(-20, "inSample->DataSize is %d\n", size);
    }
    const uint32_t cap = maximumAmplification.load();
    const uint16_t bits = sample->Format().wBitsPerSample;
    double fullScale = 0.0;
    int bytesPerValue = 0;
    switch (bits) {
    case 8:
        fullScale = 127.0;
        bytesPerValue = 1;
        break;
    case 16:
        fullScale = 32767.0;
        bytesPerValue = 2;
        break;
    case 32:
        fullScale = std::pow(2.0, 31.0) - 1.0;
        bytesPerValue = 4;
        break;
    default:
        break;
    }
    const int n = bytesPerValue ? size / bytesPerValue : 0;
    if (cap <= 100) {
        // No gain allowed: the frame passes unchanged.
        Fail(0, "maximumAmplification is %d\n", static_cast<int>(cap));
    } else if (bytesPerValue == 0) {
        return Fail(-30, "sample audioformat wBitsPerSample = %d", bits);
    } else if (n > 0) {
        std::memset(histogram, 0, sizeof(histogram));
        uint8_t* data = sample->GetData();
        if (bytesPerValue == 1) {
            CountValues<int8_t>(data, n, fullScale, histogram);
        } else if (bytesPerValue == 2) {
            CountValues<int16_t>(data, n, fullScale, histogram);
        } else {
            CountValues<int32_t>(data, n, fullScale, histogram);
        }

        const double wanted = percentile.load();
        int level = 0;
        int count = 0;
        for (int b = kBins - 1; b >= 0; --b) {
            count += histogram[b];
            const double below = static_cast<double>(n - count) / n * 100.0;
            if (below < wanted) {
                level = b + 1;
                break;
            }
        }
        const double limit = cap * 0.01;
        double gain = limit;
        if (level > 0) {
            const double quotient = 256.0 / level;
            gain = quotient <= limit ? quotient : limit;
        }
        averageCalculator.Add(gain);
        Trace(TRACE_DETAIL, "TransformAudioSamples : amplifying by %.2f\n", gain);
        lastGain = gain;

        if (bytesPerValue == 1) {
            Amplify<int8_t>(data, n, fullScale, gain);
        } else if (bytesPerValue == 2) {
            Amplify<int16_t>(data, n, fullScale, gain);
        } else {
            Amplify<int32_t>(data, n, fullScale, gain);
        }
    }
    // n == 0 (less than one whole value): nothing to measure, the frame passes unchanged.
    sample->AddRef(this);
    *out = sample;
    return 0;
}

} // namespace tamsor
