#include "media/dsp/LimiterCore.h"

#include <cmath>
#include <cstdlib>

namespace tamsor {

LimiterCore::LimiterCore(double threshold_, double lossIncrement_, double lossDecrement_)
    : threshold(threshold_), loss(1e-20), lastOverLevel(1e-20), step(1e-20),
      lossIncrement(lossIncrement_), lossDecrement(lossDecrement_) {}

int LimiterCore::Process(int16_t* values, int n) {
    for (int i = 0; i < n; ++i) {
        const int x = values[i];
        // dB relative to 32768, plus a fixed offset, minus the threshold; 0 gives -infinity.
        const double level =
            20.0 * std::log10(std::abs(x) * 3.0517578125e-05) + 3.1415926536 - threshold;
        if (level > loss) {
            lastOverLevel = level;
            step = lossIncrement;
            loss += step;
        } else {
            // An attack runs on until loss reaches the last level that exceeded it.
            if (loss >= lastOverLevel) {
                step = lossDecrement;
            }
            loss += step;
            if (loss <= lossFloor) {
                loss = lossFloor;
            }
        }
        if (loss > lossFloor) {
            values[i] = static_cast<int16_t>(std::trunc(x * std::pow(10.0, -0.05 * loss)));
        }
    }
    return 0;
}

} // namespace tamsor
