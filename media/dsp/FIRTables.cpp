#include "media/dsp/FIRTables.h"

namespace tamsor {

namespace {

// The tables are symmetric: coefficient 28 - i equals coefficient i, 14 is the centre tap.
constexpr FIRTable Mirror(const std::array<double, 15>& half) {
    FIRTable table{};
    for (int i = 0; i < 15; ++i) {
        table[i] = half[i];
        table[kFIRTaps - 1 - i] = half[i];
    }
    return table;
}

} // namespace

const FIRTable kFIRTableA =
    Mirror({0.001554, -0.004377, -0.017541, -0.009891, -0.005435, -0.014788, -0.015432, -0.013299,
            -0.026527, 0.012746, -0.061046, 0.020939, -0.12897, -0.165718, 0.853968});
const FIRTable kFIRTableB =
    Mirror({-0.033925, -0.012966, 0.002133, -0.00738, -0.032748, 0.006314, -0.050229, 0.039981,
            -0.093428, 0.049791, -0.102505, 0.090953, -0.115604, -0.137524, 1.166885});
const FIRTable kFIRTableC =
    Mirror({0.012562, -0.008807, -0.026119, -0.012092, -0.026479, -0.018424, -0.038491, -0.023865,
            -0.066477, -0.007258, -0.096165, -0.009702, -0.136447, -0.011532, 0.941143});
const FIRTable kFIRTableD =
    Mirror({-0.008976, -0.056441, -0.024475, -0.019666, -0.048301, -0.029223, -0.068824, -0.021638,
            -0.079281, 0.016318, -0.106304, 0.05501, -0.108572, -0.003198, 1.049007});

} // namespace tamsor
