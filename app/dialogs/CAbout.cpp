#include "app/dialogs/CAbout.h"

#include "app/dialogs/DeploymentPages.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"

namespace {

constexpr int kCaptionString = 54; // "About QUORvex..."
constexpr int kOkString = 1;       // "Ok"
constexpr char kHiddenText[] = "Quorvex service mode";
constexpr char kNotices[] = "Quorvex uses these libraries, each under its own licence:\n"
                            "libre (SIP and SDP) - BSD licence\n"
                            "GTK, GLib, cairo and pango - GNU LGPL 2.1 or later\n"
                            "libX11 and libXext - MIT/X licence\n"
                            "libcurl - curl licence (MIT/X style)\n"
                            "SpeexDSP - BSD licence\n"
                            "SQLite - public domain\n"
                            "ALSA library - GNU LGPL 2.1 or later";

plat::DialogTemplate Template() {
    plat::DialogTemplate t;
    t.width = 420;
    t.height = 220;
    t.controls = {
        {plat::ControlKind::Label, 0, kNotices, 12, 12, 396, 150},
        {plat::ControlKind::Button, CAbout::kLicenseButton, "License...", 12, 180, 110, 28},
        {plat::ControlKind::Button, plat::kIdOk, "OK", 328, 180, 80, 28, 0, true},
    };
    return t;
}

} // namespace

int CAbout::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

bool CAbout::IsHiddenModeRequest(bool controlDown, const std::string& dialedNumber) {
    return controlDown && dialedNumber == kAccessCode;
}

void CAbout::OnInitDialog(plat::Dialog& dialog) {
    dialog_ = &dialog;
    std::string caption;
    LoadCString(kCaptionString, caption);
    caption.erase(caption.find_last_not_of('.') + 1);
    dialog.SetTitle(caption);
    std::string ok;
    LoadCString(kOkString, ok);
    dialog.SetText(plat::kIdOk, ok);
}

void CAbout::OnCommand(plat::Dialog& dialog, int id, int notification) {
    if (id == kLicenseButton && notification == plat::kBnClicked) {
        OnButtonLicense(dialog);
        return;
    }
    DialogHandler::OnCommand(dialog, id, notification);
}

void CAbout::OnDestroy(plat::Dialog&) {
    dialog_ = nullptr;
}

plat::NativeWindow CAbout::MessageBoxParent() const {
    return dialog_ ? dialog_->Native() : nullptr;
}

void CAbout::OnButtonLicense(plat::Dialog& dialog) {
    if (IsHiddenModeRequest(plat::CurrentDialogFactory().IsControlKeyDown(), dialedNumber_)) {
        plat::MessageBox(dialog.Native(), kHiddenText, "Quorvex", plat::kMbOk);
        return;
    }
    const std::string page = DeploymentPages::Load().licencePage;
    if (page.empty()) {
        AppTrace("CAbout: !ShellExecute "); // deployment.ini names no licence page
        return;
    }
    pages_.Open(page, "CAbout: !ShellExecute " + page);
}
