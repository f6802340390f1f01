#pragma once
#include <string>

#include "app/dialogs/PageOpener.h"
#include "platform/ui/dialog/Dialog.h"

// The licence notices of the libraries the program uses. Its licence button opens the SIP
// stack's licence page, or, with a Control key held while the number typed in the call window
// is the hidden-mode access code, shows a hidden text. GUI thread.
class CAbout final : public plat::DialogHandler, public plat::MessageBoxOwner {
public:
    static constexpr int kLicenseButton = 1024;
    static constexpr const char* kAccessCode = "730592816443";

    // `dialedNumber`: the number typed in the main call window now.
    explicit CAbout(std::string dialedNumber) : dialedNumber_(std::move(dialedNumber)) {}
    int DoModal(plat::NativeWindow owner);

    // Whether the licence button shows the hidden text instead of the page.
    static bool IsHiddenModeRequest(bool controlDown, const std::string& dialedNumber);

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnCommand(plat::Dialog& dialog, int id, int notification) override;
    void OnDestroy(plat::Dialog& dialog) override;

    // The dialog while it runs: it owns the box of a licence page that cannot be opened.
    plat::NativeWindow MessageBoxParent() const override;

private:
    void OnButtonLicense(plat::Dialog& dialog);

    std::string dialedNumber_;
    plat::Dialog* dialog_ = nullptr; // from OnInitDialog to OnDestroy
    PageOpener pages_{this};
};
