#include "media/rtp/RTPJitterBuffer.h"

#include <mutex>
#include <new>

#include "media/base/RTPPacket.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/rtp/RTPAudioStream.h"
#include "platform/core/Clock.h"

namespace tamsor {

namespace {
constexpr int kMaxNullPulls = 5;
} // namespace

RTPJitterBuffer::RTPJitterBuffer() {
    SetComponentNameFor("RTPJitterBuffer", this);
    LoadTraceLevel();
}

RTPJitterBuffer::~RTPJitterBuffer() {
    Trace(TRACE_ENTRY, "RTPJitterBuffer~\n");
    std::lock_guard<plat::CriticalSection> guard(rtpAudioStreamsMutex);
    Clear();
    activeAudioStream = nullptr;
}

int RTPJitterBuffer::LoadTraceLevel() {
    return LoadTraceLevelFrom("RTPJitterBuffer");
}

int RTPJitterBuffer::SetJitterTarget(int ms) {
    jitterTargetMs.store(ms);
    return 0;
}

int RTPJitterBuffer::Clear() {
    std::lock_guard<plat::CriticalSection> guard(rtpAudioStreamsMutex);
    for (auto& entry : rtpAudioStreams) {
        Trace(TRACE_DETAIL, "Clear : deleting audio stream 0x%x ssrc = %u\n", 0, entry.first);
        delete entry.second;
    }
    rtpAudioStreams.clear();
    return 0;
}

size_t RTPJitterBuffer::GetStreamCount() {
    std::lock_guard<plat::CriticalSection> guard(rtpAudioStreamsMutex);
    return rtpAudioStreams.size();
}

bool RTPJitterBuffer::GetActiveSSRC(uint32_t* ssrc) {
    std::lock_guard<plat::CriticalSection> guard(rtpAudioStreamsMutex);
    if (!activeAudioStream) {
        return false;
    }
    *ssrc = static_cast<uint32_t>(activeAudioStream->GetSSRC());
    return true;
}

int RTPJitterBuffer::TransformStarted() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    if (bRunning) {
        Trace(TRACE_FAILURE, "TransformStarted : Already Running\n");
        return 0;
    }
    {
        std::lock_guard<plat::CriticalSection> streams(rtpAudioStreamsMutex);
        Clear();
        activeAudioStream = nullptr;
    }
    bRunning = true;
    return 0;
}

int RTPJitterBuffer::TransformStopped() {
    std::lock_guard<plat::CriticalSection> guard(filterMutex);
    bRunning = false;
    return 0;
}

int RTPJitterBuffer::TransformAudioSamples(AudioSampleList&, AudioSample** out) {
    *out = nullptr;
    return 0;
}

void RTPJitterBuffer::DropIdleStreams() {
    size_t idle = rtpAudioStreams.size() - (activeAudioStream ? 1 : 0);
    while (idle > kMaxIdleStreams) {
        auto oldest = rtpAudioStreams.end();
        for (auto it = rtpAudioStreams.begin(); it != rtpAudioStreams.end(); ++it) {
            if (it->second != activeAudioStream &&
                (oldest == rtpAudioStreams.end() ||
                 it->second->lastUse < oldest->second->lastUse)) {
                oldest = it;
            }
        }
        if (oldest == rtpAudioStreams.end()) {
            break;
        }
        Trace(TRACE_DETAIL, "RenderAudioSamples : dropping idle stream ssrc %u\n", oldest->first);
        delete oldest->second;
        rtpAudioStreams.erase(oldest);
        --idle;
    }
}

int RTPJitterBuffer::RenderAudioSamples(AudioSampleList& samples) {
    bool running;
    {
        std::lock_guard<plat::CriticalSection> guard(filterMutex);
        running = bRunning;
    }
    if (!running) {
        Trace(TRACE_DETAIL, "RenderAudioSamples : bRunning = false. Sleeping %d\n", silenceMs);
        plat::SleepMs(static_cast<uint32_t>(silenceMs));
        return 0;
    }
    if (samples.empty() || !samples.front().first) {
        return 0;
    }
    AudioSample* sample = samples.front().first;
    RTPPacket* header = sample->GetRTPHeader();
    if (!header) {
        Trace(TRACE_FAILURE, "~RenderAudioSamples : packet with no RTP header\n");
        return -10;
    }
    const uint32_t ssrc = header->ssrc;
    std::lock_guard<plat::CriticalSection> streams(rtpAudioStreamsMutex);
    auto it = rtpAudioStreams.find(ssrc);
    RTPAudioStream* stream;
    if (it == rtpAudioStreams.end()) {
        stream = new (std::nothrow) RTPAudioStream(ssrc);
        if (!stream) {
            return -20;
        }
        rtpAudioStreams.emplace(ssrc, stream);
        Trace(TRACE_STATE,
              "RenderAudioSamples : no previous stream with ssrc %d. created new one\n",
              static_cast<int>(ssrc));
    } else {
        stream = it->second;
    }
    stream->lastUse = ++useCounter;
    DropIdleStreams();
    stream->InsertRTPPacket(sample);
    return 0;
}

int RTPJitterBuffer::ChooseNewActiveStream() {
    std::lock_guard<plat::CriticalSection> guard(rtpAudioStreamsMutex);
    nullPacketCount = 0;
    if (activeAudioStream) {
        Trace(TRACE_STATE, "ChooseNewActiveStream : deleting current active stream\n");
        for (auto it = rtpAudioStreams.begin(); it != rtpAudioStreams.end(); ++it) {
            if (it->second == activeAudioStream) {
                rtpAudioStreams.erase(it);
                break;
            }
        }
        delete activeAudioStream;
        activeAudioStream = nullptr;
    }
    const int target = jitterTargetMs.load();
    for (auto it = rtpAudioStreams.begin(); it != rtpAudioStreams.end(); ++it) {
        if (it->second->GetQueuedMs() >= target) {
            activeAudioStream = it->second;
            rtpAudioStreams.erase(it);
            break;
        }
    }
    if (activeAudioStream) {
        Clear();
        rtpAudioStreams.emplace(static_cast<uint32_t>(activeAudioStream->GetSSRC()),
                                activeAudioStream);
    }
    return 0;
}

AudioSample* RTPJitterBuffer::MakeSilence() {
    AudioSample* s = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&s, this);
    if (s) {
        s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        s->SetDataSize(0);
        s->SetSilenceMs(silenceMs);
    }
    return s;
}

int RTPJitterBuffer::GenerateData(AudioSample** out) {
    *out = nullptr;
    {
        std::lock_guard<plat::CriticalSection> guard(filterMutex);
        if (!bRunning) {
            return 0;
        }
    }
    {
        std::lock_guard<plat::CriticalSection> streams(rtpAudioStreamsMutex);
        if (!activeAudioStream || activeAudioStream->GetNumPackets() < 1 ||
            nullPacketCount > kMaxNullPulls) {
            ChooseNewActiveStream();
        }
        if (activeAudioStream) {
            activeAudioStream->GiveNextRTPPacket(out);
            if (*out) {
                nullPacketCount = 0;
                return 0;
            }
            ++nullPacketCount;
        }
    }
    *out = MakeSilence();
    return 0;
}

} // namespace tamsor
