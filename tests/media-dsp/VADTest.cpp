#include <gtest/gtest.h>

#include <cmath>

#include "media/dsp/VAD.h"
#include "media/testing/GraphTestSupport.h"

using namespace tamsor;

namespace {

bool SameState(const VadState& a, const VadState& b) {
    return a.initialised == b.initialised && a.envelope == b.envelope && a.rising == b.rising &&
           a.hangover == b.hangover && a.noiseFloor == b.noiseFloor &&
           a.floorTimer == b.floorTimer && a.margin == b.margin &&
           a.previousSample == b.previousSample;
}

// Starts the detector afresh with the given previous sample.
void Restart(int16_t previous) {
    VadSharedState().previousSample = previous;
    VadInit();
}

// The number of leading frames of 160 zeros reported as speech (of up to 100).
int SpeechFramesOfZeros() {
    std::vector<int16_t> zeros(160, 0);
    int speech = 0;
    for (int frame = 0; frame < 100; ++frame) {
        if (!VadIsSpeech(zeros.data(), 160)) {
            break;
        }
        ++speech;
    }
    return speech;
}

class Vad : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        saved = VadSharedState();
    }
    void TearDown() override {
        VadSharedState() = saved;
        GraphFixture::TearDown();
    }
    VadState saved;
};

TEST_F(Vad, UninitialisedEverythingIsSpeechAndAnEmptyFrameIsSilence) {
    VadSharedState().initialised = false;
    std::vector<int16_t> zeros(160, 0);
    EXPECT_TRUE(VadIsSpeech(zeros.data(), 160));
    EXPECT_TRUE(VadIsSpeech(nullptr, 0));
    VadInit();
    VadState before = VadSharedState();
    EXPECT_FALSE(VadIsSpeech(zeros.data(), 0));
    EXPECT_TRUE(SameState(before, VadSharedState()));
    EXPECT_EQ(10000u, before.envelope);
    EXPECT_EQ(4000, before.hangover);
    EXPECT_EQ(-74.0f, before.noiseFloor);
    EXPECT_EQ(12000, before.floorTimer);
}

TEST_F(Vad, ZerosTurnToSilenceAfterTheHangover) {
    Restart(0);
    EXPECT_EQ(35, SpeechFramesOfZeros());
    // A freshly loaded library starts from its own previous sample, which lengthens the
    // hangover.
    VadSharedState() = VadState{};
    VadInit();
    EXPECT_EQ(42, SpeechFramesOfZeros());
}

TEST_F(Vad, AfterAHundredFramesOfZerosTwentyIsSpeechAndTenIsNot) {
    Restart(0);
    std::vector<int16_t> zeros(160, 0);
    for (int i = 0; i < 100; ++i) {
        VadIsSpeech(zeros.data(), 160);
    }
    EXPECT_EQ(511u, VadSharedState().envelope);
    EXPECT_EQ(-73.0f, std::round(VadSharedState().noiseFloor));
    const VadState quiet = VadSharedState();
    std::vector<int16_t> twenty(160);
    std::vector<int16_t> ten(160);
    for (int i = 0; i < 160; ++i) {
        twenty[static_cast<size_t>(i)] = i % 2 ? -20 : 20;
        ten[static_cast<size_t>(i)] = i % 2 ? -10 : 10;
    }
    EXPECT_TRUE(VadIsSpeech(twenty.data(), 160));
    VadSharedState() = quiet;
    EXPECT_FALSE(VadIsSpeech(ten.data(), 160));
}

TEST_F(Vad, FramesAreWorkedInChunksOfFortyAndOnlyChangesCount) {
    std::vector<int16_t> x(100);
    for (int i = 0; i < 100; ++i) {
        x[static_cast<size_t>(i)] = static_cast<int16_t>((i * 7919) % 3000 - 1500);
    }
    Restart(0);
    VadIsSpeech(x.data(), 100);
    const VadState whole = VadSharedState();
    Restart(0);
    VadIsSpeech(x.data(), 40);
    VadIsSpeech(x.data() + 40, 40);
    VadIsSpeech(x.data() + 80, 20);
    EXPECT_TRUE(SameState(whole, VadSharedState()));

    // A constant input after its first value adds nothing to the envelope.
    Restart(5000);
    std::vector<int16_t> dc(160, 5000);
    VadIsSpeech(dc.data(), 160);
    const uint32_t dcEnvelope = VadSharedState().envelope;
    Restart(0);
    std::vector<int16_t> zeros(160, 0);
    VadIsSpeech(zeros.data(), 160);
    EXPECT_EQ(VadSharedState().envelope, dcEnvelope);
}

TEST_F(Vad, SilentFramesBecomeSilenceSamplesAndSilenceSamplesPassUnchanged) {
    VAD vad;
    EXPECT_EQ(0, vad.Enable());
    VadSharedState().previousSample = 0;
    EXPECT_EQ(0, vad.StartTransform());
    EXPECT_EQ(4000, VadSharedState().hangover);

    // Within the hangover a quiet frame is speech and passes unchanged.
    AudioSample* frame = PcmFill(160, 0);
    AudioSampleList list{{frame, nullptr}};
    AudioSample* out = nullptr;
    EXPECT_EQ(0, vad.TransformAudioSamples(list, &out));
    EXPECT_EQ(frame, out);
    EXPECT_EQ(320, frame->GetDataSize());
    out->Release(nullptr);
    for (int i = 0; i < 40; ++i) {
        vad.TransformAudioSamples(list, &out);
        out->Release(nullptr);
        if (frame->GetDataSize() == 0) {
            break;
        }
    }
    EXPECT_EQ(0, frame->GetDataSize());
    EXPECT_EQ(20, frame->GetSilenceMs());

    // 100 bytes judged silent: 6 ms.
    AudioSample* shortFrame = PcmFill(50, 0);
    AudioSampleList shortList{{shortFrame, nullptr}};
    vad.TransformAudioSamples(shortList, &out);
    EXPECT_EQ(0, shortFrame->GetDataSize());
    EXPECT_EQ(6, shortFrame->GetSilenceMs());
    out->Release(nullptr);

    // A sample without data keeps its silence, and the detector learns nothing.
    AudioSample* silence = Silence(20);
    const VadState before = VadSharedState();
    AudioSampleList silenceList{{silence, nullptr}};
    EXPECT_EQ(0, vad.TransformAudioSamples(silenceList, &out));
    EXPECT_EQ(silence, out);
    EXPECT_EQ(20, silence->GetSilenceMs());
    EXPECT_EQ(0, silence->GetDataSize());
    EXPECT_TRUE(SameState(before, VadSharedState()));
    out->Release(nullptr);

    // Speech passes unchanged.
    std::vector<int16_t> loud(160);
    for (int i = 0; i < 160; ++i) {
        loud[static_cast<size_t>(i)] = i % 2 ? -8000 : 8000;
    }
    AudioSample* speech = Pcm(loud);
    AudioSampleList speechList{{speech, nullptr}};
    vad.TransformAudioSamples(speechList, &out);
    EXPECT_EQ(320, speech->GetDataSize());
    EXPECT_EQ(-8000, Value(speech, 1));
    out->Release(nullptr);

    AudioSampleList empty;
    EXPECT_EQ(0, vad.TransformAudioSamples(empty, &out));
    EXPECT_EQ(nullptr, out);
    for (auto* s : {frame, shortFrame, silence, speech}) {
        EXPECT_EQ(1, s->GetRefCount());
        s->Release(nullptr);
    }
    ExpectPoolBalanced();
}

} // namespace
