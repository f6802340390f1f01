#pragma once
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "media/base/EngineTrace.h"
#include "media/base/RTPPacket.h"
#include "media/base/RegistryValues.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/testing/EngineFixture.h"
#include "platform/core/Clock.h"
#include "platform/net/testing/FakeUdpSocket.h"

namespace tamsor {

// An RTP datagram: version 2, no CSRC, the payload bytes `payloadSize` times `fill`.
inline std::vector<uint8_t> MakeRtp(uint16_t seq, uint32_t ts, uint32_t ssrc, uint8_t pt,
                                    size_t payloadSize, uint8_t fill = 0x55, bool marker = false) {
    std::vector<uint8_t> d(12 + payloadSize, fill);
    d[0] = 0x80;
    d[1] = static_cast<uint8_t>(pt | (marker ? 0x80 : 0));
    d[2] = static_cast<uint8_t>(seq >> 8);
    d[3] = static_cast<uint8_t>(seq);
    for (int i = 0; i < 4; ++i) {
        d[4 + i] = static_cast<uint8_t>(ts >> (24 - 8 * i));
        d[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
    return d;
}

// The engine fixture with registry settings and RTP sample helpers.
class RtpFixture : public EngineFixture {
protected:
    static std::string Setting(const char* name) {
        return GetRegistryString(kRegSettingsKey, name, "<missing>");
    }
    static void SetSetting(const char* name, const char* text) {
        SetRegistryString(kRegSettingsKey, name, text);
    }

    // A sample with `bytes` data bytes of `fill` in the given format.
    static AudioSample* Data(unsigned format, int bytes, uint8_t fill = 0) {
        AudioSample* s = nullptr;
        Pool()->GetAudioSample(&s, nullptr);
        s->SetFormat(MakeWaveFormat(format));
        std::memset(s->GetData(), fill, static_cast<size_t>(bytes));
        s->SetDataSize(bytes);
        return s;
    }
    // Attaches an RTP header record to a sample.
    static AudioSample* WithHeader(AudioSample* s, uint16_t seq, uint32_t ts, uint32_t ssrc,
                                   uint8_t pt) {
        auto* h = new RTPPacket;
        h->version = 2;
        h->headerLength = 12;
        h->totalLength = 12;
        h->sequenceNumber = seq;
        h->timestamp = ts;
        h->ssrc = ssrc;
        h->payloadType = pt;
        s->SetRTPHeader(h);
        return s;
    }
};

} // namespace tamsor
