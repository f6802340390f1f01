#include "media/rtp/RTPAudioStream.h"

#include <mutex>

#include "media/base/RTPPacket.h"
#include "media/base/RegistryValues.h"
#include "media/graph/AudioSample.h"

namespace tamsor {

namespace {

constexpr uint8_t kComfortNoisePayloadType = 13;
constexpr int kMaxTimesOut = 5;
constexpr int kAdaptationPeriod = 100;
constexpr int kThresholdStepMs = 20;
constexpr int kMaxDroppedPerAdaptationMs = 60;
constexpr int kLateRestartDistance = -25;

bool ReadDynamicJitterBuffer() {
    return GetRegistryBool(kRegSettingsKey, kRegUseDynamicJitterBuffer,
                           kDefaultUseDynamicJitterBuffer);
}

// Playout distance in ms from `last` to `next`, by last's sample period.
int DistanceMs(AudioSample* last, const RTPPacket& lastHeader, const RTPPacket& nextHeader) {
    const auto ticks = static_cast<int32_t>(nextHeader.timestamp - lastHeader.timestamp);
    const double ms = static_cast<double>(ticks) * last->GetMicrosecondsPerBlock() * 0.001 + 0.5;
    return static_cast<int>(ms);
}

} // namespace

RTPAudioStream::RTPAudioStream(uint32_t streamSsrc) : ssrc(streamSsrc) {
    SetComponentNameFor("RTPAudioStream", this);
    LoadTraceLevel();
    packetQueue.reserve(32);
    bDynamicJitterBuffer = ReadDynamicJitterBuffer();
}

RTPAudioStream::~RTPAudioStream() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    DropLastAudioSample();
    while (AudioSample* s = PopHeap()) {
        s->Release(this);
    }
}

int RTPAudioStream::LoadTraceLevel() {
    return LoadTraceLevelFrom("RTPJitterBuffer");
}

void RTPAudioStream::PushHeap(AudioSample* sample) {
    packetQueue.push_back(sample);
    size_t i = packetQueue.size() - 1;
    while (i > 0) {
        size_t parent = (i - 1) / 2;
        if (packetQueue[parent]->IsEarlierThan(sample)) {
            break;
        }
        packetQueue[i] = packetQueue[parent];
        i = parent;
    }
    packetQueue[i] = sample;
}

AudioSample* RTPAudioStream::PopHeap() {
    if (packetQueue.empty()) {
        return nullptr;
    }
    AudioSample* top = packetQueue.front();
    AudioSample* last = packetQueue.back();
    packetQueue.pop_back();
    const size_t n = packetQueue.size();
    if (n > 0) {
        size_t i = 0;
        for (;;) {
            size_t child = 2 * i + 1;
            if (child >= n) {
                break;
            }
            if (child + 1 < n && packetQueue[child + 1]->IsEarlierThan(packetQueue[child])) {
                ++child;
            }
            if (!packetQueue[child]->IsEarlierThan(last)) {
                break;
            }
            packetQueue[i] = packetQueue[child];
            i = child;
        }
        packetQueue[i] = last;
    }
    return top;
}

void RTPAudioStream::DropLastAudioSample() {
    if (lastAudioSample) {
        lastAudioSample->Release(this);
        lastAudioSample = nullptr;
    }
}

int RTPAudioStream::AddPacket(AudioSample* sample) {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    RTPPacket* header = sample ? sample->GetRTPHeader() : nullptr;
    if (!header) {
        return 0;
    }
    if (queuedMs >= 10 * restartThreshold || packetQueue.size() >= kMaxPackets) {
        return 0;
    }
    // An exact duplicate (same timestamp and sequence number) is played once only.
    for (AudioSample* queued : packetQueue) {
        RTPPacket* h = queued->GetRTPHeader();
        if (h && h->timestamp == header->timestamp && h->sequenceNumber == header->sequenceNumber) {
            Trace(TRACE_DETAIL, "AddPacket : duplicate seqNo %u dropped\n", header->sequenceNumber);
            return 0;
        }
    }
    if (header->payloadType == kComfortNoisePayloadType) {
        ++comfortNoiseCount;
    }
    sample->AddRef(this);
    PushHeap(sample);
    queuedMs += sample->GetDurationMs();
    Trace(TRACE_DETAIL, "%s : AddPacket : pushed audioSample 0x%x, ssrc %u, seqNo %u\n",
          GetComponentName(), 0, header->ssrc, header->sequenceNumber);
    return 0;
}

int RTPAudioStream::PopNextPacket(AudioSample** out) {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    *out = PopHeap();
    if (*out) {
        RTPPacket* h = (*out)->GetRTPHeader();
        if (h && h->payloadType == kComfortNoisePayloadType) {
            --comfortNoiseCount;
        } else {
            queuedMs -= (*out)->GetDurationMs();
        }
    }
    return 0;
}

int RTPAudioStream::InsertRTPPacket(AudioSample* sample) {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    RTPPacket* header = sample ? sample->GetRTPHeader() : nullptr;
    if (!header) {
        Trace(TRACE_FAILURE, "%s : InserRTPPacket : audioSample has no rtpHeader\n",
              GetComponentName());
        return 0;
    }
    RTPPacket* last = lastAudioSample ? lastAudioSample->GetRTPHeader() : nullptr;
    if (last) {
        if (header->timestamp == last->timestamp &&
            header->sequenceNumber == last->sequenceNumber) {
            return 0; // a copy of the frame just played
        }
        if (static_cast<int32_t>(header->timestamp - last->timestamp) < 0) {
            // Late. Sequence numbers compare modulo 2^16 so the wrap does not look like a jump.
            const int d = static_cast<int16_t>(header->sequenceNumber - last->sequenceNumber);
            if (d >= kLateRestartDistance) {
                return 0;
            }
            Reset();
        }
    }
    return AddPacket(sample);
}

int RTPAudioStream::Reset() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    while (AudioSample* s = PopHeap()) {
        s->Release(this);
    }
    bBuffering = true;
    DropLastAudioSample();
    lastDurationMs = 0;
    numRepeats = 0;
    comfortNoiseCount = 0;
    queuedMs = 0;
    adaptationCounter = 0;
    underrunCount = 0;
    bDynamicJitterBuffer = ReadDynamicJitterBuffer();
    return 0;
}

bool RTPAudioStream::TakeNextPacket(AudioSample** out) {
    AudioSample* s = nullptr;
    PopNextPacket(&s);
    if (!s) {
        return false;
    }
    DropLastAudioSample();
    s->AddRef(this);
    lastAudioSample = s;
    *out = s;
    lastDurationMs = s->GetDurationMs();
    numRepeats = 1;
    return true;
}

void RTPAudioStream::RepeatLast(AudioSample** out) {
    lastAudioSample->AddRef(this);
    *out = lastAudioSample;
    ++numRepeats;
}

int RTPAudioStream::GiveNextRTPPacket(AudioSample** out) {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    *out = nullptr;
    if (bBuffering) {
        if (comfortNoiseCount > 0 || queuedMs >= restartThreshold) {
            bBuffering = false;
        } else {
            return 0;
        }
    }
    if (bDynamicJitterBuffer && adaptationCounter == kAdaptationPeriod - 1) {
        if (underrunCount > 1) {
            underrunCount = 0;
            restartThreshold += kThresholdStepMs;
            Trace(TRACE_STATE, "%s : GiveNextRTPPacket : increased restartThreshold by 20 to %d\n",
                  GetComponentName(), restartThreshold);
        } else {
            int newThreshold = restartThreshold;
            if (queuedMs <= restartThreshold + 40) {
                newThreshold = restartThreshold - kThresholdStepMs;
                if (newThreshold < kThresholdFloorMs) {
                    newThreshold = kThresholdFloorMs;
                }
            }
            Trace(TRACE_STATE,
                  "%s : GiveNextRTPPacket : restartThreshold = %d, newThreshold = %d\n",
                  GetComponentName(), restartThreshold, newThreshold);
            restartThreshold = newThreshold;
            int dropped = 0;
            while (queuedMs > restartThreshold && dropped < kMaxDroppedPerAdaptationMs) {
                AudioSample* s = nullptr;
                if (!TakeNextPacket(&s)) {
                    break;
                }
                dropped += s->GetDurationMs();
                s->Release(this);
            }
            underrunCount = 0;
        }
        adaptationCounter = kAdaptationPeriod;
    }

    bool handedOut = false;
    if (!packetQueue.empty()) {
        AudioSample* top = packetQueue.front();
        RTPPacket* topHeader = top->GetRTPHeader();
        RTPPacket* lastHeader = lastAudioSample ? lastAudioSample->GetRTPHeader() : nullptr;
        if (topHeader && topHeader->payloadType == kComfortNoisePayloadType) {
            AudioSample* s = nullptr;
            PopNextPacket(&s);
            if (s) {
                s->Release(this);
            }
            bBuffering = true;
            DropLastAudioSample();
            return 0;
        }
        if (lastAudioSample && lastHeader && topHeader) {
            const int dist = DistanceMs(lastAudioSample, *lastHeader, *topHeader);
            if (dist - lastDurationMs * numRepeats < lastDurationMs) {
                handedOut = TakeNextPacket(out);
            } else if (numRepeats >= kMaxTimesOut) {
                bBuffering = true;
                DropLastAudioSample();
                return 0;
            } else {
                RepeatLast(out);
                handedOut = true;
            }
        } else {
            handedOut = TakeNextPacket(out);
        }
    } else {
        if (!lastAudioSample || numRepeats >= kMaxTimesOut) {
            bBuffering = true;
            DropLastAudioSample();
            return 0;
        }
        RepeatLast(out);
        handedOut = true;
        if (numRepeats == 2) {
            ++underrunCount;
        }
    }
    if (handedOut) {
        adaptationCounter = (adaptationCounter + 1) % kAdaptationPeriod;
    }
    return 0;
}

int RTPAudioStream::GetNumPackets() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    return static_cast<int>(packetQueue.size());
}

int RTPAudioStream::GetQueuedMs() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    return queuedMs;
}

int RTPAudioStream::GetSSRC() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    return static_cast<int>(ssrc);
}

int RTPAudioStream::GetRestartThreshold() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    return restartThreshold;
}

bool RTPAudioStream::IsBuffering() {
    std::lock_guard<plat::CriticalSection> guard(streamLock);
    return bBuffering;
}

} // namespace tamsor
