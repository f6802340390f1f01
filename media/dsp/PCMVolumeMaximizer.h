#pragma once
#include <atomic>
#include <cstdint>

#include "media/dsp/AverageCalculator.h"
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// Automatic gain: for every frame, finds the magnitude below which `percentile` per cent of
// its values lie and amplifies the frame in place so that magnitude reaches full scale, by at
// most maximumAmplification hundredths.
//
// Threads: SetPercentile, SetMaximumAmplification and TransformStarted on the owner's thread
// while the chain is stopped (the settings are atomic all the same); the transform on whichever
// thread drives the chain, which alone uses histogram and averageCalculator.
class PCMVolumeMaximizer : public AudioTransformer {
public:
    static constexpr int kBins = 256;

    PCMVolumeMaximizer();
    ~PCMVolumeMaximizer() override;

    int LoadTraceLevel() override;

    int SetPercentile(double p);
    int SetMaximumAmplification(uint32_t hundredths);
    double GetPercentile() const { return percentile.load(); }
    uint32_t GetMaximumAmplification() const { return maximumAmplification.load(); }
    // The gain applied to the last frame that was amplified.
    double GetLastGain() const { return lastGain; }

    int TransformStarted() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

private:
    int Fail(int code, const char* text, int value);

    std::atomic<double> percentile{100.0};
    std::atomic<uint32_t> maximumAmplification{100};
    int32_t histogram[kBins] = {};
    AverageCalculator averageCalculator;
    double lastGain = 1.0;
};

} // namespace tamsor
