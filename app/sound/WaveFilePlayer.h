#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/WaveHeader.h"
#include "platform/audio/WaveOut.h"

// Plays one wave file at a time on one output device, once or looping until the next call: a
// new file replaces the one that plays at once. The device is opened with the first file's
// format and re-opened when a file of another format (or for another device) comes; the data
// buffer grows and is reused, never shrinks. Every failure writes one trace message, prefixed
// with the name given at construction, and plays nothing.
//
// Threads: one thread (the GUI thread) calls every operation. The device has no callback, so
// nothing here is shared with its threads; the buffer is handed to the device only between a
// write and the next reset, and is freed only after the device has been reset, the header
// unprepared and the device closed.
class WaveFilePlayer {
public:
    explicit WaveFilePlayer(std::string traceName);
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
    uint32_t BufferCapacity() const { return capacity_; }

private:
    struct ParsedFile;
    bool Parse(const std::string& path, ParsedFile* file);
    // Reset, unprepare and close; a device that refuses any of them is torn down regardless,
    // so the header is never left with it.
    plat::MMRESULT CloseDevice();
    void Trace(const char* what);
    void Trace(const char* what, plat::MMRESULT result);

    std::string traceName_;
    int device_ = plat::WAVE_MAPPER;
    plat::WaveDeviceFormat format_;
    std::unique_ptr<char[]> buffer_; // declared before waveOut_: destroyed after the device
    uint32_t capacity_ = 0;
    plat::WaveHeader header_{};
    std::unique_ptr<plat::WaveOut> waveOut_; // null while closed
};
