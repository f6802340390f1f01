#include <gtest/gtest.h>

#include "platform/audio/alsa/VolumeLaw.h"

namespace {

using plat::VolumeLaw;
using Scale = VolumeLaw::Scale;

// A mixer value is an amplitude gain of value / 65535 on every kind of control; 0 is the
// bottom of the control, and the value read back is the one that was set.
TEST(VolumeLawTest, AMixerValueIsTheSameAmplitudeGainOnEveryKindOfControl) {
    const VolumeLaw server{Scale::Cubic, 0, 65536}; // PulseAudio's plugin
    const VolumeLaw decibel{Scale::Decibel, 0, 63, -4650, 3000};
    const VolumeLaw quiet{Scale::Decibel, 0, 63, -6000, -1000}; // tops out below 0 dB
    const VolumeLaw linear{Scale::Linear, 0, 31};
    struct Case {
        const char* what;
        const VolumeLaw& law;
        uint32_t value;
        long target;
        uint32_t readBack;
    };
    const Case cases[] = {
        {"server, 0 is the bottom", server, 0, 0, 0},
        {"server, 1 is audible", server, 1, 1626, 1},
        {"server, half is -6 dB", server, 32767, 52016, 32768},
        {"server, full is 0 dB", server, 65535, 65536, 65535},
        {"server, above full", server, 70000, 65536, 65535},
        {"dB, 0 is the bottom", decibel, 0, -4650, 0},
        {"dB, 1 is held at the bottom", decibel, 1, -4650, 0},
        {"dB, half", decibel, 32767, -602, 32770},
        {"dB, full is 0 dB, not the boost", decibel, 65535, 0, 65535},
        {"dB, a range below 0 dB tops out", quiet, 65535, -1000, 20724},
        {"linear, 0", linear, 0, 0, 0},
        {"linear, half", linear, 32767, 15, 31710},
        {"linear, full", linear, 65535, 31, 65535},
        {"linear, above full", linear, 70000, 31, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.law.Target(c.value), c.target);
        EXPECT_EQ(c.law.ValueOf(c.target), c.readBack);
    }
    // What a control reports outside the range it claims is held to it.
    EXPECT_EQ(server.ValueOf(70000), 65535u);
    EXPECT_EQ(decibel.ValueOf(1200), 65535u) << "a boost reads as full";
    EXPECT_EQ((VolumeLaw{Scale::Linear, 5, 5}).ValueOf(5), 0u) << "a range of one step";
}

} // namespace
