#include "platform/ui/MessageBox.h"

#include <gtk/gtk.h>

#include <atomic>
#include <vector>

#include "platform/core/DebugOutput.h"
#include "platform/ui/GtkRuntime.h"
#include "platform/ui/ModalLoop.h"

namespace plat {

namespace {

std::atomic<MessageBoxSink*> g_sink{nullptr};

struct Button {
    const char* label;
    int id;
};

// The buttons of the set in the low four bits of `flags`, and the answer when the box is
// closed or Escape is pressed (0: it cannot be closed). A question with No is answered No, as
// GTK's own dialogs do. False for a set this layer does not know.
bool ButtonsFor(unsigned flags, std::vector<Button>* buttons, int* closeAnswer) {
    switch (flags & 0xF) {
    case kMbOk:
        *buttons = {{"_OK", kIdOk}};
        *closeAnswer = kIdOk;
        return true;
    case kMbOkCancel:
        *buttons = {{"_OK", kIdOk}, {"_Cancel", kIdCancel}};
        *closeAnswer = kIdCancel;
        return true;
    case kMbAbortRetryIgnore:
        *buttons = {{"_Abort", kIdAbort}, {"_Retry", kIdRetry}, {"_Ignore", kIdIgnore}};
        *closeAnswer = 0;
        return true;
    case kMbYesNoCancel:
        *buttons = {{"_Yes", kIdYes}, {"_No", kIdNo}, {"_Cancel", kIdCancel}};
        *closeAnswer = kIdCancel;
        return true;
    case kMbYesNo:
        *buttons = {{"_Yes", kIdYes}, {"_No", kIdNo}};
        *closeAnswer = kIdNo;
        return true;
    case kMbRetryCancel:
        *buttons = {{"_Retry", kIdRetry}, {"_Cancel", kIdCancel}};
        *closeAnswer = kIdCancel;
        return true;
    default:
        return false;
    }
}

GtkMessageType TypeFor(unsigned flags) {
    switch (flags & 0xF0) {
    case kMbIconStop:
        return GTK_MESSAGE_ERROR;
    case kMbIconQuestion:
        return GTK_MESSAGE_QUESTION;
    case kMbIconExclamation:
        return GTK_MESSAGE_WARNING;
    case kMbIconInformation:
        return GTK_MESSAGE_INFO;
    default:
        return GTK_MESSAGE_OTHER;
    }
}

} // namespace

MessageBoxSink* SetMessageBoxSinkForTests(MessageBoxSink* sink) {
    return g_sink.exchange(sink);
}

int MessageBox(NativeWindow owner, const std::string& text, const std::string& caption,
               unsigned flags) {
    if (MessageBoxSink* sink = g_sink.load()) {
        const ModalLoop loop; // the answered box stands for one on the screen
        return sink->Show({owner, text, caption, flags});
    }
    std::vector<Button> buttons;
    int closeAnswer = 0;
    if (!ButtonsFor(flags, &buttons, &closeAnswer)) {
        DebugOutput("MessageBox: unknown button set\n");
        return 0;
    }
    if (!EnsureGtk()) {
        DebugOutput("MessageBox: no display\n");
        return 0;
    }

    gchar* body = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    gchar* title = g_utf8_make_valid(caption.c_str(), static_cast<gssize>(caption.size()));
    GtkWindow* parent = owner ? GTK_WINDOW(owner) : nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, TypeFor(flags),
                                               GTK_BUTTONS_NONE, "%s", body);
    gtk_window_set_title(GTK_WINDOW(dialog), title);
    g_free(body);
    g_free(title);
    for (const Button& b : buttons) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), b.label, b.id);
    }
    size_t defaultIndex = (flags >> 8) & 0xF;
    if (defaultIndex >= buttons.size()) {
        defaultIndex = 0;
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), buttons[defaultIndex].id);
    gtk_window_set_deletable(GTK_WINDOW(dialog), closeAnswer != 0);
    if (!parent) {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }

    g_object_ref(dialog); // keeps the object alive should something destroy the dialog early
    const ModalLoop loop;
    int answer = 0;
    for (;;) {
        gint response = gtk_dialog_run(GTK_DIALOG(dialog));
        if (response > 0) {
            answer = response;
            break;
        }
        if (response == GTK_RESPONSE_DELETE_EVENT && closeAnswer == 0 &&
            gtk_widget_get_visible(dialog)) {
            continue; // Escape or the window manager: this box must be answered
        }
        answer = closeAnswer;
        break;
    }
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
    return answer;
}

} // namespace plat
