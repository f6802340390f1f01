#include "platform/audio/WaveOut.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace plat {

uint32_t WaveOut::GetNumDevs() {
    return static_cast<uint32_t>(CurrentAudioBackend().OutputDeviceNames().size());
}

MMRESULT WaveOut::GetDevName(int device, std::string* name) {
    return DeviceName(CurrentAudioBackend().OutputDeviceNames(), device, name);
}

WaveOut::WaveOut() : WaveDevice(true) {}

WaveOut::~WaveOut() {
    ForceClose(WOM_DONE);
}

MMRESULT WaveOut::Open(int device, const WaveDeviceFormat& format, Callback callback,
                       void* instance) {
    MMRESULT result = OpenWithStream(this, device, format, callback, instance, WOM_OPEN, WOM_CLOSE,
                                     &AudioBackend::OpenPlayback, &stream_, [this] { Run(); });
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    std::lock_guard<std::mutex> guard(lock_);
    volume_ = 0xFFFFFFFFu;
    paused_ = false;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::PrepareHeader(WaveHeader* header) {
    return PrepareHeaderImpl(header, AudioOp::OutPrepare);
}

MMRESULT WaveOut::UnprepareHeader(WaveHeader* header) {
    return UnprepareHeaderImpl(header, AudioOp::OutUnprepare);
}

MMRESULT WaveOut::Write(WaveHeader* header) {
    return EnqueueImpl(header, AudioOp::OutWrite);
}

MMRESULT WaveOut::Pause() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    paused_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::Restart() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    paused_ = false;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::Reset() {
    return ResetImpl(AudioOp::OutReset, WOM_DONE);
}

MMRESULT WaveOut::Close() {
    return CloseImpl(AudioOp::OutClose);
}

MMRESULT WaveOut::GetVolume(uint32_t* volume) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (volume == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *volume = volume_;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::SetVolume(uint32_t volume) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return MMSYSERR_INVALHANDLE;
    }
    volume_ = volume;
    return MMSYSERR_NOERROR;
}

void WaveOut::ApplyVolume(uint8_t* data, size_t bytes, uint32_t volume) const {
    uint32_t left = volume & 0xFFFF;
    uint32_t right = format_.channels == 2 ? volume >> 16 : left;
    if (left == 0xFFFF && right == 0xFFFF) {
        return;
    }
    size_t bytesPerSample = format_.bitsPerSample / 8;
    size_t samples = bytes / bytesPerSample;
    for (size_t i = 0; i < samples; ++i) {
        uint32_t gain = (format_.channels == 2 && (i % 2) == 1) ? right : left;
        if (bytesPerSample == 2) {
            int16_t value;
            std::memcpy(&value, data + 2 * i, 2);
            value = static_cast<int16_t>(static_cast<int32_t>(value) * static_cast<int32_t>(gain) /
                                         0xFFFF);
            std::memcpy(data + 2 * i, &value, 2);
        } else {
            int32_t centred = static_cast<int32_t>(data[i]) - 128;
            data[i] = static_cast<uint8_t>(centred * static_cast<int32_t>(gain) / 0xFFFF + 128);
        }
    }
}

void WaveOut::Run() {
    pthread_setname_np(pthread_self(), "wave-out");
    std::vector<uint8_t> staging(ChunkBytes());
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        // Callbacks first: a header handed back is the owner's again before the next transfer.
        DeliverPosted(lock);
        wake_.wait(lock, [this] {
            return !posted_.empty() || closing_ || discard_ ||
                   (!paused_ && !parked_ && !queue_.empty());
        });
        if (!posted_.empty()) {
            continue;
        }
        if (discard_) {
            discard_ = false;
            lock.unlock();
            stream_->Discard();
            lock.lock();
            continue;
        }
        if (closing_) {
            break;
        }
        WaveHeader* header = queue_.front();
        size_t length = header->dwBufferLength;
        size_t n = std::min(staging.size(), length - std::min<size_t>(offset_, length));
        std::memcpy(staging.data(), header->lpData + offset_, n);
        ApplyVolume(staging.data(), n, volume_);
        uint64_t generation = generation_;
        MMRESULT result = MMSYSERR_NOERROR;
        if (n > 0) {
            lock.unlock();
            result = backend_->TakeFault(AudioOp::OutDeviceIo);
            if (result == MMSYSERR_NOERROR) {
                result = stream_->Write(staging.data(), n);
            }
            lock.lock();
        }
        if (result != MMSYSERR_NOERROR) {
            // The device is gone: keep the headers queued instead of handing them back
            // unplayed in a loop; a reset returns them.
            parked_ = true;
            Trace("device write failed, stream parked; code", static_cast<long>(result));
            continue;
        }
        if (generation != generation_ || queue_.empty() || queue_.front() != header) {
            continue; // reset meanwhile: the header went back already
        }
        offset_ += static_cast<uint32_t>(n);
        if (offset_ < length) {
            continue;
        }
        uint32_t flags = LoadHeaderFlags(*header);
        if ((flags & WHDR_BEGINLOOP) && (flags & WHDR_ENDLOOP) && header->dwLoops > 1 &&
            length > 0) {
            // One header looping on itself; 0xFFFFFFFF plays until a reset.
            if (header->dwLoops != 0xFFFFFFFFu) {
                --header->dwLoops;
            }
            offset_ = 0;
            continue;
        }
        CompleteFront(WOM_DONE);
    }
    DeliverPosted(lock);
    lock.unlock();
    stream_.reset();
    DeliverClose();
}

} // namespace plat
