#pragma once

namespace tamsor {

class TraceComponent;

// A diagnostic: the average of a value over windows of 100 frames, handed to its owner's
// component trace. Used by the thread that drives its owner.
class AverageCalculator {
public:
    static constexpr int kWindow = 100;

    explicit AverageCalculator(const TraceComponent* owner) : owner_(owner) {}
    virtual ~AverageCalculator() = default;

    // Adds one frame's value; at the end of a window traces the average and starts again.
    void Add(double value);
    void Reset();

    int Count() const { return count_; }

private:
    int window_ = kWindow;
    double sum_ = 0.0;
    int count_ = 0;
    const TraceComponent* owner_;
};

} // namespace tamsor
