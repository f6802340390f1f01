#pragma once
#include <cstdint>

namespace tamsor {

// Level detector and gain computer of the limiter: attenuates loud passages of 16-bit values
// with a fast attack (lossIncrement dB per value) and a slow release (lossDecrement, negative).
// Knows nothing of samples or formats. Used by one thread at a time.
class LimiterCore {
public:
    LimiterCore(double threshold, double lossIncrement, double lossDecrement);
    virtual ~LimiterCore() = default;

    // Limits n values in place; n below 1 does nothing. Returns 0.
    int Process(int16_t* values, int n);

    double GetLoss() const { return loss; }

private:
    double threshold;
    double loss;
    double lastOverLevel;
    double step;
    double lossIncrement;
    double lossDecrement;
    double lossFloor = 1e-20;
};

} // namespace tamsor
