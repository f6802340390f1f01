#pragma once
#include <memory>

#include "platform/ui/dialog/Dialog.h"

// The download's progress window: a modeless dialog with a progress bar (0-1000) at the
// screen's top-left corner, above other windows. Its button only hides it; the download goes
// on. GUI thread.
class DownloadProgress final : public plat::DialogHandler {
public:
    static constexpr int kProgressBar = 1019;

    // Creates and shows the window; false when it cannot be shown.
    bool Create();
    // Moves the bar (per mille).
    void SetProgress(int perMille);
    bool IsVisible() const;
    plat::Dialog* Window() const { return dialog_.get(); }

    void OnInitDialog(plat::Dialog& dialog) override;
    void OnOK(plat::Dialog& dialog) override;
    void OnCancel(plat::Dialog& dialog) override;

private:
    std::unique_ptr<plat::Dialog> dialog_;
};
