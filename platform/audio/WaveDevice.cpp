#include "platform/audio/WaveDevice.h"

#include <atomic>
#include <cstdio>
#include <system_error>

#include "platform/core/DebugOutput.h"

namespace plat {

namespace {
std::atomic<intptr_t> g_nextHandle{1};
}

WaveDevice::WaveDevice(bool output) : output_(output) {}

WaveDevice::~WaveDevice() = default;

bool WaveDevice::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

intptr_t WaveDevice::Handle() const {
    std::lock_guard<std::mutex> guard(lock_);
    return handle_;
}

WaveDeviceFormat WaveDevice::Format() const {
    std::lock_guard<std::mutex> guard(lock_);
    return format_;
}

void WaveDevice::Trace(const char* text, long value) const {
    char line[160];
    std::snprintf(line, sizeof line, "%s %s: %s %ld\n", output_ ? "WaveOut" : "WaveIn",
                  backend_ != nullptr ? backend_->Name() : "-", text, value);
    DebugOutput(line);
}

size_t WaveDevice::ChunkBytes() const {
    // One device period, in whole frames.
    size_t frames = format_.samplesPerSec * kDevicePeriodMs / 1000;
    return (frames == 0 ? 1 : frames) * format_.blockAlign;
}

MMRESULT WaveDevice::DeviceName(const std::vector<std::string>& names, int device,
                                std::string* name) {
    if (device < 0 || static_cast<size_t>(device) >= names.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    *name = names[static_cast<size_t>(device)];
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::OpenDevice(int device, const WaveDeviceFormat& format, Deliver deliver,
                                uint32_t openMessage, uint32_t closeMessage,
                                std::function<MMRESULT(AudioBackend&)> openStream,
                                std::function<void()> body) {
    std::unique_lock<std::mutex> lock(lock_);
    if (open_) {
        return MMSYSERR_ALLOCATED;
    }
    AudioBackend& backend = CurrentAudioBackend();
    backend_ = &backend;
    if (MMRESULT fault = backend.TakeFault(output_ ? AudioOp::OutOpen : AudioOp::InOpen)) {
        return fault;
    }
    if (!format.IsSupported()) {
        return WAVERR_BADFORMAT;
    }
    size_t count = output_ ? backend.OutputDeviceNames().size() : backend.InputDeviceNames().size();
    if (device != WAVE_MAPPER && (device < 0 || static_cast<size_t>(device) >= count)) {
        return MMSYSERR_BADDEVICEID;
    }
    format_ = format;
    if (MMRESULT result = openStream(backend)) {
        Trace("open failed, code", static_cast<long>(result));
        return result;
    }
    queue_.clear();
    posted_.clear();
    offset_ = 0;
    closing_ = discard_ = parked_ = false;
    running_ = output_; // output plays at once; input waits for Start
    deliver_ = std::move(deliver);
    closeMessage_ = closeMessage;
    Post(openMessage, nullptr); // the device thread's first callback
    try {
        thread_ = std::thread(std::move(body));
    } catch (const std::system_error&) {
        posted_.clear();
        deliver_ = nullptr;
        return MMSYSERR_NOMEM;
    }
    open_ = true;
    handle_ = g_nextHandle.fetch_add(1);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::PrepareHeaderImpl(WaveHeader* header, AudioOp faultOp) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || (header->lpData == nullptr && header->dwBufferLength > 0)) {
        return MMSYSERR_INVALPARAM;
    }
    if (MMRESULT fault = backend_->TakeFault(faultOp)) {
        return fault;
    }
    SetHeaderFlags(*header, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::UnprepareHeaderImpl(WaveHeader* header, AudioOp faultOp) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    uint32_t flags = LoadHeaderFlags(*header);
    if (flags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    if (MMRESULT fault = backend_->TakeFault(faultOp)) {
        return fault;
    }
    SetHeaderFlags(*header, 0, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::EnqueueImpl(WaveHeader* header, AudioOp faultOp) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || (header->lpData == nullptr && header->dwBufferLength > 0)) {
        return MMSYSERR_INVALPARAM;
    }
    uint32_t flags = LoadHeaderFlags(*header);
    if (!(flags & WHDR_PREPARED)) {
        return WAVERR_UNPREPARED;
    }
    if (flags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    if (MMRESULT fault = backend_->TakeFault(faultOp)) {
        return fault;
    }
    if (!output_) {
        header->dwBytesRecorded = 0;
    }
    SetHeaderFlags(*header, WHDR_INQUEUE, WHDR_DONE);
    queue_.push_back(header);
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

void WaveDevice::CompleteFront(uint32_t message) {
    WaveHeader* header = queue_.front();
    queue_.pop_front();
    offset_ = 0;
    SetHeaderFlags(*header, WHDR_DONE, WHDR_INQUEUE);
    Post(message, header);
}

void WaveDevice::Post(uint32_t message, WaveHeader* header) {
    if (!deliver_) {
        return;
    }
    posted_.emplace_back(message, header);
    ++postedCount_;
    wake_.notify_all();
}

void WaveDevice::WaitDelivered(std::unique_lock<std::mutex>& lock) {
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) {
        return;
    }
    const uint64_t target = postedCount_;
    delivered_.wait(lock, [&] { return deliveredCount_ >= target; });
}

void WaveDevice::DeliverPosted(std::unique_lock<std::mutex>& lock) {
    while (!posted_.empty()) {
        auto [message, header] = posted_.front();
        posted_.pop_front();
        lock.unlock();
        deliver_(message, header);
        lock.lock();
        ++deliveredCount_;
        delivered_.notify_all();
    }
}

void WaveDevice::DeliverClose() {
    if (deliver_) {
        deliver_(closeMessage_, nullptr);
    }
}

MMRESULT WaveDevice::ResetImpl(AudioOp faultOp, uint32_t doneMessage, bool force) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    MMRESULT fault = force ? MMSYSERR_NOERROR : backend_->TakeFault(faultOp);
    if (fault != MMSYSERR_NOERROR) {
        return fault;
    }
    if (!output_) {
        running_ = false; // a reset stops recording
    }
    ++generation_;
    while (!queue_.empty()) {
        CompleteFront(doneMessage);
    }
    discard_ = true;
    parked_ = false;
    wake_.notify_all();
    WaitDelivered(lock);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::CloseImpl(AudioOp faultOp, bool force) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!open_) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!queue_.empty()) {
            return WAVERR_STILLPLAYING;
        }
        MMRESULT fault = force ? MMSYSERR_NOERROR : backend_->TakeFault(faultOp);
        if (fault != MMSYSERR_NOERROR) {
            return fault;
        }
        closing_ = true;
        wake_.notify_all();
    }
    // The thread delivers what is left and the close message before it ends.
    if (thread_.joinable()) {
        thread_.join();
    }
    std::lock_guard<std::mutex> guard(lock_);
    deliver_ = nullptr;
    open_ = false;
    handle_ = 0;
    return MMSYSERR_NOERROR;
}

void WaveDevice::ForceClose(uint32_t doneMessage) {
    if (IsOpen()) {
        ResetImpl(AudioOp::Count, doneMessage, true);
        CloseImpl(AudioOp::Count, true);
    }
}

} // namespace plat
