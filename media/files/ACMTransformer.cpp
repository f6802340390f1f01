#include "media/files/ACMTransformer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/core/Clock.h"

namespace tamsor {

namespace {

using Lock = std::lock_guard<plat::CriticalSection>;

std::vector<uint8_t> RecordBytes(const WaveFormat& format) {
    std::vector<uint8_t> block(WaveFormat::kSerializedSize);
    format.ToBytes(block.data());
    return block;
}

bool IsPcm16Mono(const WaveFormat& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.wBitsPerSample == 16 &&
           f.nSamplesPerSec > 0 && f.nBlockAlign == 2;
}

} // namespace

ACMTransformer::ACMTransformer()
    : sourceFormat(MakeWaveFormat(FORMAT_PCM16)), destinationFormat(MakeWaveFormat(FORMAT_PCM16)),
      outputQueue(kBufferSize) {
    SetComponentNameFor("ACMTransformer", this);
    LoadTraceLevel();
    sourceBlock = RecordBytes(sourceFormat);
    acmHeader.destination.reserve(kBufferSize);
}

ACMTransformer::~ACMTransformer() {
    Trace(TRACE_ENTRY, "~ACMTransformer : begin\n");
    // The owner stops the conversion first; should it not have, nobody may be left waiting.
    if (bRunning.exchange(false)) {
        freeBuffersEvent.Set();
        outputDequeueEvent.Set();
        Lock acm(acmMutex);
        converter.Close();
    }
    Trace(TRACE_ENTRY, "~ACMTransformer : end\n");
}

int ACMTransformer::LoadTraceLevel() {
    return LoadTraceLevelFrom("ACMTransformer");
}

int ACMTransformer::SetSourceFormat(const WaveFormat& format) {
    Lock formats(formatMutex);
    sourceFormat = format;
    sourceBlock = RecordBytes(format);
    return 0;
}

int ACMTransformer::SetSourceFormat(const uint8_t* block, size_t size) {
    plat::ConverterError error = plat::AudioConverter::ParseFormat(block, size, nullptr);
    if (error != plat::ConverterError::None) {
        Trace(TRACE_FAILURE, "SetSourceFormat : %s\n", plat::ConverterErrorText(error));
        return -10;
    }
    Lock formats(formatMutex);
    sourceFormat = WaveFormat::FromBytes(block, size);
    sourceBlock.assign(block, block + size);
    return 0;
}

int ACMTransformer::SetDestinationFormat(const WaveFormat& format) {
    Lock formats(formatMutex);
    destinationFormat = format;
    return 0;
}

WaveFormat ACMTransformer::GetDestinationFormat() {
    Lock formats(formatMutex);
    return destinationFormat;
}

int ACMTransformer::SetFrameLength(int ms) {
    frameLength = ms;
    return 0;
}

int ACMTransformer::GetQueuedBytes() {
    Lock queue(outputQueueMutex);
    return static_cast<int>(queueCount);
}

int ACMTransformer::FrameBytes(const WaveFormat& destination) const {
    int ms = frameLength.load();
    if (ms <= 0 || destination.nBlockAlign == 0) {
        return 0;
    }
    uint64_t blocks = static_cast<uint64_t>(destination.nSamplesPerSec) * ms / 1000;
    uint64_t bytes = blocks * destination.nBlockAlign;
    return bytes > static_cast<uint64_t>(AudioSample::kBufferSize) ? AudioSample::kBufferSize
                                                                   : static_cast<int>(bytes);
}

int ACMTransformer::TransformStarted() {
    Trace(TRACE_ENTRY, "TransformStarted\n");
    Lock state(stateMutex);
    if (bRunning) {
        Trace(TRACE_STATE, "TransformStarted : Already running\n");
        return 0;
    }
    WaveFormat source, destination;
    std::vector<uint8_t> block;
    {
        Lock formats(formatMutex);
        source = sourceFormat;
        destination = destinationFormat;
        block = sourceBlock;
    }
    {
        Lock acm(acmMutex);
        plat::ConverterError error = plat::ConverterError::BadOutput;
        if (IsPcm16Mono(destination)) {
            error = converter.Open(block.data(), block.size(), destination.nSamplesPerSec);
        }
        if (error != plat::ConverterError::None) {
            Trace(TRACE_FAILURE,
                  "TransformStarted : acmStreamOpen failed with error code %d 0x%x\n",
                  static_cast<int>(error), static_cast<int>(error));
            TraceWaveFormat(*this, TRACE_FAILURE, source);
            TraceWaveFormat(*this, TRACE_FAILURE, destination);
            // A source format the converter cannot take fails the open (-10); an output it
            // cannot produce, or a converter that cannot be set up, fails the preparation
            // (-20). Either way the result is negative and the transformer stays stopped.
            return (error == plat::ConverterError::ResamplerFailed ||
                    error == plat::ConverterError::BadOutput)
                       ? -20
                       : -10;
        }
    }
    {
        Lock acm(acmMutex); // a push from before the last stop may still be converting
        acmHeader.destination.clear();
    }
    {
        Lock free(freeBuffersMutex);
        freeBuffers.clear();
    }
    bRunning = true;
    ReleaseBuffer(&acmHeader);
    Trace(TRACE_ENTRY, "~TransformStarted : bRunning = %d\n", 1);
    return 0;
}

int ACMTransformer::TransformStopped() {
    Trace(TRACE_ENTRY, "TransformStopped\n");
    Lock state(stateMutex);
    if (!bRunning) {
        Trace(TRACE_STATE, "TransformStarted : Already stopped\n");
        return 0;
    }
    // With the upstream gone and a consumer still linked, let the consumer take every whole
    // frame that is queued, so the end of a file is heard. The wait ends early on a flush and
    // gives up when the consumer stops taking frames.
    bool drain;
    {
        Lock sources(audioSourcesMutex);
        Lock sinks(audioSinksMutex);
        drain = audioSources.empty() && !audioSinks.empty();
    }
    if (drain) {
        Trace(TRACE_STATE, "TransformStopped : numSources = 0 & numDest = %d\n", 1);
        const size_t frameBytes = static_cast<size_t>(FrameBytes(GetDestinationFormat()));
        size_t lastCount = SIZE_MAX;
        uint32_t idleMs = 0;
        while (frameBytes > 0) {
            size_t count;
            {
                Lock queue(outputQueueMutex);
                count = queueCount;
            }
            if (count < frameBytes) {
                break;
            }
            if (count < lastCount) {
                idleMs = 0;
            } else if (idleMs >= kDrainIdleLimitMs) {
                Trace(TRACE_FAILURE, "TransformStopped : consumer took nothing, %d bytes left\n",
                      static_cast<int>(count));
                break;
            }
            lastCount = count;
            if (outputDequeueEvent.Wait(kWaitSliceMs) != plat::WaitResult::Signalled) {
                idleMs += kWaitSliceMs;
            }
        }
    }
    bRunning = false;
    {
        Lock free(freeBuffersMutex);
        freeBuffers.clear();
        freeBuffersEvent.Set();
    }
    {
        Lock queue(outputQueueMutex);
        outputDequeueEvent.Set();
    }
    {
        Lock acm(acmMutex);
        converter.Close();
    }
    Trace(TRACE_ENTRY, "~TransformStopped : bRunning = %d\n", 0);
    return 0;
}

ACMTransformer::ConversionHeader* ACMTransformer::GetBuffer() {
    while (bRunning) {
        {
            Lock free(freeBuffersMutex);
            if (!freeBuffers.empty()) {
                ConversionHeader* header = freeBuffers.front();
                freeBuffers.pop_front();
                return header;
            }
        }
        freeBuffersEvent.Wait(kWaitSliceMs);
    }
    return nullptr;
}

void ACMTransformer::ReleaseBuffer(ConversionHeader* header) {
    Lock free(freeBuffersMutex);
    if (std::find(freeBuffers.begin(), freeBuffers.end(), header) == freeBuffers.end()) {
        freeBuffers.push_back(header);
    }
    freeBuffersEvent.Set();
}

int ACMTransformer::AddConvertedData(const uint8_t* bytes, int count) {
    // More than the queue can ever hold is queued in pieces, each waiting for room.
    while (count > 0) {
        const size_t piece = static_cast<size_t>(std::min(count, kBufferSize));
        for (;;) {
            if (!bRunning) {
                return 0; // stopped: the bytes are dropped
            }
            {
                Lock queue(outputQueueMutex);
                if (kBufferSize - queueCount >= piece) {
                    size_t tail = (queueHead + queueCount) % kBufferSize;
                    size_t first = std::min(piece, kBufferSize - tail);
                    std::memcpy(outputQueue.data() + tail, bytes, first);
                    std::memcpy(outputQueue.data(), bytes + first, piece - first);
                    queueCount += piece;
                    break;
                }
            }
            outputDequeueEvent.Wait(kWaitSliceMs);
        }
        bytes += piece;
        count -= static_cast<int>(piece);
    }
    return 0;
}

int ACMTransformer::FlushBuffer() {
    {
        Lock queue(outputQueueMutex);
        queueHead = 0;
        queueCount = 0;
    }
    outputDequeueEvent.Set();
    return 0;
}

int ACMTransformer::TransformAudioSamples(AudioSampleList&, AudioSample**) {
    return 0;
}

int ACMTransformer::RenderAudioSamples(AudioSampleList& samples) {
    const int ms = std::max(frameLength.load(), 0);
    if (samples.empty() || samples.front().first == nullptr || !bRunning) {
        plat::SleepMs(static_cast<uint32_t>(ms));
        return -50;
    }
    AudioSample* sample = samples.front().first;
    const int size = sample->GetDataSize();
    if (size <= 0) {
        plat::SleepMs(static_cast<uint32_t>(std::max(sample->GetSilenceMs(), 0)));
        return -40;
    }
    ConversionHeader* header = GetBuffer();
    if (header == nullptr) {
        plat::SleepMs(static_cast<uint32_t>(ms));
        return -30;
    }
    std::vector<uint8_t> converted;
    {
        Lock acm(acmMutex);
        if (converter.PendingBytes() + static_cast<size_t>(size) > kBufferSize) {
            ReleaseBuffer(header);
            plat::SleepMs(static_cast<uint32_t>(ms));
            return -20;
        }
        if (!converter.IsOpen()) {
            ReleaseBuffer(header);
            Trace(TRACE_FAILURE,
                  "RenderAudioSamples : acmStreamConvert failed with error code %d 0x%x\n", -1, -1);
            plat::SleepMs(static_cast<uint32_t>(ms));
            return -10;
        }
        header->destination.clear();
        converter.Convert(sample->GetData(), static_cast<size_t>(size), &header->destination);
        converted.assign(header->destination.begin(), header->destination.end());
    }
    ReleaseBuffer(header);
    if (!converted.empty()) {
        AddConvertedData(converted.data(), static_cast<int>(converted.size()));
    }
    return 0;
}

int ACMTransformer::GenerateData(AudioSample** out) {
    *out = nullptr;
    AudioSample* sample = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&sample, this);
    if (sample == nullptr) {
        Trace(TRACE_FAILURE, "GenerateData : could not get audioSample from manager\n");
        return -30;
    }
    const WaveFormat destination = GetDestinationFormat();
    sample->SetFormat(destination);
    sample->SetDataSize(0);
    sample->SetSilenceMs(frameLength.load());
    const int frameBytes = FrameBytes(destination);
    if (!bRunning) {
        {
            Lock queue(outputQueueMutex);
            outputDequeueEvent.Set();
        }
        sample->Release(this);
        return -20;
    }
    {
        Lock queue(outputQueueMutex);
        if (frameBytes <= 0 || queueCount < static_cast<size_t>(frameBytes)) {
            sample->Release(this);
            return -10;
        }
        const size_t n = static_cast<size_t>(std::min(frameBytes, sample->GetBufferSize()));
        size_t first = std::min(n, kBufferSize - queueHead);
        std::memcpy(sample->GetData(), outputQueue.data() + queueHead, first);
        std::memcpy(sample->GetData() + first, outputQueue.data(), n - first);
        queueHead = (queueHead + n) % kBufferSize;
        queueCount -= n;
        outputDequeueEvent.Set();
        sample->SetDataSize(static_cast<int>(n));
    }
    *out = sample;
    return 0;
}

} // namespace tamsor
