#include "platform/audio/null/NullAudioBackend.h"

#include <cstring>

#include "platform/audio/StreamPacer.h"

namespace plat {

namespace {

class NullPlayback final : public PlaybackStream {
public:
    NullPlayback(uint32_t bytesPerSecond, double speed) : pacer_(bytesPerSecond, speed) {}
    MMRESULT Write(const uint8_t*, size_t bytes) override {
        pacer_.Pace(bytes);
        return MMSYSERR_NOERROR;
    }
    void Discard() override { pacer_.Restart(); }

private:
    StreamPacer pacer_;
};

class NullCapture final : public CaptureStream {
public:
    NullCapture(const WaveDeviceFormat& format, double speed)
        : pacer_(format.avgBytesPerSec, speed), silence_(format.bitsPerSample == 8 ? 0x80 : 0) {}
    MMRESULT Read(uint8_t* data, size_t bytes) override {
        pacer_.Pace(bytes);
        std::memset(data, silence_, bytes);
        return MMSYSERR_NOERROR;
    }
    void Stop() override { pacer_.Restart(); }

private:
    StreamPacer pacer_;
    int silence_;
};

} // namespace

NullAudioBackend::NullAudioBackend(double speed)
    : speed_(speed), mixer_(std::make_shared<MemoryMixer>()) {
    MemoryMixer::WithMicrophone(mixer_.get());
}

std::vector<std::string> NullAudioBackend::OutputDeviceNames() {
    return {"Null output"};
}

std::vector<std::string> NullAudioBackend::InputDeviceNames() {
    return {"Null input"};
}

MMRESULT NullAudioBackend::OpenPlayback(int, const WaveDeviceFormat& format,
                                        std::unique_ptr<PlaybackStream>* stream) {
    *stream = std::make_unique<NullPlayback>(format.avgBytesPerSec, speed_);
    return MMSYSERR_NOERROR;
}

MMRESULT NullAudioBackend::OpenCapture(int, const WaveDeviceFormat& format,
                                       std::unique_ptr<CaptureStream>* stream) {
    *stream = std::make_unique<NullCapture>(format, speed_);
    return MMSYSERR_NOERROR;
}

MMRESULT NullAudioBackend::OpenMixer(int, std::shared_ptr<MixerDevice>* mixer) {
    *mixer = mixer_;
    return MMSYSERR_NOERROR;
}

} // namespace plat
