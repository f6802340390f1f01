#include "media/files/WaveFileSource.h"

#include <climits>
#include <cstring>
#include <mutex>

#include "media/base/EngineTrace.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"

namespace tamsor {

const size_t WaveFileSource::kMaxPathLength = PATH_MAX - 1;

WaveFileSource::WaveFileSource() {
    SetComponentNameFor("WaveFileSource", this);
    SetThreadName("file-play");
    LoadTraceLevel();
    Trace(TRACE_ENTRY, "Constructor - begin\n");
    Trace(TRACE_ENTRY, "Constructor - end\n");
}

WaveFileSource::~WaveFileSource() {
    Trace(TRACE_ENTRY, "Destructor - begin\n");
    // The thread calls back into this object (GenerateData, the stop handler): it must be gone,
    // joined, before any member is destroyed. Stopping joins it, also when it ended by itself
    // and is still winding up.
    StopSourceThread();
    {
        std::lock_guard<plat::CriticalSection> filter(filterMutex);
        Trace(TRACE_LOCKS, "WaveFileSource~ : entered filterMutex\n");
        CloseMMIO();
        Trace(TRACE_LOCKS, "WaveFileSource~ : left filterMutex\n");
    }
    Trace(TRACE_ENTRY, "Destructor - end\n");
}

int WaveFileSource::LoadTraceLevel() {
    return LoadTraceLevelFrom("WaveFileSource");
}

int WaveFileSource::OpenWaveFile(const char* path) {
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    bLoop = false;
    if (bRunning) {
        return -70;
    }
    if (path == nullptr || std::strlen(path) > kMaxPathLength) {
        return -80;
    }
    CloseFileLocked();
    fileName = path;

    int error = reader.Open(fileName);
    if (error != 0) {
        Trace(TRACE_FAILURE, "SourceStarted : mmioOpen(%s) returned 0x%x\n", path, error);
        return -10;
    }
    plat::RiffChunk riff;
    if (!reader.DescendRiff(plat::FourCC("WAVE"), &riff)) {
        Trace(TRACE_FAILURE, "SourceStarted : %s not wave file", path);
        CloseFileLocked();
        return -20;
    }
    plat::RiffChunk fmt;
    if (!reader.FindChunk(plat::FourCC("fmt "), riff, &fmt)) {
        Trace(TRACE_FAILURE, "SourceStarted : File %s has no FMT chunk", path);
        CloseFileLocked();
        return -30;
    }
    // The block is read whole, so it must be a real format record that lies inside the file.
    if (fmt.size < 16 || fmt.size > kMaxFormatSize || fmt.DeclaredEnd() > riff.containerEnd) {
        Trace(TRACE_FAILURE, "SourceStarted : Failed to read format chunk");
        CloseFileLocked();
        return -40;
    }
    std::vector<uint8_t> block(fmt.size);
    if (reader.Read(block.data(), block.size()) != static_cast<int64_t>(block.size())) {
        Trace(TRACE_FAILURE, "SourceStarted : Failed to read format chunk");
        CloseFileLocked();
        return -40;
    }
    reader.Ascend(fmt);
    plat::RiffChunk data;
    if (!reader.FindChunk(plat::FourCC("data"), riff, &data)) {
        Trace(TRACE_FAILURE, "SourceStarted : File %s has no data chunk", path);
        CloseFileLocked();
        return -50;
    }
    // A data chunk that claims more than the file holds (a cut-off recording) plays as far as
    // the file goes.
    uint64_t available =
        riff.containerEnd > data.dataOffset ? riff.containerEnd - data.dataOffset : 0;
    uint64_t length = data.size < available ? data.size : available;
    if (length == 0) {
        Trace(TRACE_FAILURE, "SourceStarted : Data chunk of %s contains no data", path);
        CloseFileLocked();
        return -60;
    }
    formatBlock = std::move(block);
    format = WaveFormat::FromBytes(formatBlock.data(), formatBlock.size());
    dataStart = data.dataOffset;
    dataLength = length;
    return 0;
}

int WaveFileSource::PlayInLoop() {
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    bLoop = true;
    return 0;
}

bool WaveFileSource::IsLooping() const {
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    return bLoop;
}

uint64_t WaveFileSource::GetDataLength() const {
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    return IsFileOpenLocked() ? dataLength : 0;
}

int WaveFileSource::GetFormat(WaveFormat* target) {
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    if (!IsFileOpenLocked() || target == nullptr) {
        return -10;
    }
    *target = format;
    return 0;
}

int WaveFileSource::GetFormatBlock(std::vector<uint8_t>* block) {
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    if (!IsFileOpenLocked() || block == nullptr) {
        return -10;
    }
    *block = formatBlock;
    return 0;
}

int WaveFileSource::CloseMMIO() {
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    return CloseFileLocked();
}

int WaveFileSource::CloseFileLocked() {
    reader.Close();
    formatBlock.clear();
    dataStart = 0;
    dataLength = 0;
    return 0;
}

int WaveFileSource::GenerateData(AudioSample** out) {
    *out = nullptr;
    AudioSample* sample = nullptr;
    int result = 0;
    try {
        result = AudioSampleManager::GetInstance()->GetAudioSample(&sample, this);
        if (sample == nullptr) {
            return result;
        }
        sample->SetDataSize(0);
        sample->SetSilenceMs(frameLength);
        if (!bRunning) {
            Trace(TRACE_DETAIL, "~GenerateData : data %d bytes, silence %d ms\n", 0, frameLength);
            *out = sample;
            return result;
        }

        std::lock_guard<plat::CriticalSection> guard(fileMutex);
        if (!IsFileOpenLocked()) {
            sample->Release(this);
            return -30;
        }
        sample->SetFormat(format);
        // 64-bit: the average rate comes from the file and may be anything.
        uint64_t bytes = static_cast<uint64_t>(format.nAvgBytesPerSec) * frameLength / 1000;
        if (bytes == 0 || bytes > static_cast<uint64_t>(sample->GetBufferSize())) {
            sample->Release(this);
            // The format never yields a frame: a thread that plays the file ends here rather
            // than asking again for ever, so its play ends and can be purged.
            if (IsSourceThreadRunning()) {
                bStopSourceThread = true;
            }
            Trace(TRACE_DETAIL, "~GenerateData : returning NULL : result = %d\n", -20);
            return -20;
        }
        const uint64_t dataEnd = dataStart + dataLength;
        auto readData = [&](uint8_t* to, uint64_t want) -> int64_t {
            uint64_t position = reader.Tell();
            uint64_t left = position < dataEnd ? dataEnd - position : 0;
            return reader.Read(to, static_cast<size_t>(want < left ? want : left));
        };
        uint8_t* data = sample->GetData();
        int64_t n = readData(data, bytes);
        if (n == static_cast<int64_t>(bytes)) {
            sample->SetDataSize(static_cast<int>(n));
        } else if (n < 0 || (n == 0 && !bLoop)) {
            sample->Release(this);
            // The last frame is out: a thread that plays the file ends here, so its play can
            // be cleaned up and purged.
            if (IsSourceThreadRunning()) {
                bStopSourceThread = true;
            }
            Trace(TRACE_DETAIL, "~GenerateData : returning NULL : result = %d\n", -30);
            return -30;
        } else if (!bLoop) {
            sample->SetDataSize(static_cast<int>(n));
        } else {
            reader.Seek(dataStart);
            int64_t m = readData(data + n, bytes - static_cast<uint64_t>(n));
            if (m <= 0) {
                sample->Release(this);
                Trace(TRACE_DETAIL, "~GenerateData : returning NULL : result = %d\n", -40);
                return -40;
            }
            sample->SetDataSize(static_cast<int>(n + m));
        }
        Trace(TRACE_DETAIL, "~GenerateData : data %d bytes, silence %d ms\n", sample->GetDataSize(),
              sample->GetSilenceMs());
        *out = sample;
        return result;
    } catch (...) {
        EngineTrace("WaveFileSource::GenerateData: exception 1");
        if (sample != nullptr && *out == nullptr) {
            sample->Release(this);
        }
        return -1;
    }
}

int WaveFileSource::SourceThreadStarted(AudioThreadHandle, uint32_t) {
    Trace(TRACE_ENTRY, "SourceThreadStarted\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "SourceThreadStarted : entered filterMutex\n");
    int result = 0;
    {
        std::lock_guard<plat::CriticalSection> guard(fileMutex);
        if (IsFileOpenLocked()) {
            bRunning = true;
        } else {
            Trace(TRACE_FAILURE, "SourceThreadStarted : e-error : hmmio = 0x%x, pFormat = 0x%x\n",
                  reader.IsOpen() ? 1 : 0, formatBlock.empty() ? 0 : 1);
            result = -10;
        }
    }
    // Listeners hear of a start only when there is something to play: a play told that a
    // refused start had begun would wait for an end that never comes.
    if (result == 0) {
        Trace(TRACE_LOCKS, "SourceThreadStarted : before firing FILE_STARTED %s\n",
              fileName.c_str());
        FireEvent(this, FILE_STARTED, fileName.c_str());
        Trace(TRACE_LOCKS, "SourceThreadStarted : after  firing FILE_STARTED %s\n",
              fileName.c_str());
    }
    Trace(TRACE_LOCKS, "SourceThreadStarted : left filterMutex\n");
    Trace(TRACE_ENTRY, "~SourceThreadStarted : returning %d\n", result);
    return result;
}

int WaveFileSource::SourceThreadStopped(AudioThreadHandle, uint32_t) {
    Trace(TRACE_ENTRY, "SourceThreadStopped\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    Trace(TRACE_LOCKS, "SourceThreadStopped : entered filterMutex\n");
    CloseMMIO();
    bRunning = false;
    Trace(TRACE_LOCKS, "SourceThreadStopped : before firing FILE_STOPPED %s\n", fileName.c_str());
    FireEvent(this, FILE_STOPPED, fileName.c_str());
    Trace(TRACE_LOCKS, "SourceThreadStopped : after  firing FILE_STOPPED %s\n", fileName.c_str());
    Trace(TRACE_LOCKS, "SourceThreadStopped : left filterMutex\n");
    Trace(TRACE_ENTRY, "~SourceThreadStopped : returning %d\n", 0);
    return 0;
}

int WaveFileSource::SourceStarted() {
    Trace(TRACE_ENTRY, "SourceStarted\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    std::lock_guard<plat::CriticalSection> guard(fileMutex);
    int result = 0;
    if (bRunning) {
        Trace(TRACE_FAILURE, "SourceStarted : e-error : already running\n");
        result = -10;
    } else if (IsFileOpenLocked()) {
        bRunning = true;
    } else {
        Trace(TRACE_FAILURE, "SourceStarted : e-error : hmmio = 0x%x, pFormat = 0x%x\n",
              reader.IsOpen() ? 1 : 0, formatBlock.empty() ? 0 : 1);
        result = -20;
    }
    Trace(TRACE_ENTRY, "~SourceStarted : returning %d\n", result);
    return result;
}

int WaveFileSource::SourceStopped() {
    Trace(TRACE_ENTRY, "SourceStopped\n");
    std::lock_guard<plat::CriticalSection> filter(filterMutex);
    int result = 0;
    if (!bRunning) {
        Trace(TRACE_FAILURE, "SourceStopped : e-error : not running\n");
        result = -10;
    } else {
        CloseMMIO();
        bRunning = false;
    }
    Trace(TRACE_ENTRY, "~SourceStopped : returning %d\n", result);
    return result;
}

} // namespace tamsor
