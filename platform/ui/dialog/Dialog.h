#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/MessageBox.h"

namespace plat {

// Plain dialogs built in code: a template lists the controls with their ids, texts and
// positions; a handler receives the dialog's initialisation and its controls' notifications;
// a factory runs the dialog modally or creates it modeless. The program's dialogs are written
// against these interfaces only, so a fake factory can drive them headless.

enum class ControlKind {
    Label,    // static text
    Edit,     // one line of text; maxLength > 0 limits it
    Password, // an edit that hides what is typed
    CheckBox,
    RadioButton, // radio buttons that follow one another form one group, until groupStart
    ComboBox,    // a drop-down list
    ListBox,
    Button,
    ProgressBar,
};

struct ControlSpec {
    ControlKind kind = ControlKind::Label;
    int id = 0; // 0 for a label that is never addressed
    std::string text;
    int x = 0, y = 0, width = 80, height = 24; // pixels from the dialog's top-left corner
    int maxLength = 0;
    bool defaultButton = false; // Enter presses it
    bool groupStart = false;
};

struct DialogTemplate {
    std::string title;
    int width = 320, height = 200;
    std::vector<ControlSpec> controls;
};

// Notification codes passed with a control's id.
constexpr int kBnClicked = 0;    // a button, check box or radio button was clicked
constexpr int kCbnSelChange = 1; // a combo box's or list box's selection changed by the user

// A font for a control.
struct FontSpec {
    std::string family; // empty: the default face
    int pixelHeight = 0;
    bool bold = false;
};

// A dialog as it runs. Operations on an id the template does not hold, or on a control of
// another kind, do nothing and answer false, -1 or an empty text. Item indexes run from 0.
// Threads: the GUI thread only.
class Dialog {
public:
    virtual ~Dialog() = default;

    virtual void SetTitle(const std::string& title) = 0;
    virtual std::string Title() const = 0;
    virtual bool SetText(int id, const std::string& text) = 0;
    virtual std::string GetText(int id) const = 0;
    virtual bool SetCheck(int id, bool checked) = 0;
    virtual bool GetCheck(int id) const = 0;
    virtual bool Enable(int id, bool enabled) = 0;
    virtual bool IsEnabled(int id) const = 0;
    virtual bool SetFont(int id, const FontSpec& font) = 0;
    virtual void Focus(int id) = 0;

    // Combo boxes and list boxes: items with a number kept for each.
    virtual int AddItem(int id, const std::string& text, intptr_t data = 0) = 0;
    virtual void ClearItems(int id) = 0;
    virtual int ItemCount(int id) const = 0;
    virtual std::string ItemText(int id, int index) const = 0;
    virtual intptr_t ItemData(int id, int index) const = 0;
    // Selects without a notification; -1 selects nothing.
    virtual bool SetSelection(int id, int index) = 0;
    virtual int Selection(int id) const = 0;

    // Progress bars.
    virtual bool SetRange(int id, int low, int high) = 0;
    virtual bool SetPos(int id, int pos) = 0;
    virtual int Pos(int id) const = 0;

    // The window: shown or hidden, above all others, moved to a screen position.
    virtual void Show(bool shown) = 0;
    virtual bool IsVisible() const = 0;
    virtual void SetTopmost(bool topmost) = 0;
    // Shows the window, restored from the minimised state, in front, with the input focus.
    virtual void Present() = 0;
    virtual void Move(int x, int y) = 0;
    // Ends a modal run with `result` (also from within OnInitDialog, before anything shows).
    // A modeless dialog is hidden; its owner destroys it.
    virtual void EndDialog(int result) = 0;
    // The owner to give message boxes shown over this dialog.
    virtual NativeWindow Native() const = 0;
};

// What a program's dialog implements. The defaults end the dialog with kIdOk or kIdCancel.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    virtual void OnInitDialog(Dialog&) {}
    // Routes buttons 1 and 2 to OnOK and OnCancel.
    virtual void OnCommand(Dialog& dialog, int id, int notification) {
        if (notification != kBnClicked) {
            return;
        }
        if (id == kIdOk) {
            OnOK(dialog);
        } else if (id == kIdCancel) {
            OnCancel(dialog);
        }
    }
    virtual void OnOK(Dialog& dialog) { dialog.EndDialog(kIdOk); }
    // Also Escape and the window's close button.
    virtual void OnCancel(Dialog& dialog) { dialog.EndDialog(kIdCancel); }
    // The dialog is going away (after a modal run ends, or when a modeless one is destroyed).
    virtual void OnDestroy(Dialog&) {}
};

// A file-open dialog: its title and one filter (a name shown to the user and its pattern).
// Only an existing file can be chosen, and the choice is not added to the recent files.
struct OpenFileRequest {
    std::string title;
    std::string filterName;
    std::string pattern;
};

class DialogFactory {
public:
    virtual ~DialogFactory() = default;
    // Runs the dialog over `owner` until it ends; its result, or -1 when it cannot be shown.
    virtual int RunModal(const DialogTemplate& dialog, DialogHandler& handler,
                         NativeWindow owner) = 0;
    // A modeless dialog, initialised but not shown; null when it cannot be made. The handler
    // must outlive it.
    virtual std::unique_ptr<Dialog> CreateModeless(const DialogTemplate& dialog,
                                                   DialogHandler& handler) = 0;
    // Whether a Control key is held down now.
    virtual bool IsControlKeyDown() = 0;
    // Runs a file-open dialog over `owner`: the chosen file's path, or empty when the user
    // cancels or nothing can be shown.
    virtual std::string GetOpenFileName(const OpenFileRequest& request, NativeWindow owner) = 0;
};

// The process-wide factory: GTK unless a test installed another.
DialogFactory& CurrentDialogFactory();
DialogFactory* SetDialogFactory(DialogFactory* factory);

} // namespace plat
