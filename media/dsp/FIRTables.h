#pragma once
#include <array>

namespace tamsor {

// The four 29-tap voice-band tables. Transmit: A (TxFIRFilter 1, the default) or B (2);
// receive: C (RxFIRFilter 1, the default) or D (2).
constexpr int kFIRTaps = 29;
using FIRTable = std::array<double, kFIRTaps>;

extern const FIRTable kFIRTableA;
extern const FIRTable kFIRTableB;
extern const FIRTable kFIRTableC;
extern const FIRTable kFIRTableD;

} // namespace tamsor
