#pragma once
#include <string>

namespace plat {

// The toolkit's native top-level window (a GtkWindow*), or null for none.
using NativeWindow = void*;

// A window that owns message boxes. It may not exist on screen yet when the owner is set, so
// the native window is asked for only when a box is shown.
class MessageBoxOwner {
public:
    virtual NativeWindow MessageBoxParent() const = 0;

protected:
    ~MessageBoxOwner() = default;
};

// Flags, numbered as the original platform's: the low four bits pick the buttons, the next
// four the icon, the next four the default button.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbAbortRetryIgnore = 0x2;
constexpr unsigned kMbYesNoCancel = 0x3;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbRetryCancel = 0x5;
constexpr unsigned kMbIconStop = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbDefButton2 = 0x100;
constexpr unsigned kMbDefButton3 = 0x200;

// Results: the button pressed, numbered as the original platform's; 0 when no box was shown.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// One message box as asked for.
struct MessageBoxRequest {
    NativeWindow owner = nullptr;
    std::string text;
    std::string caption;
    unsigned flags = 0;
};

// Where message boxes go instead of the screen (tests).
class MessageBoxSink {
public:
    virtual ~MessageBoxSink() = default;
    // The button id to answer with.
    virtual int Show(const MessageBoxRequest& request) = 0;
};

// Shows a modal message box (a GTK message dialog, transient for `owner`) and returns the id of
// the button pressed. Closing the box (or Escape) answers Cancel when it has a Cancel button,
// No for a Yes/No question and OK for an OK-only box; Abort/Retry/Ignore cannot be closed, only
// answered. Unknown button sets and a missing display answer 0. GUI thread only.
int MessageBox(NativeWindow owner, const std::string& text, const std::string& caption,
               unsigned flags);

// Sends every message box to `sink` instead of the screen (null restores the screen). Returns
// the previous sink. The caller keeps ownership.
MessageBoxSink* SetMessageBoxSinkForTests(MessageBoxSink* sink);

} // namespace plat
