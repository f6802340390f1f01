#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

namespace tamsor {

// A finite impulse response filter over signed values of one width (T is int8_t, int16_t or
// int32_t): a delay line of the last `taps` inputs, newest first, and the coefficients in table
// order. Results are clipped to the width's range and truncated toward zero.
//
// The delay line is a ring stored twice over, so delay[i] is always delayLine[position + i]
// without wrapping. Used by one thread at a time.
template <typename T> class FIRFilterCore {
public:
    FIRFilterCore(std::span<const double> table, int taps)
        : coefficients(table.begin(), table.begin() + std::clamp<int>(taps, 0, table.size())),
          taps(static_cast<int>(coefficients.size())), delayLine(2 * coefficients.size(), 0.0),
          minimumOutput(static_cast<double>(std::numeric_limits<T>::min())),
          maximumOutput(static_cast<double>(std::numeric_limits<T>::max())) {}
    virtual ~FIRFilterCore() = default;

    // Filters n values read from `in` into `out` (both may be the same bytes).
    void Process(const uint8_t* in, uint8_t* out, int n) {
        for (int k = 0; k < n; ++k) {
            T value;
            std::memcpy(&value, in + k * sizeof(T), sizeof(T));
            const double y = Step(static_cast<int32_t>(value));
            const T result = static_cast<T>(y);
            std::memcpy(out + k * sizeof(T), &result, sizeof(T));
        }
    }

    // Pushes one value and returns the clipped output (before truncation).
    double Step(int32_t value) {
        if (taps == 0) {
            return 0.0;
        }
        position = position == 0 ? taps - 1 : position - 1;
        delayLine[position] = value;
        delayLine[position + taps] = value;
        const double* delay = delayLine.data() + position;
        const double* c = coefficients.data();
        double y = 0.0;
        for (int i = 0; i < taps; ++i) {
            y += delay[i] * c[i];
        }
        if (y > maximumOutput) {
            y = maximumOutput;
        } else if (y < minimumOutput) {
            y = minimumOutput;
        }
        return y;
    }

private:
    std::vector<double> coefficients;
    int taps;
    // The input values (32-bit integers, held exactly as doubles so the products need no
    // conversion).
    std::vector<double> delayLine;
    int position = 0;
    double minimumOutput;
    double maximumOutput;
};

using FIRFilterCore8 = FIRFilterCore<int8_t>;
using FIRFilterCore16 = FIRFilterCore<int16_t>;
using FIRFilterCore32 = FIRFilterCore<int32_t>;

} // namespace tamsor
