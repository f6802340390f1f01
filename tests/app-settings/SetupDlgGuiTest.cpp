// The settings dialog as real GTK windows: the test clicks its buttons and answers the message
// boxes they show, as a user would.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <cstdlib>

#include "app/phone/PhoneState.h"
#include "app/settings/SetupDlg.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/RunningUnderCi.h"

namespace {

// The button labelled `label` in `widget` or below it, or null.
GtkWidget* FindButton(GtkWidget* widget, const std::string& label) {
    const char* text = GTK_IS_BUTTON(widget) ? gtk_button_get_label(GTK_BUTTON(widget)) : nullptr;
    if (text != nullptr && text == label) {
        return widget;
    }
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c && !found; c = c->next) {
            found = FindButton(GTK_WIDGET(c->data), label);
        }
        g_list_free(children);
    }
    return found;
}

// The visible top-level window titled `title`, or any visible message box when it is empty.
GtkWidget* FindWindow(const std::string& title) {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w; w = w->next) {
        GtkWidget* widget = GTK_WIDGET(w->data);
        const char* t = gtk_window_get_title(GTK_WINDOW(widget));
        if (gtk_widget_get_visible(widget) &&
            (title.empty() ? GTK_IS_MESSAGE_DIALOG(widget) : t != nullptr && t == title)) {
            found = widget;
        }
    }
    g_list_free(windows);
    return found;
}

struct Seen {
    std::string title, text;
    GtkMessageType type = GTK_MESSAGE_OTHER;
};

// Answers the next message box with OK, noting what it showed.
void AnswerNextBox(Seen* seen) {
    g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            GtkWidget* box = FindWindow("");
            if (box == nullptr) {
                return G_SOURCE_CONTINUE;
            }
            auto* s = static_cast<Seen*>(data);
            s->title = gtk_window_get_title(GTK_WINDOW(box));
            gchar* text = nullptr;
            g_object_get(box, "text", &text, "message-type", &s->type, nullptr);
            s->text = text ? text : "";
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(box), plat::kIdOk);
            return G_SOURCE_REMOVE;
        },
        seen);
}

TEST(SetupDlgGuiTest, RefusedButtonsShowTheirMessageAndTheDialogStaysOpen) {
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        ASSERT_FALSE(RunningUnderCi()) << "no display under CI (xvfb-run)";
        GTEST_SKIP() << "no display";
    }
    const std::tuple<int32_t, bool, const char*, const char*, GtkMessageType> cases[] = {
        // phone state, downloading, the button's label, message, icon
        {PS_TALKING, false, "Run Audio Wizard",
         "Sorry, you can not run the Audio Wizard while you are calling or logging in",
         GTK_MESSAGE_OTHER},
        {PS_IDLE, true, "Update Now", "Sorry but a download is already in progress",
         GTK_MESSAGE_ERROR},
    };
    RegistrySandbox sandbox;
    setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
    for (const auto& [state, downloading, button, text, type] : cases) {
        SCOPED_TRACE(text);
        g_PhoneState = state;
        int updatesStarted = 0;
        SetupDlg::Links links{nullptr, [&] { return downloading; }, [&] { ++updatesStarted; }};
        struct Run {
            std::string press;
            Seen seen;
            bool stayedOpen = false;
        } run{button, {}};
        // Once the dialog shows: its button, which returns when the box is answered, then Cancel.
        g_timeout_add(
            50,
            [](gpointer data) -> gboolean {
                auto* r = static_cast<Run*>(data);
                GtkWidget* dialog = FindWindow("Options");
                if (dialog == nullptr) {
                    return G_SOURCE_CONTINUE;
                }
                AnswerNextBox(&r->seen);
                gtk_button_clicked(GTK_BUTTON(FindButton(dialog, r->press)));
                r->stayedOpen = gtk_widget_get_visible(dialog);
                gtk_button_clicked(GTK_BUTTON(FindButton(dialog, "Cancel")));
                return G_SOURCE_REMOVE;
            },
            &run);
        EXPECT_EQ(RunSettingsDialog(nullptr, links, plat::PostTarget()), plat::kIdCancel);
        EXPECT_EQ(run.seen.title, "Quorvex");
        EXPECT_EQ(run.seen.text, text);
        EXPECT_EQ(run.seen.type, type);
        EXPECT_TRUE(run.stayedOpen);
        EXPECT_EQ(updatesStarted, 0);
    }
    unsetenv("QUORVEX_HOME");
    g_PhoneState = PS_LOGGED_OUT;
}

} // namespace
