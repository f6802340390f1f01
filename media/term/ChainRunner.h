#pragma once
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace tamsor {

class AudioSink;
class AudioSource;

// One chain of the media object: links its nodes in order, starts them in order from a table
// of steps (each with its code and, where the chain traces failures, its trace text), unwinds
// what it started when a step fails, and stops and unlinks exactly what it made.
//
// Threads: only the media object's caller, under the media object's main lock.
class ChainRunner {
public:
    using Link = std::pair<AudioSource*, AudioSink*>;

    struct Step {
        std::function<int()> start;
        std::function<int()> stop;
        int code;          // the chain's result when `start` fails
        const char* trace; // trace-log text written with the failing result; null: none
    };

    // Links each pair in order and keeps them.
    void Connect(const std::vector<Link>& chain);
    // Starts the steps in order. When one fails: its trace (text, the step's result), then the
    // steps already started are stopped in reverse order and the links removed; returns the
    // step's code. Returns 0 when every step started.
    int Start(std::vector<Step> steps);
    // Stops every started step in reverse order (every failure only remembered) and removes the
    // links. True when every stop succeeded; otherwise the steps stay recorded, so a later
    // Stop tries again.
    bool Stop();

    size_t LinkCount() const { return links.size(); }

private:
    void Unlink();

    std::vector<std::pair<AudioSource*, AudioSink*>> links;
    std::vector<Step> started; // in start order
};

} // namespace tamsor
