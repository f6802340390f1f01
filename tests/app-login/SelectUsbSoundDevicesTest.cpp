#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/login/SelectUsbSoundDevices.h"
#include "app/sound/PlaySound2.h"
#include "platform/audio/AudioBackend.h"
#include "tests/app-login/FakeLoginView.h"

namespace {

TEST(SelectUsbSoundDevices, TheLastMatchingDeviceIsTheHandsets) {
    using Devices = std::vector<SoundDeviceInfo>;
    struct Case {
        const char* what;
        Devices devices;
        int found;
    };
    const Case cases[] = {
        {"none", {}, -1},
        {"no handset", {{"HDA Intel PCH: ALC892 Analog", false}}, -1},
        {"the highest of two wins",
         {{"USB Audio Device: USB Audio", false},
          {"HDA Intel", false},
          {"USB Audio Device: USB Audio #1", false}},
         2},
        {"case is ignored", {{"HDA", false}, {"usb AUDIO device", false}}, 1},
        {"the Spanish name", {{"dispositivo de audio usb", false}, {"HDA", false}}, 0},
        {"the name must begin the text", {{"My USB Audio Device", false}}, -1},
        {"sixteen characters are needed", {{"USB Audio Devic", false}}, -1},
        {"a card with the USB audio driver", {{"C-Media USB Headphone Set", true}}, 0},
        {"the index counts from 0", {{"USB Audio Device", false}, {"HDA", false}}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.found, FindUsbSoundDevice(c.devices)) << c.what;
    }
}

// Sound devices with names and drivers of the test's choice; nothing can be opened.
class NamedDevicesBackend final : public plat::AudioBackend {
public:
    const char* Name() const override { return "named"; }
    std::vector<std::string> OutputDeviceNames() override { return Names(out); }
    std::vector<std::string> InputDeviceNames() override { return Names(in); }
    bool IsUsbAudioDevice(bool capture, int device) override {
        const auto& list = capture ? in : out;
        return device >= 0 && static_cast<size_t>(device) < list.size() &&
               list[static_cast<size_t>(device)].usb;
    }
    plat::MMRESULT OpenPlayback(int, const plat::WaveDeviceFormat&,
                                std::unique_ptr<plat::PlaybackStream>*) override {
        return plat::MMSYSERR_BADDEVICEID;
    }
    plat::MMRESULT OpenCapture(int, const plat::WaveDeviceFormat&,
                               std::unique_ptr<plat::CaptureStream>*) override {
        return plat::MMSYSERR_BADDEVICEID;
    }
    plat::MMRESULT OpenMixer(int, std::shared_ptr<plat::MixerDevice>*) override {
        return plat::MMSYSERR_BADDEVICEID;
    }

    std::vector<SoundDeviceInfo> out;
    std::vector<SoundDeviceInfo> in;

private:
    static std::vector<std::string> Names(const std::vector<SoundDeviceInfo>& list) {
        std::vector<std::string> names;
        for (const auto& d : list) {
            names.push_back(d.name);
        }
        return names;
    }
};

class SelectUsbSoundDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nWaveOutDev = -1;
        g_nWaveInDev = -1;
    }
    void TearDown() override {
        g_nWaveOutDev = -1;
        g_nWaveInDev = -1;
    }
    NamedDevicesBackend backend_;
    plat::ScopedAudioBackend scoped_{backend_};
    TraceCapture trace_;
};

constexpr char kNoSpeaker[] = " no se pudo ubicar el disp. de salida (cornetas) USB";
constexpr char kNoMicrophone[] = " no se pudo ubicar el disp. de entrada (microfono) USB";

TEST_F(SelectUsbSoundDevicesTest, AnOpenHandsetTakesItsSpeakerAndMicrophone) {
    backend_.out = {{"USB Audio Device", false}, {"HDA", false}, {"Speakers", true}};
    backend_.in = {{"HDA", false}, {"Dispositivo de audio USB", false}};
    SelectUsbSoundDevices(true);
    EXPECT_EQ(2, g_nWaveOutDev);
    EXPECT_EQ(1, g_nWaveInDev);
    EXPECT_TRUE(trace_.lines.empty());
}

TEST_F(SelectUsbSoundDevicesTest, WhatIsNotFoundStaysTheDefaultAndIsTraced) {
    backend_.out = {{"HDA", false}};
    backend_.in = {{"USB Audio Device", false}};
    SelectUsbSoundDevices(true);
    EXPECT_EQ(-1, g_nWaveOutDev);
    EXPECT_EQ(0, g_nWaveInDev);
    EXPECT_EQ(std::vector<std::string>{kNoSpeaker}, trace_.lines);

    // Without a handset nothing is searched; a missing microphone is still traced.
    trace_.lines.clear();
    g_nWaveInDev = -1;
    SelectUsbSoundDevices(false);
    EXPECT_EQ(-1, g_nWaveOutDev);
    EXPECT_EQ(-1, g_nWaveInDev);
    EXPECT_EQ(std::vector<std::string>{kNoMicrophone}, trace_.lines);
}

} // namespace
