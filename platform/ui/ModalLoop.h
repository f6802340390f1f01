#pragma once
#include <atomic>
#include <cstdint>

namespace plat {

// Marks a modal loop of the program: a dialog, a message box, a file chooser or a modal form.
// While one runs it has the pointer, and the program's other windows see none of its moves
// and releases; a window that was in the middle of a click learns from the count of ended
// loops that the pointer was taken away. Runners hold one for the loop's whole run.
//
// Threads: loops run on the GUI thread; the count is atomic, so a box that a test answers on
// another thread counts too.
class ModalLoop {
public:
    ModalLoop() = default;
    ~ModalLoop() { ended_.fetch_add(1, std::memory_order_relaxed); }
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

    // How many modal loops have ended since the program started.
    static uint64_t EndedCount() { return ended_.load(std::memory_order_relaxed); }

private:
    inline static std::atomic<uint64_t> ended_{0};
};

} // namespace plat
