#include "platform/audio/alsa/AlsaAudioBackend.h"

#include <alsa/asoundlib.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/audio/alsa/AlsaMixerDevice.h"
#include "platform/core/DebugOutput.h"

namespace plat {

namespace {

void TraceAlsa(const char* what, const std::string& pcm, int error) {
    char line[256];
    std::snprintf(line, sizeof line, "alsa: %s %s: %s\n", what, pcm.c_str(), snd_strerror(error));
    DebugOutput(line);
}

MMRESULT OpenResult(int error) {
    switch (-error) {
    case EBUSY:
    case EAGAIN:
        return MMSYSERR_ALLOCATED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return MMSYSERR_BADDEVICEID;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    case EINVAL:
        return WAVERR_BADFORMAT;
    default:
        return MMSYSERR_ERROR;
    }
}

// A device name that can go into an ALSA device argument as it is.
bool IsPlainDeviceName(const char* name) {
    for (const char* c = name; *c != '\0'; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c)) && std::strchr("._-:@", *c) == nullptr) {
            return false;
        }
    }
    return true;
}

// Opens and sets up a PCM: interleaved frames of the format, periods of kDevicePeriodMs, two of
// them in the ring (40 ms, as with the four 10 ms periods before), playing or recording from
// the first period on. A recording is read as soon as a period is in, so its ring holds no
// audio back, and through PulseAudio a longer one neither brings the first audio sooner nor
// saves any (the server's record stream buffers on its own); a longer playback ring would
// only add to the delay of every call.
MMRESULT OpenPcm(const std::string& name, snd_pcm_stream_t direction,
                 const WaveDeviceFormat& format, snd_pcm_t** out) {
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, name.c_str(), direction, 0);
    if (error < 0) {
        TraceAlsa("cannot open", name, error);
        return OpenResult(error);
    }
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = format.samplesPerSec;
    snd_pcm_uframes_t period = rate * kDevicePeriodMs / 1000;
    snd_pcm_uframes_t ring = period * 2;
    const char* step = "hw params";
    if ((error = snd_pcm_hw_params_any(pcm, hw)) < 0 ||
        (error = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1)) < 0 ||
        (error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (error = snd_pcm_hw_params_set_format(
             pcm, hw, format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE)) < 0 ||
        (error = snd_pcm_hw_params_set_channels(pcm, hw, format.channels)) < 0 ||
        (error = snd_pcm_hw_params_set_rate(pcm, hw, rate, 0)) < 0 ||
        (error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0 ||
        (error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &ring)) < 0 ||
        (error = snd_pcm_hw_params(pcm, hw)) < 0) {
        TraceAlsa(step, name, error);
        snd_pcm_close(pcm);
        return WAVERR_BADFORMAT;
    }
    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    if ((error = snd_pcm_sw_params_current(pcm, sw)) < 0 ||
        (error = snd_pcm_sw_params_set_start_threshold(
             pcm, sw, direction == SND_PCM_STREAM_PLAYBACK ? period : 1)) < 0 ||
        (error = snd_pcm_sw_params_set_avail_min(pcm, sw, period)) < 0 ||
        (error = snd_pcm_sw_params(pcm, sw)) < 0) {
        TraceAlsa("sw params", name, error);
        snd_pcm_close(pcm);
        return MMSYSERR_ERROR;
    }
    *out = pcm;
    return MMSYSERR_NOERROR;
}

// Moves `bytes` bytes of whole frames through `transfer` (snd_pcm_writei or snd_pcm_readi),
// recovering from underrun, overrun, suspend or signal and going on; each recovery is traced
// with `recovering` and the error (after an underrun or overrun a gap is heard or sent).
template <typename Byte, typename Transfer>
MMRESULT TransferFrames(snd_pcm_t* pcm, const std::string& name, size_t frameBytes, Byte* data,
                        size_t bytes, Transfer transfer, const char* recovering,
                        const char* failure) {
    snd_pcm_uframes_t left = bytes / frameBytes;
    while (left > 0) {
        snd_pcm_sframes_t done = transfer(pcm, data, left);
        if (done == -EAGAIN) {
            continue;
        }
        if (done < 0) {
            TraceAlsa(recovering, name, static_cast<int>(done));
            int error = snd_pcm_recover(pcm, static_cast<int>(done), 1);
            if (error < 0) {
                TraceAlsa(failure, name, error);
                return MMSYSERR_ERROR;
            }
            continue;
        }
        data += static_cast<size_t>(done) * frameBytes;
        left -= static_cast<snd_pcm_uframes_t>(done);
    }
    return MMSYSERR_NOERROR;
}

// The open PCM, its name and its frame size: what the playback and capture streams share.
template <typename Interface> class AlsaStream : public Interface {
public:
    AlsaStream(snd_pcm_t* pcm, std::string name, size_t frameBytes)
        : pcm_(pcm), name_(std::move(name)), frameBytes_(frameBytes) {}

protected:
    // Drops the audio buffered in the PCM and makes it ready to run again.
    void DropBuffered() {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    snd_pcm_t* pcm_;
    std::string name_;
    size_t frameBytes_;
};

class AlsaPlayback final : public AlsaStream<PlaybackStream> {
public:
    using AlsaStream::AlsaStream;
    ~AlsaPlayback() override {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING) {
            snd_pcm_drain(pcm_); // the last ring of audio is still to be heard
        }
        snd_pcm_close(pcm_);
    }

    MMRESULT Write(const uint8_t* data, size_t bytes) override {
        return TransferFrames(pcm_, name_, frameBytes_, data, bytes, snd_pcm_writei,
                              "recovering playback", "write failed");
    }

    void Discard() override { DropBuffered(); }
};

class AlsaCapture final : public AlsaStream<CaptureStream> {
public:
    using AlsaStream::AlsaStream;
    ~AlsaCapture() override { snd_pcm_close(pcm_); }

    MMRESULT Read(uint8_t* data, size_t bytes) override {
        return TransferFrames(pcm_, name_, frameBytes_, data, bytes, snd_pcm_readi,
                              "recovering capture", "read failed");
    }

    void Stop() override { DropBuffered(); }
};

std::vector<std::string> Names(const std::vector<AlsaAudioBackend::Device>& devices) {
    std::vector<std::string> names;
    for (const AlsaAudioBackend::Device& device : devices) {
        names.push_back(device.name);
    }
    return names;
}

std::string PcmName(int device, bool capture, std::string* card) {
    if (device == WAVE_MAPPER) {
        *card = "default";
        return "default";
    }
    std::vector<AlsaAudioBackend::Device> devices = AlsaAudioBackend::Enumerate(capture);
    if (device < 0 || static_cast<size_t>(device) >= devices.size()) {
        return {};
    }
    *card = devices[static_cast<size_t>(device)].card;
    return devices[static_cast<size_t>(device)].pcm;
}

// Opens device number `device` (or the default) in the direction `capture` names and wraps
// it in a `Stream`.
template <typename Stream, typename Interface>
MMRESULT OpenStream(int device, bool capture, const WaveDeviceFormat& format,
                    std::unique_ptr<Interface>* stream) {
    std::string card;
    std::string name = PcmName(device, capture, &card);
    if (name.empty()) {
        return MMSYSERR_BADDEVICEID;
    }
    snd_pcm_t* pcm = nullptr;
    if (MMRESULT result = OpenPcm(name, capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                                  format, &pcm)) {
        return result;
    }
    *stream = std::make_unique<Stream>(pcm, name, format.blockAlign);
    return MMSYSERR_NOERROR;
}

} // namespace

std::vector<AlsaAudioBackend::Device> AlsaAudioBackend::Enumerate(bool capture) {
    std::vector<Device> devices;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        std::string cardId = "hw:" + std::to_string(card);
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, cardId.c_str(), 0) < 0) {
            continue;
        }
        snd_ctl_card_info_t* cardInfo;
        snd_ctl_card_info_alloca(&cardInfo);
        std::string cardName = cardId;
        bool usb = false;
        if (snd_ctl_card_info(ctl, cardInfo) == 0) {
            cardName = snd_ctl_card_info_get_name(cardInfo);
            usb = std::string(snd_ctl_card_info_get_driver(cardInfo)) == "USB-Audio";
        }
        int pcmDevice = -1;
        while (snd_ctl_pcm_next_device(ctl, &pcmDevice) == 0 && pcmDevice >= 0) {
            snd_pcm_info_t* pcmInfo;
            snd_pcm_info_alloca(&pcmInfo);
            snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(pcmDevice));
            snd_pcm_info_set_subdevice(pcmInfo, 0);
            snd_pcm_info_set_stream(pcmInfo,
                                    capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK);
            if (snd_ctl_pcm_info(ctl, pcmInfo) < 0) {
                continue; // no stream in this direction
            }
            Device device;
            device.pcm = "plughw:" + std::to_string(card) + "," + std::to_string(pcmDevice);
            device.card = cardId;
            device.name = cardName + ": " + snd_pcm_info_get_name(pcmInfo);
            device.usb = usb;
            devices.push_back(device);
        }
        snd_ctl_close(ctl);
    }
    return devices;
}

std::vector<std::string> AlsaAudioBackend::OutputDeviceNames() {
    return Names(Enumerate(false));
}

std::vector<std::string> AlsaAudioBackend::InputDeviceNames() {
    return Names(Enumerate(true));
}

bool AlsaAudioBackend::IsUsbAudioDevice(bool capture, int device) {
    std::vector<Device> devices = Enumerate(capture);
    return device >= 0 && static_cast<size_t>(device) < devices.size() &&
           devices[static_cast<size_t>(device)].usb;
}

MMRESULT AlsaAudioBackend::OpenPlayback(int device, const WaveDeviceFormat& format,
                                        std::unique_ptr<PlaybackStream>* stream) {
    return OpenStream<AlsaPlayback>(device, false, format, stream);
}

MMRESULT AlsaAudioBackend::OpenCapture(int device, const WaveDeviceFormat& format,
                                       std::unique_ptr<CaptureStream>* stream) {
    return OpenStream<AlsaCapture>(device, true, format, stream);
}

MMRESULT AlsaAudioBackend::OpenMixer(int inputDevice, std::shared_ptr<MixerDevice>* mixer) {
    std::string card;
    if (PcmName(inputDevice, true, &card).empty()) {
        return MMSYSERR_BADDEVICEID;
    }
    std::shared_ptr<AlsaMixerDevice> opened;
    if (MMRESULT result = AlsaMixerDevice::Open(card, &opened)) {
        return result;
    }
    // Through PulseAudio, the default device records from the client's default source, which
    // PULSE_SOURCE names for this process, while the plugin's control without a device follows
    // the server's default source: a level set there would reach another microphone.
    const char* source = std::getenv("PULSE_SOURCE");
    if (card == "default" && opened->CardName() == "PulseAudio" && source != nullptr &&
        *source != '\0') {
        std::shared_ptr<AlsaMixerDevice> named;
        if (IsPlainDeviceName(source) &&
            AlsaMixerDevice::Open(std::string("pulse:") + source, &named) == MMSYSERR_NOERROR) {
            opened = std::move(named);
        } else {
            TraceAlsa("no control for PULSE_SOURCE", source, -EINVAL);
        }
    }
    *mixer = std::move(opened);
    return MMSYSERR_NOERROR;
}

} // namespace plat
