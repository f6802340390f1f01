#include "app/sound/WaveFilePlayer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "app/trace/TraceFile.h"
#include "platform/audio/RiffReader.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/Clock.h"
#include "platform/ui/GuiTimer.h"

using plat::MMRESULT;

namespace {

// A format chunk holds at least the 16 bytes of a PCM format and the 2-byte extra size; none
// that is sane comes close to this.
constexpr uint32_t kMaxFormatBytes = 4096;
constexpr uint32_t kFormatWithExtraSize = 18;

} // namespace

struct WaveFilePlayer::ParsedFile {
    plat::RiffReader reader;
    plat::WaveDeviceFormat format;
    uint32_t dataBytes = 0; // what the data chunk holds in the file, in whole blocks
};

WaveFilePlayer::WaveFilePlayer(std::string traceName, std::unique_ptr<plat::OneShotTimer> idleTimer,
                               uint32_t idleMs)
    : traceName_(std::move(traceName)),
      idleTimer_(idleTimer ? std::move(idleTimer) : std::make_unique<plat::GuiTimer>()),
      idleMs_(idleMs) {}

WaveFilePlayer::~WaveFilePlayer() {
    Close();
}

void WaveFilePlayer::Trace(const char* what) {
    AppTrace((traceName_ + ": " + what).c_str());
}

void WaveFilePlayer::Trace(const char* what, MMRESULT result) {
    AppTrace((traceName_ + ": " + what).c_str(), static_cast<int64_t>(result));
}

bool WaveFilePlayer::Parse(const std::string& path, ParsedFile* file) {
    plat::RiffReader& reader = file->reader;
    if (reader.Open(path) != 0) {
        Trace("!mmioOpen");
        return false;
    }
    plat::RiffChunk riff;
    if (!reader.DescendRiff(plat::FourCC("WAVE"), &riff)) {
        Trace("!mmioDescend (1)");
        return false;
    }
    plat::RiffChunk fmt;
    if (!reader.FindChunk(plat::FourCC("fmt "), riff, &fmt)) {
        Trace("!mmioDescend (2)");
        return false;
    }
    // The block is zeroed, so a chunk of 16 bytes or less has an extra size of 0 and a shorter
    // one leaves no field unset; a chunk claiming more than any format holds is refused before
    // anything is allocated for it.
    if (fmt.size > kMaxFormatBytes) {
        Trace("!mmioRead");
        return false;
    }
    std::vector<uint8_t> block(std::max(fmt.size, kFormatWithExtraSize), 0);
    if (reader.Read(block.data(), fmt.size) != static_cast<int64_t>(fmt.size)) {
        Trace("!mmioRead");
        return false;
    }
    if (!reader.Ascend(fmt)) {
        Trace("!mmioAscend");
        return false;
    }
    plat::RiffChunk data;
    if (!reader.FindChunk(plat::FourCC("data"), riff, &data)) {
        Trace("!mmioDescend (3)");
        return false;
    }
    plat::WaveDeviceFormat& format = file->format;
    format.formatTag = plat::ReadLe16(block.data());
    format.channels = plat::ReadLe16(block.data() + 2);
    format.samplesPerSec = plat::ReadLe32(block.data() + 4);
    format.avgBytesPerSec = plat::ReadLe32(block.data() + 8);
    format.blockAlign = plat::ReadLe16(block.data() + 12);
    format.bitsPerSample = plat::ReadLe16(block.data() + 14);
    // Only the bytes the file holds are played (a cut-off file declares more), in whole blocks.
    uint64_t present =
        data.containerEnd > data.dataOffset ? data.containerEnd - data.dataOffset : 0;
    uint64_t bytes = std::min<uint64_t>(data.size, present);
    if (format.blockAlign > 0) {
        bytes -= bytes % format.blockAlign;
    }
    file->dataBytes = static_cast<uint32_t>(bytes);
    return true;
}

MMRESULT WaveFilePlayer::CloseDevice() {
    idleTimer_->Cancel();
    if (!waveOut_) {
        return plat::MMSYSERR_NOERROR;
    }
    MMRESULT result = waveOut_->Reset();
    if (result != plat::MMSYSERR_NOERROR) {
        Trace("!waveOutReset, mr=", result);
    } else if ((result = waveOut_->UnprepareHeader(&header_)) != plat::MMSYSERR_NOERROR) {
        Trace("!waveOutUnprepareHeader, mr=", result);
    } else if ((result = waveOut_->Close()) != plat::MMSYSERR_NOERROR) {
        Trace("!waveOutClose, mr=", result);
    }
    // Destroying the device hands back and closes whatever a refused step left with it.
    waveOut_.reset();
    header_ = plat::WaveHeader{};
    playing_ = false;
    return result;
}

void WaveFilePlayer::OnDeviceMessage(plat::WaveOut*, uint32_t message, void* instance,
                                     plat::WaveHeader*) {
    if (message == plat::WOM_DONE) {
        static_cast<WaveFilePlayer*>(instance)->MarkQuiet();
    }
}

void WaveFilePlayer::MarkQuiet() {
    quietSinceMs_ = plat::TimeMs();
    playing_ = false;
}

void WaveFilePlayer::OnIdleTimer() {
    if (!waveOut_) {
        return;
    }
    if (playing_) {
        if (!loopOnDevice_) {
            idleTimer_->Start(idleMs_, [this] { OnIdleTimer(); }); // a long sound plays on
        }
        return;
    }
    const uint32_t quietMs = plat::TimeMs() - quietSinceMs_;
    if (quietMs >= idleMs_) {
        CloseDevice();
        return;
    }
    idleTimer_->Start(idleMs_ - quietMs, [this] { OnIdleTimer(); });
}

MMRESULT WaveFilePlayer::Play(int device, const std::string& path, bool loop) {
    const MMRESULT result = PlayFile(device, path, loop);
    if (waveOut_ && !(playing_ && loopOnDevice_)) {
        idleTimer_->Start(idleMs_, [this] { OnIdleTimer(); });
    }
    return result;
}

MMRESULT WaveFilePlayer::PlayFile(int device, const std::string& path, bool loop) {
    ParsedFile file;
    if (!Parse(path, &file)) {
        return plat::MMSYSERR_ERROR;
    }
    if (waveOut_ && (device != device_ || !(file.format == format_))) {
        CloseDevice(); // the next file is in another format: the device follows it
    }
    if (!waveOut_) {
        auto waveOut = std::make_unique<plat::WaveOut>();
        MMRESULT result =
            waveOut->Open(device, file.format, &WaveFilePlayer::OnDeviceMessage, this);
        if (result != plat::MMSYSERR_NOERROR) {
            Trace("!waveOutOpen, mr=", result);
            return result;
        }
        waveOut_ = std::move(waveOut);
        device_ = device;
        format_ = file.format;
    }
    // Stop what plays; the header must be back before the buffer is touched.
    MMRESULT result = waveOut_->Reset();
    if (result == plat::MMSYSERR_NOERROR) {
        result = waveOut_->UnprepareHeader(&header_);
    }
    if (result != plat::MMSYSERR_NOERROR) {
        Trace("!waveOutReset, mr=", result);
        CloseDevice();
        return result;
    }
    if (file.dataBytes == 0) {
        Trace("sin datos");
        return plat::MMSYSERR_ERROR;
    }
    if (!buffer_ || capacity_ < file.dataBytes) {
        buffer_.reset();
        capacity_ = 0;
        buffer_.reset(new (std::nothrow) char[file.dataBytes]);
        if (!buffer_) {
            Trace("!malloc");
            return plat::MMSYSERR_NOMEM;
        }
        capacity_ = file.dataBytes;
    }
    uint32_t copied = 0;
    while (copied < file.dataBytes) {
        int64_t n = file.reader.Read(buffer_.get() + copied, file.dataBytes - copied);
        if (n <= 0) {
            break;
        }
        copied += static_cast<uint32_t>(n);
    }
    file.reader.Close();
    copied -= copied % format_.blockAlign;
    if (copied == 0) {
        Trace("!mmioRead");
        return plat::MMSYSERR_ERROR;
    }
    header_ = plat::WaveHeader{};
    header_.lpData = buffer_.get();
    header_.dwBufferLength = copied;
    header_.dwFlags = loop ? (plat::WHDR_BEGINLOOP | plat::WHDR_ENDLOOP) : 0;
    header_.dwLoops = loop ? 0xFFFFFFFFu : 0;
    if ((result = waveOut_->PrepareHeader(&header_)) != plat::MMSYSERR_NOERROR) {
        Trace("!waveOutPrepareHeader, mr=", result);
        return result;
    }
    // Playing before the write: a short sound may end before Write returns.
    loopOnDevice_ = loop;
    playing_ = true;
    if ((result = waveOut_->Write(&header_)) != plat::MMSYSERR_NOERROR) {
        Trace("!waveOutWrite, mr=", result);
        MarkQuiet();
        return result;
    }
    return waveOut_->Restart();
}

MMRESULT WaveFilePlayer::Stop() {
    return CloseDevice();
}

void WaveFilePlayer::Close() {
    CloseDevice();
    buffer_.reset();
    capacity_ = 0;
}
