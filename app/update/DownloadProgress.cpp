#include "app/update/DownloadProgress.h"

#include "app/strings/StringTable.h"

namespace {

constexpr int kCaptionString = 120; // "QUORvex Update"
constexpr int kHideString = 121;    // "Hide"

plat::DialogTemplate Template() {
    plat::DialogTemplate t;
    t.width = 320;
    t.height = 90;
    t.controls = {
        {plat::ControlKind::ProgressBar, DownloadProgress::kProgressBar, "", 12, 14, 296, 22},
        {plat::ControlKind::Button, plat::kIdOk, "OK", 120, 50, 80, 28, 0, true},
    };
    return t;
}

} // namespace

bool DownloadProgress::Create() {
    dialog_ = plat::CurrentDialogFactory().CreateModeless(Template(), *this);
    if (!dialog_) {
        return false;
    }
    dialog_->SetRange(kProgressBar, 0, 1000);
    dialog_->SetTopmost(true);
    dialog_->Move(0, 0);
    dialog_->Show(true);
    return true;
}

void DownloadProgress::SetProgress(int perMille) {
    if (dialog_) {
        dialog_->SetPos(kProgressBar, perMille);
    }
}

bool DownloadProgress::IsVisible() const {
    return dialog_ && dialog_->IsVisible();
}

void DownloadProgress::OnInitDialog(plat::Dialog& dialog) {
    std::string text;
    LoadCString(kCaptionString, text);
    dialog.SetTitle(text);
    LoadCString(kHideString, text);
    dialog.SetText(plat::kIdOk, text);
}

void DownloadProgress::OnOK(plat::Dialog& dialog) {
    dialog.Show(false);
}

void DownloadProgress::OnCancel(plat::Dialog& dialog) {
    dialog.Show(false);
}
