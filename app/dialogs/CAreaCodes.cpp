#include "app/dialogs/CAreaCodes.h"

#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"

namespace {

constexpr int kCaptionString = 170;  // "Country codes"
constexpr int kLocationString = 171; // "Location:"
constexpr int kCodeString = 172;     // "Country code:"
constexpr int kOkString = 1;

plat::DialogTemplate Template() {
    // The list is wide enough for the longest location of our codes.txt at GTK's fonts here;
    // a longer one is cut short with an ellipsis.
    plat::DialogTemplate t;
    t.width = 400;
    t.height = 150;
    t.controls = {
        {plat::ControlKind::Label, CAreaCodes::kLocationLabel, "", 12, 16, 110, 24},
        {plat::ControlKind::ComboBox, CAreaCodes::kCountryCombo, "", 126, 10, 262, 30},
        {plat::ControlKind::Label, CAreaCodes::kCodeLabel, "", 12, 58, 110, 24},
        {plat::ControlKind::Edit, CAreaCodes::kCodeEdit, "", 126, 52, 262, 30,
         static_cast<int>(AreaCodeList::kMaxCode)},
        {plat::ControlKind::Button, plat::kIdOk, "OK", 308, 106, 80, 28, 0, true},
    };
    return t;
}

void SetString(plat::Dialog& dialog, int control, int id) {
    std::string text;
    LoadCString(id, text);
    dialog.SetText(control, text);
}

} // namespace

CAreaCodes::CAreaCodes(std::string path)
    : path_(path.empty() ? plat::JoinPath(plat::ProgramDir(), "codes.txt") : std::move(path)) {}

int CAreaCodes::DoModal(plat::NativeWindow owner) {
    return plat::CurrentDialogFactory().RunModal(Template(), *this, owner);
}

void CAreaCodes::OnInitDialog(plat::Dialog& dialog) {
    std::string caption;
    LoadCString(kCaptionString, caption);
    dialog.SetTitle(caption);
    SetString(dialog, kLocationLabel, kLocationString);
    SetString(dialog, kCodeLabel, kCodeString);
    SetString(dialog, plat::kIdOk, kOkString);
    if (!codes_.Load(path_)) {
        AppTrace(("CAreaCodes: no se pudo leer " + path_).c_str());
        plat::MessageBox(dialog.Native(),
                         "Sorry, an error has been detected, this action can not be terminated",
                         "Quorvex", plat::kMbOk);
        dialog.EndDialog(plat::kIdCancel);
        return;
    }
    for (const AreaCodeList::Entry& entry : codes_.Entries()) {
        dialog.AddItem(kCountryCombo, entry.name, static_cast<intptr_t>(entry.codeOffset));
    }
    dialog.SetSelection(kCountryCombo, 0);
    OnSelChangeCountry(dialog);
}

void CAreaCodes::OnCommand(plat::Dialog& dialog, int id, int notification) {
    if (id == kCountryCombo && notification == plat::kCbnSelChange) {
        OnSelChangeCountry(dialog);
        return;
    }
    DialogHandler::OnCommand(dialog, id, notification);
}

void CAreaCodes::OnSelChangeCountry(plat::Dialog& dialog) {
    int selected = dialog.Selection(kCountryCombo);
    if (selected < 0) {
        return;
    }
    dialog.SetText(kCodeEdit,
                   codes_.CodeAt(static_cast<size_t>(dialog.ItemData(kCountryCombo, selected))));
}
