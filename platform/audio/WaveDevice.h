#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/WaveCallbackQueue.h"
#include "platform/audio/WaveHeader.h"

namespace plat {

// What WaveOut and WaveIn share: the open state, the queue of headers, the device thread that
// moves data between the queued headers and the backend's stream, and the callback thread.
//
// Threads: the owner calls the public operations of WaveOut/WaveIn (one thread at a time, or
// serialised by the owner's lock); the device thread runs the data loop; the callback thread
// delivers messages. lock_ guards every field below it; it is never held while a callback runs
// or while the device thread waits on the backend. Reset and Close wait for the callback thread
// to deliver what they posted, so they must not be called from inside a callback, and the
// owner must not hold a lock there that its callback takes.
class WaveDevice {
public:
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;

    bool IsOpen() const;
    // A number that names this open device in traces (0 while closed).
    intptr_t Handle() const;
    // The format it was opened with.
    WaveDeviceFormat Format() const;

protected:
    explicit WaveDevice(bool output);
    ~WaveDevice();

    // Checks and bookkeeping common to both directions; `body` runs the device thread.
    MMRESULT OpenDevice(int device, const WaveDeviceFormat& format,
                        WaveCallbackQueue::Deliver deliver, uint32_t openMessage,
                        std::function<MMRESULT(AudioBackend&)> openStream,
                        std::function<void()> body);
    // OpenDevice for WaveOut and WaveIn: wraps the owner's callback, opens the stream with
    // `openStream` on the backend and drops a stream left behind by a failed open.
    template <typename Device, typename Stream>
    MMRESULT OpenWithStream(Device* self, int device, const WaveDeviceFormat& format,
                            typename Device::Callback callback, void* instance,
                            uint32_t openMessage,
                            MMRESULT (AudioBackend::*openStream)(int, const WaveDeviceFormat&,
                                                                 std::unique_ptr<Stream>*),
                            std::unique_ptr<Stream>* stream, std::function<void()> body) {
        WaveCallbackQueue::Deliver deliver;
        if (callback != nullptr) {
            deliver = [self, callback, instance](uint32_t message, WaveHeader* header) {
                callback(self, message, instance, header);
            };
        }
        MMRESULT result = OpenDevice(
            device, format, std::move(deliver), openMessage,
            [device, &format, openStream, stream](AudioBackend& backend) {
                return (backend.*openStream)(device, format, stream);
            },
            std::move(body));
        if (result != MMSYSERR_NOERROR && !IsOpen()) {
            stream->reset(); // a stream opened before a later step failed
        }
        return result;
    }
    // The name of device number `device` among `names`.
    static MMRESULT DeviceName(const std::vector<std::string>& names, int device,
                               std::string* name);
    MMRESULT PrepareHeaderImpl(WaveHeader* header, AudioOp faultOp);
    MMRESULT UnprepareHeaderImpl(WaveHeader* header, AudioOp faultOp);
    MMRESULT EnqueueImpl(WaveHeader* header, AudioOp faultOp);
    // Returns every queued header marked done, posts doneMessage for each, and waits until
    // they have all been delivered.
    MMRESULT ResetImpl(AudioOp faultOp, uint32_t doneMessage, bool force = false);
    MMRESULT CloseImpl(AudioOp faultOp, uint32_t closeMessage, bool force = false);
    // Used by the destructors: returns every header and closes, ignoring injected faults.
    void ForceClose(uint32_t doneMessage, uint32_t closeMessage);

    // Called with lock_ held: takes the front header off the queue, marks it done and posts
    // message for it.
    void CompleteFront(uint32_t message);
    size_t ChunkBytes() const;
    void Trace(const char* text, long value) const;

    const bool output_;
    AudioBackend* backend_ = nullptr;
    WaveDeviceFormat format_;
    WaveCallbackQueue callbacks_;

    mutable std::mutex lock_;
    std::condition_variable wake_; // the device thread waits on it
    std::deque<WaveHeader*> queue_;
    uint32_t offset_ = 0;     // bytes of the front header already played or recorded
    uint64_t generation_ = 0; // bumped by each reset, so the device thread drops stale data
    bool open_ = false;
    bool closing_ = false; // the device thread must end
    bool discard_ = false; // the device thread must drop the stream's buffered audio
    bool parked_ = false;  // a fatal device error: nothing moves until a reset
    bool running_ = false; // playing (not paused) / recording (started)
    intptr_t handle_ = 0;
    std::thread thread_;
};

} // namespace plat
