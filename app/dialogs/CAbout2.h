#pragma once
#include <string>

#include "platform/ui/dialog/Dialog.h"

// The About box of the call window's menu: the product name and version, and a button to the
// licence notices (CAbout). GUI thread.
class CAbout2 final : public plat::DialogHandler {
public:
    static constexpr int kAboutButton = 1024;

    explicit CAbout2(std::string dialedNumber) : dialedNumber_(std::move(dialedNumber)) {}
    int DoModal(plat::NativeWindow owner);

    void OnCommand(plat::Dialog& dialog, int id, int notification) override;

private:
    std::string dialedNumber_;
};
