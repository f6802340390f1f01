#pragma once
#include "platform/ui/dialog/Dialog.h"

// The first-run welcome: the user says whether they already have an account; choosing to get
// one opens the service's sign-up page. Ends with OK on Continue. GUI thread.
class CWizardKzn final : public plat::DialogHandler {
public:
    static constexpr int kHaveAccount = 1035;
    static constexpr int kWantAccount = 1036;
    static constexpr int kWelcome = 1037;

    int DoModal(plat::NativeWindow owner);

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnOK(plat::Dialog& dialog) override;
};
