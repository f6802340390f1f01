#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/login/SelectUsbSoundDevices.h"

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

} // namespace
