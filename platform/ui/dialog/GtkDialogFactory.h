#pragma once
#include "platform/ui/dialog/Dialog.h"

namespace plat {

// Dialogs as GTK 3 windows of their template's size: the controls sit at their template
// positions in a GtkLayout, a drop-down list at its template's width however long its items.
// Escape and the window's close button call the handler's OnCancel; Enter presses the default
// button, which starts with the focus. A modal run is a nested main loop. Without a display
// nothing can be shown: RunModal answers -1 and CreateModeless null.
class GtkDialogFactory final : public DialogFactory {
public:
    int RunModal(const DialogTemplate& dialog, DialogHandler& handler, NativeWindow owner) override;
    std::unique_ptr<Dialog> CreateModeless(const DialogTemplate& dialog,
                                           DialogHandler& handler) override;
    bool IsControlKeyDown() override;
    std::string GetOpenFileName(const OpenFileRequest& request, NativeWindow owner) override;
};

// Clicks a button (or toggles a check box) of a GTK dialog as a user would, for tests that run
// the real windows. False when the dialog has no such control.
bool ClickDialogControlForTests(Dialog& dialog, int id);

} // namespace plat
