#include "platform/audio/file/FileAudioBackend.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/audio/StreamPacer.h"
#include "platform/core/Clock.h"
#include "platform/core/DebugOutput.h"

namespace plat {

class FilePlayback final : public PlaybackStream {
public:
    FilePlayback(FileAudioBackend* backend, uint32_t bytesPerSecond)
        : backend_(backend), pacer_(bytesPerSecond, backend->speed_) {}
    ~FilePlayback() override { backend_->PlaybackClosed(); }

    MMRESULT Write(const uint8_t* data, size_t bytes) override {
        uint64_t offset = 0;
        if (!backend_->AppendOutput(data, bytes, &offset)) {
            return MMSYSERR_ERROR;
        }
        // The chunk plays from `first` on; the write returns when it has been played.
        uint32_t first = pacer_.Pace(bytes);
        if (FileAudioBackend::Observer observer = backend_->PlayObserver()) {
            observer(offset, bytes, first);
        }
        return MMSYSERR_NOERROR;
    }
    void Discard() override { pacer_.Restart(); }

private:
    FileAudioBackend* backend_;
    StreamPacer pacer_;
};

class FileCapture final : public CaptureStream {
public:
    FileCapture(FileAudioBackend* backend, const WaveDeviceFormat& format,
                std::vector<uint8_t> data)
        : backend_(backend), pacer_(format.avgBytesPerSec, backend->speed_), data_(std::move(data)),
          silence_(format.bitsPerSample == 8 ? 0x80 : 0) {}
    ~FileCapture() override { backend_->CaptureClosed(); }

    MMRESULT Read(uint8_t* out, size_t bytes) override {
        pacer_.Pace(bytes);
        size_t fromFile = position_ < data_.size() ? std::min(bytes, data_.size() - position_) : 0;
        std::memcpy(out, data_.data() + position_, fromFile);
        std::memset(out + fromFile, silence_, bytes - fromFile);
        uint64_t offset = position_;
        position_ += bytes;
        if (FileAudioBackend::Observer observer = backend_->CaptureObserver()) {
            observer(offset, bytes, TimeMs());
        }
        return MMSYSERR_NOERROR;
    }
    void Stop() override { pacer_.Restart(); }

private:
    FileAudioBackend* backend_;
    StreamPacer pacer_;
    std::vector<uint8_t> data_;
    size_t position_ = 0;
    int silence_;
};

FileAudioBackend::FileAudioBackend(std::string inPath, std::string outPath, double speed)
    : inPath_(std::move(inPath)), outPath_(std::move(outPath)), speed_(speed > 0 ? speed : 1.0),
      mixer_(std::make_shared<MemoryMixer>()) {
    MemoryMixer::WithMicrophone(mixer_.get());
}

FileAudioBackend::~FileAudioBackend() = default;

std::vector<std::string> FileAudioBackend::OutputDeviceNames() {
    if (outPath_.empty()) {
        return {};
    }
    return {"File output"};
}

std::vector<std::string> FileAudioBackend::InputDeviceNames() {
    if (inPath_.empty()) {
        return {};
    }
    return {"File input"};
}

MMRESULT FileAudioBackend::OpenPlayback(int, const WaveDeviceFormat& format,
                                        std::unique_ptr<PlaybackStream>* stream) {
    if (outPath_.empty()) {
        return MMSYSERR_BADDEVICEID;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (playbackBusy_) {
        return MMSYSERR_ALLOCATED;
    }
    if (!writer_.IsOpen()) {
        std::string error;
        if (!writer_.Open(outPath_, format, &error)) {
            DebugOutput(("file audio: " + error + "\n").c_str());
            return MMSYSERR_ERROR;
        }
    } else if (!(writer_.Format() == format)) {
        return WAVERR_BADFORMAT; // the file keeps the format of its first open
    }
    playbackBusy_ = true;
    *stream = std::make_unique<FilePlayback>(this, format.avgBytesPerSec);
    return MMSYSERR_NOERROR;
}

MMRESULT FileAudioBackend::OpenCapture(int, const WaveDeviceFormat& format,
                                       std::unique_ptr<CaptureStream>* stream) {
    if (inPath_.empty()) {
        return MMSYSERR_BADDEVICEID;
    }
    WaveDeviceFormat fileFormat;
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWavFile(inPath_, &fileFormat, &data, &error)) {
        DebugOutput(("file audio: " + error + "\n").c_str());
        return MMSYSERR_ERROR;
    }
    if (!(fileFormat == format)) {
        return WAVERR_BADFORMAT;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (captureBusy_) {
        return MMSYSERR_ALLOCATED;
    }
    captureBusy_ = true;
    *stream = std::make_unique<FileCapture>(this, format, std::move(data));
    return MMSYSERR_NOERROR;
}

MMRESULT FileAudioBackend::OpenMixer(int, std::shared_ptr<MixerDevice>* mixer) {
    if (inPath_.empty()) {
        return MMSYSERR_BADDEVICEID;
    }
    *mixer = mixer_;
    return MMSYSERR_NOERROR;
}

void FileAudioBackend::SetPlayObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(lock_);
    playObserver_ = std::move(observer);
}

void FileAudioBackend::SetCaptureObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(lock_);
    captureObserver_ = std::move(observer);
}

bool FileAudioBackend::AppendOutput(const uint8_t* data, size_t bytes, uint64_t* offset) {
    std::lock_guard<std::mutex> guard(lock_);
    *offset = writer_.DataBytes();
    if (!writer_.Append(data, bytes)) {
        DebugOutput(("file audio: cannot write " + outPath_ + "\n").c_str());
        return false;
    }
    return true;
}

void FileAudioBackend::PlaybackClosed() {
    std::lock_guard<std::mutex> guard(lock_);
    playbackBusy_ = false;
    // The file is whole whenever no playback stream is open.
    if (writer_.IsOpen() && !writer_.Flush()) {
        DebugOutput(("file audio: cannot write " + outPath_ + "\n").c_str());
    }
}

void FileAudioBackend::CaptureClosed() {
    std::lock_guard<std::mutex> guard(lock_);
    captureBusy_ = false;
}

FileAudioBackend::Observer FileAudioBackend::PlayObserver() {
    std::lock_guard<std::mutex> guard(lock_);
    return playObserver_;
}

FileAudioBackend::Observer FileAudioBackend::CaptureObserver() {
    std::lock_guard<std::mutex> guard(lock_);
    return captureObserver_;
}

} // namespace plat
