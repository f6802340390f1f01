#include "media/graph/FixedSizeAudioBuffer.h"

#include <algorithm>
#include <mutex>

#include "media/base/RegistryValues.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/core/Clock.h"

namespace tamsor {

namespace {

constexpr uint32_t kEmptyListSleepMs = 5;

} // namespace

FixedSizeAudioBuffer::FixedSizeAudioBuffer() {
    SetComponentNameFor("FixedSizeAudioBuffer", this);
    LoadTraceLevel();
    audioBuffer.reserve(4 * kMaxOutputSize);
    pullSamples.reserve(4);
}

FixedSizeAudioBuffer::~FixedSizeAudioBuffer() {
    StopSourceThread();
    StopSinkThread();
    for (auto& entry : pullSamples) {
        if (entry.first) {
            entry.first->Release(this);
        }
    }
}

int FixedSizeAudioBuffer::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTraceFixedSizeAudioBuffer);
}

int FixedSizeAudioBuffer::SetOutputMs(int ms) {
    outputMs.store(ms);
    return 0;
}

int FixedSizeAudioBuffer::BufferedBytes() {
    std::lock_guard<plat::CriticalSection> guard(bufferLock);
    return BufferedLocked();
}

int FixedSizeAudioBuffer::GetOutputSize() {
    std::lock_guard<plat::CriticalSection> guard(bufferLock);
    return outputSize;
}

int FixedSizeAudioBuffer::EnquePacket(AudioSampleList& samples) {
    if (samples.empty() || !samples.front().first) {
        Trace(TRACE_FAILURE, "EnquePacket : asked to enqueue NULL packet\n");
        plat::SleepMs(kEmptyListSleepMs);
        return 0;
    }
    AudioSample* sample = samples.front().first;
    const int usPerBlock = sample->GetMicrosecondsPerBlock();
    const int blockBytes = sample->GetBytesPerBlock();
    if (usPerBlock <= 0 || blockBytes <= 0) {
        // A format without block figures gives no size to cut by.
        Trace(TRACE_FAILURE, "EnquePacket : sample without block figures\n");
        return 0;
    }
    std::lock_guard<plat::CriticalSection> guard(bufferLock);
    microsecondsPerBlock = usPerBlock;
    bytesPerBlock = blockBytes;
    waveFormat = sample->Format();
    // Between one block and what a sample can hold, so cutting always makes progress and
    // never overruns the output sample.
    const int64_t size =
        static_cast<int64_t>(outputMs.load()) * bytesPerBlock * 1000 / microsecondsPerBlock;
    outputSize = static_cast<int>(
        std::clamp<int64_t>(size, std::min(bytesPerBlock, kMaxOutputSize), kMaxOutputSize));

    if (bufferStart > 0 && bufferStart >= audioBuffer.size() / 2) {
        audioBuffer.erase(audioBuffer.begin(), audioBuffer.begin() + bufferStart);
        bufferStart = 0;
    }
    if (sample->GetDataSize() > 0) {
        const uint8_t* data = sample->GetData();
        audioBuffer.insert(audioBuffer.end(), data, data + sample->GetDataSize());
    } else if (sample->GetSilenceMs() >= 1) {
        const int64_t zeros = static_cast<int64_t>(bytesPerBlock) * sample->GetSilenceMs() * 1000 /
                              microsecondsPerBlock;
        audioBuffer.insert(audioBuffer.end(), static_cast<size_t>(zeros), uint8_t{0});
    }
    return 0;
}

AudioSample* FixedSizeAudioBuffer::CutChunk() {
    if (BufferedLocked() < outputSize) {
        return nullptr;
    }
    AudioSample* chunk = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&chunk, this);
    chunk->SetFormat(waveFormat);
    std::copy_n(audioBuffer.begin() + bufferStart, outputSize, chunk->GetData());
    chunk->SetDataSize(outputSize);
    bufferStart += outputSize;
    if (bufferStart == audioBuffer.size()) {
        audioBuffer.clear();
        bufferStart = 0;
    }
    return chunk;
}

int FixedSizeAudioBuffer::RenderAudioSamples(AudioSampleList& samples) {
    if (!bRunning) {
        return 0;
    }
    EnquePacket(samples);
    for (;;) {
        AudioSample* chunk;
        {
            std::lock_guard<plat::CriticalSection> guard(bufferLock);
            chunk = CutChunk();
        }
        if (!chunk) {
            break;
        }
        {
            std::lock_guard<plat::CriticalSection> guard(audioSinksMutex);
            for (size_t i = 0; i < audioSinks.size(); ++i) {
                SendAudioSample(chunk, audioSinks[i]);
            }
        }
        chunk->Release(this);
    }
    return 0;
}

int FixedSizeAudioBuffer::GenerateData(AudioSample** out) {
    *out = nullptr;
    Trace(TRACE_ENTRY, "GenerateData\n");
    for (;;) {
        {
            std::lock_guard<plat::CriticalSection> guard(bufferLock);
            if (!bRunning || BufferedLocked() >= outputSize) {
                break;
            }
            Trace(TRACE_DETAIL, "GenerateData : filling data\n");
        }
        {
            std::lock_guard<plat::CriticalSection> guard(audioSourcesMutex);
            for (size_t i = 0; i < audioSources.size(); ++i) {
                AudioSample* sample = nullptr;
                int result = audioSources[i]->GiveNextAudioSample(&sample, this);
                if (!sample) {
                    continue;
                }
                if (result == 0) {
                    pullSamples.emplace_back(sample, audioSources[i]);
                } else {
                    sample->Release(this);
                }
            }
        }
        EnquePacket(pullSamples);
        for (auto& entry : pullSamples) {
            entry.first->Release(this);
        }
        pullSamples.clear();
    }

    AudioSample* chunk = nullptr;
    std::lock_guard<plat::CriticalSection> guard(bufferLock);
    Trace(TRACE_DETAIL, "GenerateData : audioBuffer.size = %d, outputSize = %d\n", BufferedLocked(),
          outputSize);
    if (bRunning) {
        chunk = CutChunk();
    }
    if (chunk) {
        Trace(TRACE_DETAIL, "GenerateData : transmitting data\n");
    } else {
        AudioSampleManager::GetInstance()->GetAudioSample(&chunk, this);
        chunk->SetFormat(waveFormat);
        chunk->SetDataSize(0);
        chunk->SetSilenceMs(outputMs.load());
    }
    *out = chunk;
    Trace(TRACE_ENTRY, "~GenerateData\n");
    return 0;
}

int FixedSizeAudioBuffer::TransformStarted() {
    std::lock_guard<plat::CriticalSection> guard(bufferLock);
    audioBuffer.clear();
    bufferStart = 0;
    waveFormat = MakeWaveFormat(FORMAT_PCM16);
    bRunning = true;
    return 0;
}

int FixedSizeAudioBuffer::TransformStopped() {
    bRunning = false;
    return 0;
}

int FixedSizeAudioBuffer::TransformAudioSamples(AudioSampleList&, AudioSample** out) {
    *out = nullptr;
    return 0;
}

} // namespace tamsor
