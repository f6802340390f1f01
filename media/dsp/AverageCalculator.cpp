#include "media/dsp/AverageCalculator.h"

#include "media/base/TraceComponent.h"

namespace tamsor {

void AverageCalculator::Add(double value) {
    sum_ += value;
    ++count_;
    if (count_ >= window_) {
        if (owner_) {
            owner_->Trace(TRACE_DETAIL, "AverageCalculator : average over last %d samples was %f\n",
                          count_, sum_ / count_);
        }
        Reset();
    }
}

void AverageCalculator::Reset() {
    sum_ = 0.0;
    count_ = 0;
}

} // namespace tamsor
