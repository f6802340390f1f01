#include "app/dialogs/CAbout2.h"

#include "app/dialogs/CAbout.h"
#include "platform/core/ModuleVersion.h"

namespace {

plat::DialogTemplate Template() {
    std::string version;
    plat::ReadModuleVersion(plat::ExecutablePath(), &version);
    plat::DialogTemplate t;
    t.title = "About Quorvex";
    t.width = 320;
    t.height = 130;
    t.controls = {
        {plat::ControlKind::Label, 0, "Quorvex " + version, 12, 12, 296, 24},
        {plat::ControlKind::Label, 0, "A softphone for SIP services.", 12, 40, 296, 24},
        {plat::ControlKind::Button, CAbout2::kAboutButton, "Licenses...", 12, 88, 110, 28},
        {plat::ControlKind::Button, plat::kIdOk, "OK", 228, 88, 80, 28, 0, true},
    };
    return t;
}

} // namespace

int CAbout2::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

void CAbout2::OnCommand(plat::Dialog& dialog, int id, int notification) {
    if (id == kAboutButton && notification == plat::kBnClicked) {
        CAbout about(dialedNumber_);
        about.DoModal(dialog.Native());
        return;
    }
    DialogHandler::OnCommand(dialog, id, notification);
}
