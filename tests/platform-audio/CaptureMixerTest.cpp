#include <gtest/gtest.h>

#include "platform/audio/CaptureMixer.h"
#include "platform/audio/WaveIn.h"
#include "platform/audio/null/NullAudioBackend.h"
#include "platform/audio/testing/AudioTestSupport.h"

using namespace plat;

namespace {

TEST(CaptureMixer, WalksTheWaveInLineOfTheOpenDeviceAndKeepsValues) {
    NullAudioBackend backend(100.0);
    ScopedAudioBackend scoped(backend);
    CaptureMixer mixer;
    WaveIn in;
    EXPECT_EQ(mixer.Open(in), MMSYSERR_INVALHANDLE) << "the wave-in device is closed";
    EXPECT_EQ(mixer.Open(3), MMSYSERR_BADDEVICEID);
    MixerLineInfo line;
    EXPECT_EQ(mixer.GetLineInfoByComponentType(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &line),
              MMSYSERR_INVALHANDLE);

    ASSERT_EQ(in.Open(WAVE_MAPPER, audiotest::Pcm8k()), MMSYSERR_NOERROR);
    ASSERT_EQ(mixer.Open(in), MMSYSERR_NOERROR);
    MixerLineInfo destination;
    ASSERT_EQ(mixer.GetLineInfoByComponentType(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &destination),
              MMSYSERR_NOERROR);
    ASSERT_EQ(destination.connections, 1u);
    EXPECT_EQ(mixer.GetLineInfoByComponentType(0x1234, &line), MIXERR_INVALLINE);
    ASSERT_EQ(mixer.GetSourceLineInfo(destination.destination, 0, &line), MMSYSERR_NOERROR);
    EXPECT_EQ(line.componentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(mixer.GetSourceLineInfo(destination.destination, 1, &line), MIXERR_INVALLINE);
    ASSERT_EQ(mixer.GetSourceLineInfo(destination.destination, 0, &line), MMSYSERR_NOERROR);

    MixerControlInfo volume, mute;
    ASSERT_EQ(mixer.GetLineControlByType(line.lineId, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
              MMSYSERR_NOERROR);
    ASSERT_EQ(mixer.GetLineControlByType(line.lineId, MIXERCONTROL_CONTROLTYPE_MUTE, &mute),
              MMSYSERR_NOERROR);
    EXPECT_EQ(
        mixer.GetLineControlByType(destination.lineId, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
        MIXERR_INVALCONTROL);
    ASSERT_EQ(mixer.GetLineControlByType(line.lineId, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
              MMSYSERR_NOERROR);
    ASSERT_EQ(mixer.SetControlDetails(volume.controlId, 32767), MMSYSERR_NOERROR);
    ASSERT_EQ(mixer.SetControlDetails(mute.controlId, 5), MMSYSERR_NOERROR);
    ASSERT_EQ(mixer.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer.Close(), MMSYSERR_INVALHANDLE);

    // The mixer is the system's: a second open sees the values.
    ASSERT_EQ(mixer.Open(0), MMSYSERR_NOERROR);
    uint32_t value = 0;
    ASSERT_EQ(mixer.GetControlDetails(volume.controlId, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 32767u);
    ASSERT_EQ(mixer.GetControlDetails(mute.controlId, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 1u) << "a mute is 0 or 1";
    backend.Mixer().InjectFailure(MemoryMixer::Op::SetValue, MMSYSERR_ERROR);
    EXPECT_EQ(mixer.SetControlDetails(volume.controlId, 1), MMSYSERR_ERROR);
    backend.InjectFault(AudioOp::MixerOpen, MMSYSERR_NOMEM);
    CaptureMixer other;
    EXPECT_EQ(other.Open(in), MMSYSERR_NOMEM);
    ASSERT_EQ(in.Close(), MMSYSERR_NOERROR);
}

} // namespace
