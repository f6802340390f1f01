#pragma once
#include <string>

#include "app/handset/CUsbEventsDest.h"
#include "app/strings/CMsgBox.h"
#include "platform/desktop/SoundServer.h"
#include "platform/ui/dialog/Dialog.h"

// Puts the sound server's default output and input back after the handset is plugged in (which
// makes its own devices the defaults): step 1, with the handset unplugged, remembers the
// defaults; step 2, after it is plugged in again, restores each default that changed when the
// remembered device still exists. The handset is closed while the wizard runs.
// GUI thread.
class AudioWizard final : public plat::DialogHandler,
                          public CUsbEventsDest,
                          public CMsgBox,
                          private plat::MessageBoxOwner {
public:
    static constexpr int kStepText = 1026;
    static constexpr unsigned kSettleMs = 4000; // for the new devices to appear

    // `settingsIni`: quorvix.ini, where a declined retry is noted; empty for the usual one.
    explicit AudioWizard(std::string settingsIni = {});
    ~AudioWizard();
    int DoModal(plat::NativeWindow owner);

    int Step() const { return step_; }

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnOK(plat::Dialog& dialog) override;
    void OnDestroy(plat::Dialog& dialog) override;

private:
    void RunStep1(plat::Dialog& dialog);
    void RunStep2(plat::Dialog& dialog);
    // Restores one default; false when the remembered device is gone or cannot be set.
    bool Restore(plat::SoundServer::Direction direction, const std::string& remembered);
    // The failure ending: trace, then ask whether to run the wizard next time.
    void Fail(const std::string& trace, int64_t level);
    plat::NativeWindow MessageBoxParent() const override { return native_; }

    std::string settingsIni_;
    int step_ = 1;
    std::string rememberedOutput_;
    std::string rememberedInput_;
    plat::NativeWindow native_ = nullptr;
};
