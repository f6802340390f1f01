#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/WaveHeader.h"

namespace plat {

// What WaveOut and WaveIn share: the open state, the queue of headers, and the device thread
// that moves data between the queued headers and the backend's stream and delivers the
// callbacks.
//
// Threads: the owner calls the public operations of WaveOut/WaveIn (one thread at a time, or
// serialised by the owner's lock); the device thread runs the data loop and delivers every
// callback, in the order the messages were posted, one at a time, with no lock of the layer
// held, so a callback may call into its device and take the application's locks. A message
// posted while the device thread waits on the backend is delivered when that wait ends (at
// most one device period). lock_ guards every field below it; it is never held while a
// callback runs or while the device thread waits on the backend. Reset and Close wait for the
// device thread to deliver what they posted, so they must not be called from inside a
// callback, and the owner must not hold a lock there that its callback takes.
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

    using Deliver = std::function<void(uint32_t message, WaveHeader* header)>;

    // Checks and bookkeeping common to both directions; `body` runs the device thread, which
    // delivers openMessage first and closeMessage as its last act.
    MMRESULT OpenDevice(int device, const WaveDeviceFormat& format, Deliver deliver,
                        uint32_t openMessage, uint32_t closeMessage,
                        std::function<MMRESULT(AudioBackend&)> openStream,
                        std::function<void()> body);
    // OpenDevice for WaveOut and WaveIn: wraps the owner's callback, opens the stream with
    // `openStream` on the backend and drops a stream left behind by a failed open.
    template <typename Device, typename Stream>
    MMRESULT OpenWithStream(Device* self, int device, const WaveDeviceFormat& format,
                            typename Device::Callback callback, void* instance,
                            uint32_t openMessage, uint32_t closeMessage,
                            MMRESULT (AudioBackend::*openStream)(int, const WaveDeviceFormat&,
                                                                 std::unique_ptr<Stream>*),
                            std::unique_ptr<Stream>* stream, std::function<void()> body) {
        Deliver deliver;
        if (callback != nullptr) {
            deliver = [self, callback, instance](uint32_t message, WaveHeader* header) {
                callback(self, message, instance, header);
            };
        }
        MMRESULT result = OpenDevice(
            device, format, std::move(deliver), openMessage, closeMessage,
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
    // Ends the device thread, which delivers the close message as its last act.
    MMRESULT CloseImpl(AudioOp faultOp, bool force = false);
    // Used by the destructors: returns every header and closes, ignoring injected faults.
    void ForceClose(uint32_t doneMessage);

    // Called with lock_ held: takes the front header off the queue, marks it done and posts
    // message for it.
    void CompleteFront(uint32_t message);
    // Called with lock_ held: queues a message for the device thread (nothing without a
    // callback) and wakes it.
    void Post(uint32_t message, WaveHeader* header);
    // Called with lock_ held: waits until everything posted so far has been delivered. On the
    // device thread itself (a callback calling in) it returns at once.
    void WaitDelivered(std::unique_lock<std::mutex>& lock);
    // On the device thread with lock_ held: delivers the posted messages in order, releasing
    // the lock around each callback.
    void DeliverPosted(std::unique_lock<std::mutex>& lock);
    // On the device thread, with lock_ not held and the stream gone: the close message.
    void DeliverClose();
    size_t ChunkBytes() const;
    void Trace(const char* text, long value) const;

    const bool output_;
    AudioBackend* backend_ = nullptr;
    WaveDeviceFormat format_;
    // Set before the device thread starts and cleared after it ended: the thread reads them
    // without the lock.
    Deliver deliver_;
    uint32_t closeMessage_ = 0;

    mutable std::mutex lock_;
    std::condition_variable wake_;                        // the device thread waits on it
    std::condition_variable delivered_;                   // Reset and Stop wait on it
    std::deque<std::pair<uint32_t, WaveHeader*>> posted_; // messages not yet delivered
    uint64_t postedCount_ = 0;
    uint64_t deliveredCount_ = 0;
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
