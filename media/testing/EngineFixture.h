#pragma once
#include <gtest/gtest.h>

#include <cstddef>

#include "media/base/EngineTrace.h"
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

namespace tamsor {

// A fresh registry, a fresh sample pool and a recording trace log for each engine test.
class EngineFixture : public ::testing::Test {
public:
    void SetUp() override {
        AudioSampleManager::Init();
        SetEngineTraceLog(&log);
    }
    void TearDown() override {
        SetEngineTraceLog(nullptr);
        AudioSampleManager::Shutdown();
    }

    static AudioSampleManager* Pool() { return AudioSampleManager::GetInstance(); }

    // Every sample taken from the pool is back in it.
    static void ExpectPoolBalanced() {
        EXPECT_EQ(static_cast<size_t>(Pool()->GetCreatedCount()), Pool()->GetFreeCount());
    }

    // A 16-bit PCM silence sample of `ms` milliseconds.
    static AudioSample* Silence(int ms) {
        AudioSample* s = nullptr;
        Pool()->GetAudioSample(&s, nullptr);
        s->SetFormat(MakeWaveFormat(FORMAT_PCM16));
        s->SetDataSize(0);
        s->SetSilenceMs(ms);
        return s;
    }

    RegistrySandbox registry;
    RecordingTraceLog log;
};

} // namespace tamsor
