#include "platform/audio/WaveIn.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace plat {

uint32_t WaveIn::GetNumDevs() {
    return static_cast<uint32_t>(CurrentAudioBackend().InputDeviceNames().size());
}

MMRESULT WaveIn::GetDevName(int device, std::string* name) {
    return DeviceName(CurrentAudioBackend().InputDeviceNames(), device, name);
}

WaveIn::WaveIn() : WaveDevice(false) {}

WaveIn::~WaveIn() {
    ForceClose(WIM_DATA);
}

MMRESULT WaveIn::Open(int device, const WaveDeviceFormat& format, Callback callback,
                      void* instance) {
    MMRESULT result = OpenWithStream(this, device, format, callback, instance, WIM_OPEN, WIM_CLOSE,
                                     &AudioBackend::OpenCapture, &stream_, [this] { Run(); });
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    std::lock_guard<std::mutex> guard(lock_);
    deviceId_ = device;
    return MMSYSERR_NOERROR;
}

int WaveIn::DeviceId() const {
    std::lock_guard<std::mutex> guard(lock_);
    return deviceId_;
}

MMRESULT WaveIn::PrepareHeader(WaveHeader* header) {
    return PrepareHeaderImpl(header, AudioOp::InPrepare);
}

MMRESULT WaveIn::UnprepareHeader(WaveHeader* header) {
    return UnprepareHeaderImpl(header, AudioOp::InUnprepare);
}

MMRESULT WaveIn::AddBuffer(WaveHeader* header) {
    return EnqueueImpl(header, AudioOp::InAddBuffer);
}

MMRESULT WaveIn::Start() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (MMRESULT fault = backend_->TakeFault(AudioOp::InStart)) {
        return fault;
    }
    running_ = true;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveIn::Stop() {
    std::unique_lock<std::mutex> lock(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    running_ = false;
    ++generation_;
    if (!queue_.empty() && offset_ > 0) {
        CompleteFront(WIM_DATA); // the partly filled buffer goes back
    }
    offset_ = 0;
    discard_ = true;
    wake_.notify_all();
    WaitDelivered(lock);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveIn::Reset() {
    return ResetImpl(AudioOp::InReset, WIM_DATA);
}

MMRESULT WaveIn::Close() {
    return CloseImpl(AudioOp::InClose);
}

void WaveIn::Run() {
    pthread_setname_np(pthread_self(), "wave-in");
    std::vector<uint8_t> staging(ChunkBytes());
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        // Callbacks first: a header handed back is the owner's again before the next transfer.
        DeliverPosted(lock);
        wake_.wait(lock, [this] {
            return !posted_.empty() || closing_ || discard_ ||
                   (running_ && !parked_ && !queue_.empty());
        });
        if (!posted_.empty()) {
            continue;
        }
        if (discard_) {
            discard_ = false;
            lock.unlock();
            stream_->Stop();
            lock.lock();
            continue;
        }
        if (closing_) {
            break;
        }
        WaveHeader* header = queue_.front();
        size_t length = header->dwBufferLength;
        size_t n = std::min(staging.size(), length - std::min<size_t>(offset_, length));
        n -= n % std::max<size_t>(format_.blockAlign, 1);
        uint64_t generation = generation_;
        MMRESULT result = MMSYSERR_NOERROR;
        if (n > 0) {
            lock.unlock();
            result = backend_->TakeFault(AudioOp::InDeviceIo);
            if (result == MMSYSERR_NOERROR) {
                result = stream_->Read(staging.data(), n);
            }
            lock.lock();
        }
        if (result != MMSYSERR_NOERROR) {
            // The device is gone: keep the buffers queued instead of returning empty ones in a
            // loop; a reset returns them.
            parked_ = true;
            Trace("device read failed, stream parked; code", static_cast<long>(result));
            continue;
        }
        if (generation != generation_ || queue_.empty() || queue_.front() != header) {
            continue; // stopped or reset meanwhile: the data is dropped
        }
        std::memcpy(header->lpData + offset_, staging.data(), n);
        offset_ += static_cast<uint32_t>(n);
        header->dwBytesRecorded = offset_;
        if (n == 0 || offset_ >= length) {
            CompleteFront(WIM_DATA);
        }
    }
    DeliverPosted(lock);
    lock.unlock();
    stream_.reset();
    DeliverClose();
}

} // namespace plat
