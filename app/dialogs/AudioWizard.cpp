#include "app/dialogs/AudioWizard.h"

#include <algorithm>

#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Clock.h"
#include "platform/core/Paths.h"
#include "platform/store/IniFile.h"

namespace {

using Direction = plat::SoundServer::Direction;

constexpr int kDoneString = 80;   // "The Audio Wizard has finished successfully"
constexpr int kFailedString = 81; // "Sorry, QUORvex can not setup your Usb Phone. ..."
constexpr int kStep2String = 82;
constexpr int kStep1String = 83;
constexpr int kNextString = 84;
constexpr int kCancelString = 2;
// How far step 1 got: the server did not answer, or it has no devices.
constexpr int64_t kLevelNoServer = 0;
constexpr int64_t kLevelNoDevices = 4;

plat::DialogTemplate Template() {
    plat::DialogTemplate t;
    t.title = "Audio Wizard";
    t.width = 360;
    t.height = 150;
    t.controls = {
        {plat::ControlKind::Label, AudioWizard::kStepText, "", 12, 12, 336, 80},
        {plat::ControlKind::Button, plat::kIdOk, "", 172, 106, 90, 28, 0, true},
        {plat::ControlKind::Button, plat::kIdCancel, "", 268, 106, 80, 28},
    };
    return t;
}

void SetString(plat::Dialog& dialog, int control, int id) {
    std::string text;
    LoadCString(id, text);
    dialog.SetText(control, text);
}

} // namespace

AudioWizard::AudioWizard(std::string settingsIni)
    : CMsgBox(this),
      settingsIni_(settingsIni.empty() ? plat::JoinPath(plat::ConfigDir(), "quorvix.ini")
                                       : std::move(settingsIni)) {}

AudioWizard::~AudioWizard() = default;

int AudioWizard::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

void AudioWizard::OnInitDialog(plat::Dialog& dialog) {
    native_ = dialog.Native();
    SetString(dialog, kStepText, kStep1String);
    SetString(dialog, plat::kIdOk, kNextString);
    SetString(dialog, plat::kIdCancel, kCancelString);
    step_ = 1;
    Close(); // the handset stays closed while the wizard runs
}

void AudioWizard::OnOK(plat::Dialog& dialog) {
    if (step_ == 1) {
        RunStep1(dialog);
    } else {
        RunStep2(dialog);
    }
}

void AudioWizard::OnDestroy(plat::Dialog&) {
    native_ = nullptr;
    Open();
}

void AudioWizard::RunStep1(plat::Dialog& dialog) {
    plat::SoundServer& server = plat::CurrentSoundServer();
    if (!server.GetDefault(Direction::Output, &rememberedOutput_) ||
        !server.GetDefault(Direction::Input, &rememberedInput_)) {
        Fail("error en audio wizard, success level=", kLevelNoServer);
        return;
    }
    std::vector<std::string> outputs, inputs;
    if (!server.ListDevices(Direction::Output, &outputs) ||
        !server.ListDevices(Direction::Input, &inputs) || outputs.empty() || inputs.empty()) {
        Fail("error en audio wizard, success level=", kLevelNoDevices);
        return;
    }
    SetString(dialog, kStepText, kStep2String);
    step_ = 2;
}

bool AudioWizard::Restore(Direction direction, const std::string& remembered) {
    plat::SoundServer& server = plat::CurrentSoundServer();
    std::string current;
    if (!server.GetDefault(direction, &current)) {
        return false;
    }
    if (current == remembered) {
        return true;
    }
    std::vector<std::string> devices;
    if (!server.ListDevices(direction, &devices)) {
        return false;
    }
    // From the last device to the first, as the list is searched for the remembered one.
    auto found = std::find(devices.rbegin(), devices.rend(), remembered);
    if (found == devices.rend()) {
        AppTrace(("error en audio wizard, ya no existe el dispositivo " + remembered).c_str());
        return false; // the default stays as it is
    }
    return server.SetDefault(direction, *found);
}

void AudioWizard::RunStep2(plat::Dialog& dialog) {
    plat::SleepMs(kSettleMs);
    bool restored = Restore(Direction::Output, rememberedOutput_);
    restored = Restore(Direction::Input, rememberedInput_) && restored;
    if (restored) {
        ShowMessage(kDoneString, plat::kMbOk);
    } else {
        Fail("error en audio wizard, success level=", kLevelNoDevices);
    }
    dialog.EndDialog(plat::kIdCancel);
}

void AudioWizard::Fail(const std::string& trace, int64_t level) {
    AppTrace(trace.c_str(), level);
    if (ShowMessage(kFailedString, plat::kMbYesNo | plat::kMbIconStop) != plat::kIdYes) {
        plat::IniFile(settingsIni_).WriteString("general", "AudioWizard", "1");
    }
}
