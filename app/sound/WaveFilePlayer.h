#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/WaveHeader.h"
#include "platform/audio/WaveOut.h"
#include "platform/ui/OneShotTimer.h"

// Plays one wave file at a time on one output device, once or looping until the next call: a
// new file replaces the one that plays at once. The device is opened with the first file's
// format and re-opened when a file of another format (or for another device) comes; the data
// buffer grows and is reused, never shrinks. Every failure writes one trace message, prefixed
// with the name given at construction, and plays nothing. Once nothing has played for the
// idle time (a looped sound plays until it is replaced or stopped), the device is closed, so
// no stream stays on the sound server and its threads end; the next file opens it again.
//
// Threads: one thread (the GUI thread) calls every operation and runs the idle timer. The
// device's callback runs on its thread and only records, in playing_ and quietSinceMs_, that
// the sound ended. The buffer is handed to the device only between a write and the next
// reset, and is freed only after the device has been reset, the header unprepared and the
// device closed.
class WaveFilePlayer {
public:
    // How long the device stays open after the last sound ended.
    static constexpr uint32_t kIdleCloseMs = 3000;

    // idleTimer: where the idle close is timed (null: a timer on the GUI thread's main loop).
    explicit WaveFilePlayer(std::string traceName,
                            std::unique_ptr<plat::OneShotTimer> idleTimer = nullptr,
                            uint32_t idleMs = kIdleCloseMs);
    ~WaveFilePlayer();
    WaveFilePlayer(const WaveFilePlayer&) = delete;
    WaveFilePlayer& operator=(const WaveFilePlayer&) = delete;

    // Plays `path` on `device` (plat::WAVE_MAPPER for the default). Returns the result of the
    // last device call, or MMSYSERR_ERROR when the file could not be used.
    plat::MMRESULT Play(int device, const std::string& path, bool loop);
    // Stops what plays and closes the device; the buffer is kept for the next file.
    plat::MMRESULT Stop();
    // Stops, closes and frees the buffer.
    void Close();

    // The prefix of the trace messages from now on (the caller's name).
    void SetTraceName(std::string name) { traceName_ = std::move(name); }
    bool IsOpen() const { return waveOut_ != nullptr; }
    // A sound is on the device and has not ended (a loop until it is replaced or stopped).
    bool IsPlaying() const { return waveOut_ != nullptr && playing_.load(); }
    uint32_t BufferCapacity() const { return capacity_; }

private:
    struct ParsedFile;
    bool Parse(const std::string& path, ParsedFile* file);
    // Reset, unprepare and close; a device that refuses any of them is torn down regardless,
    // so the header is never left with it.
    plat::MMRESULT CloseDevice();
    plat::MMRESULT PlayFile(int device, const std::string& path, bool loop);
    // Nothing plays from now on.
    void MarkQuiet();
    // Closes the device when it has been quiet for the idle time, else waits on.
    void OnIdleTimer();
    static void OnDeviceMessage(plat::WaveOut* device, uint32_t message, void* instance,
                                plat::WaveHeader* header);
    void Trace(const char* what);
    void Trace(const char* what, plat::MMRESULT result);

    std::string traceName_;
    int device_ = plat::WAVE_MAPPER;
    plat::WaveDeviceFormat format_;
    std::unique_ptr<plat::OneShotTimer> idleTimer_;
    uint32_t idleMs_;
    bool loopOnDevice_ = false; // what was last written loops
    // Set by the owner before a write, cleared when the sound ends (by the device's WOM_DONE or
    // by the owner when nothing could be written); quietSinceMs_ is stored before the clear.
    // Declared before waveOut_: they outlive the device and its callback.
    std::atomic<bool> playing_{false};
    std::atomic<uint32_t> quietSinceMs_{0};
    std::unique_ptr<char[]> buffer_; // declared before waveOut_: destroyed after the device
    uint32_t capacity_ = 0;
    plat::WaveHeader header_{};
    std::unique_ptr<plat::WaveOut> waveOut_; // null while closed
};
