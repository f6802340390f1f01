#include "app/dialogs/CWizardKzn.h"

#include "app/dialogs/DeploymentPages.h"
#include "app/dialogs/PageOpener.h"
#include "app/trace/TraceFile.h"

namespace {

plat::DialogTemplate Template() {
    plat::DialogTemplate t; // no caption
    t.width = 520;          // wide enough for the second choice's text on one line
    t.height = 200;
    t.controls = {
        {plat::ControlKind::Label, CWizardKzn::kWelcome,
         "Welcome, this is the first time you execute QUORvex KZN Edition.", 12, 12, 496, 56},
        {plat::ControlKind::RadioButton, CWizardKzn::kHaveAccount,
         "If you already have an KZN account click here  ", 12, 76, 496, 24},
        {plat::ControlKind::RadioButton, CWizardKzn::kWantAccount,
         "If you don\u00b4t have an KZN account but would like to get one click here", 12, 104, 496,
         24},
        {plat::ControlKind::Button, plat::kIdOk, "Continue", 332, 156, 90, 28, 0, true},
        {plat::ControlKind::Button, plat::kIdCancel, "Cancel", 428, 156, 80, 28},
    };
    return t;
}

} // namespace

int CWizardKzn::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

void CWizardKzn::OnInitDialog(plat::Dialog& dialog) {
    dialog.SetCheck(kWantAccount, true);
    dialog.SetFont(kWelcome, {"Verdana", 20, true});
}

void CWizardKzn::OnOK(plat::Dialog& dialog) {
    if (dialog.GetCheck(kWantAccount)) {
        const std::string page = DeploymentPages::Load().signupPage;
        if (page.empty()) {
            AppTrace("CWizardKzn: !ShellExecute "); // deployment.ini names no sign-up page
        } else {
            // The opener answers after the welcome has closed: its box has no owner.
            PageOpener(nullptr).Open(page, "CWizardKzn: !ShellExecute " + page);
        }
    }
    dialog.EndDialog(plat::kIdOk);
}
