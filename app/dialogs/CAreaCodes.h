#pragma once
#include "app/dialogs/AreaCodeList.h"
#include "platform/ui/dialog/Dialog.h"

// The country-code look-up: pick a location from codes.txt beside the program, see its code.
// A file that cannot be read or holds no entry shows one message and the dialog closes as
// cancelled. GUI thread.
class CAreaCodes final : public plat::DialogHandler {
public:
    static constexpr int kCodeEdit = 1020;
    static constexpr int kLocationLabel = 1021;
    static constexpr int kCountryCombo = 1029;
    static constexpr int kCodeLabel = 1031;

    // `path`: the codes file; empty for codes.txt beside the program.
    explicit CAreaCodes(std::string path = {});
    int DoModal(plat::NativeWindow owner);

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnCommand(plat::Dialog& dialog, int id, int notification) override;

private:
    void OnSelChangeCountry(plat::Dialog& dialog);

    std::string path_;
    AreaCodeList codes_;
};
