#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "app/dialogs/AudioWizard.h"
#include "app/trace/TraceFile.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/desktop/testing/FakeHandsetDriver.h"
#include "platform/desktop/testing/FakeSoundServer.h"
#include "platform/store/IniFile.h"
#include "platform/ui/RecordingMessageBoxSink.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "tests/support/RecordingTraceLog.h"

namespace {

using plat::FakeSoundServer;
using Direction = plat::SoundServer::Direction;

TEST(AudioWizardTest, StepTwoRestoresTheRememberedDefaultsOnlyWhenTheyStillExist) {
    struct Case {
        const char* name;
        bool reachable;
        const std::vector<std::string>& outputs; // when step 1 runs
        bool plugIn;                             // the handset's devices become the defaults
        bool outputGone;                         // the remembered output is gone by step 2
        int answer;                              // to message 81
        const char* output; // the default output at the end (the input stays "mic")
        bool failed;        // the failure question is asked, else the success note
        const char* trace;
        bool noteWritten; // AudioWizard=1 in quorvix.ini
    };
    const std::string done = "The Audio Wizard has finished successfully";
    const std::string failed = "Sorry, QUORvex can not setup your Usb Phone.\r\nDo you wish to "
                               "run Audio Wizard next time you start QUORvex?";
    const std::vector<std::string> both = {"spk", "usb-out"}, spk = {"spk"}, none;
    const Case cases[] = {
        {"both restored", true, both, true, false, 0, "spk", false, nullptr, false},
        {"nothing changed", true, both, false, false, 0, "spk", false, nullptr, false},
        {"remembered output gone", true, both, true, true, plat::kIdNo, "usb-out", true,
         "error en audio wizard, ya no existe el dispositivo spk", true},
        {"no server", false, spk, false, false, plat::kIdYes, "spk", true,
         "error en audio wizard, success level=0(time)", false},
        {"no devices", true, none, false, false, plat::kIdNo, "spk", true,
         "error en audio wizard, success level=4(time)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        audiotest::TempDir dir;
        FakeSoundServer server;
        server.SetReachable(c.reachable);
        server.SetDevices(Direction::Output, c.outputs);
        server.SetDevices(Direction::Input, {"mic", "usb-in"});
        server.ForceDefault(Direction::Output, "spk");
        server.ForceDefault(Direction::Input, "mic");
        plat::FakeClock clock;
        plat::ScopedClock scopedClock(clock);
        plat::FakeHandsetDriver handset;
        plat::ScopedHandsetDriver scopedHandset(handset);
        plat::FakeDialogFactory dialogs;
        plat::RecordingMessageBoxSink boxes(c.answer);
        RecordingTraceLog trace;
        iTraceFile* previousTrace = g_pTrace.exchange(&trace);
        ASSERT_TRUE(CUsbEventsDest::Open());

        bool handsetClosed = false;
        dialogs.QueueScript([&](plat::FakeDialog& d) {
            handsetClosed = !CUsbEventsDest::IsOpen();
            d.Click(plat::kIdOk); // Next: step 1
            if (d.Ended() || !c.reachable || c.outputs.empty()) {
                return;
            }
            EXPECT_EQ(d.GetText(AudioWizard::kStepText),
                      "Step 2: Please, plug in your QUORvex again");
            if (c.plugIn) {
                server.ForceDefault(Direction::Output, "usb-out");
                server.ForceDefault(Direction::Input, "usb-in");
            }
            if (c.outputGone) {
                server.SetDevices(Direction::Output, {"usb-out"});
            }
            d.Click(plat::kIdOk); // step 2
        });
        AudioWizard wizard(dir.File("quorvix.ini"));
        EXPECT_EQ(wizard.DoModal(nullptr), plat::kIdCancel);
        EXPECT_TRUE(handsetClosed);
        EXPECT_TRUE(CUsbEventsDest::IsOpen()) << "opened again when the wizard goes";
        EXPECT_EQ(server.Default(Direction::Output), c.output);
        EXPECT_EQ(server.Default(Direction::Input), "mic");
        std::vector<std::string> asked;
        for (const auto& request : boxes.Requests()) {
            asked.push_back(request.text);
        }
        EXPECT_EQ(asked, std::vector<std::string>{c.failed ? failed : done});
        if (c.trace != nullptr) {
            EXPECT_EQ(trace.Count(c.trace), 1);
        }
        EXPECT_EQ(plat::IniFile(dir.File("quorvix.ini")).GetString("general", "AudioWizard", ""),
                  c.noteWritten ? "1" : "");
        g_pTrace.store(previousTrace);
        CUsbEventsDest::Close();
    }
}

TEST(PactlSoundServerTest, DefaultsAndDevicesAreReadFromPactlAndSetThroughIt) {
    audiotest::TempDir dir;
    std::string script = dir.File("pactl");
    std::ofstream(script) << "#!/bin/sh\n"
                             "echo \"$@\" >> "
                          << dir.File("calls")
                          << "\n"
                             "case \"$1 $3\" in\n"
                             "  'get-default-sink ') echo alsa_output.usb-Phone ;;\n"
                             "  'list sources') printf '1\\talsa_input.pci\\tmodule\\tRUNNING\\n"
                             "2\\talsa_input.usb-Phone\\tmodule\\tIDLE\\n' ;;\n"
                             "  'set-default-source ') exit 0 ;;\n"
                             "  *) exit 1 ;;\n"
                             "esac\n";
    chmod(script.c_str(), 0700);
    setenv("QUORVEX_PACTL", script.c_str(), 1);
    plat::PactlSoundServer pactl;
    std::string name;
    EXPECT_TRUE(pactl.GetDefault(Direction::Output, &name));
    EXPECT_EQ(name, "alsa_output.usb-Phone");
    EXPECT_FALSE(pactl.GetDefault(Direction::Input, &name));
    std::vector<std::string> names;
    EXPECT_TRUE(pactl.ListDevices(Direction::Input, &names));
    EXPECT_EQ(names, (std::vector<std::string>{"alsa_input.pci", "alsa_input.usb-Phone"}));
    EXPECT_TRUE(pactl.SetDefault(Direction::Input, "alsa_input.pci"));
    std::ifstream calls(dir.File("calls"));
    std::string line, last;
    while (std::getline(calls, line)) {
        last = line;
    }
    EXPECT_EQ(last, "set-default-source alsa_input.pci");
    setenv("QUORVEX_PACTL", dir.File("absent").c_str(), 1);
    EXPECT_FALSE(pactl.GetDefault(Direction::Output, &name));
    unsetenv("QUORVEX_PACTL");
}

} // namespace
