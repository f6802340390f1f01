// Real message boxes on a display: the test answers each box by clicking its buttons (or
// closing it) from a GTK timeout while the box runs.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/ui/MessageBox.h"
#include "tests/support/RunningUnderCi.h"
#include "tests/ui/GtkScreen.h"

namespace {

struct Seen {
    std::string title;
    std::string text;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    int buttons = 0;
};

GtkDialog* FindBox() {
    GList* windows = gtk_window_list_toplevels();
    GtkDialog* found = nullptr;
    for (GList* w = windows; w; w = w->next) {
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
            found = GTK_DIALOG(w->data);
        }
    }
    g_list_free(windows);
    return found;
}

// Runs `act` on the box once it is shown (recording what it shows), then shows the box.
int ShowAndAct(unsigned flags, Seen* seen, std::function<void(GtkDialog*)> act) {
    struct Job {
        Seen* seen;
        std::function<void(GtkDialog*)> act;
    } job{seen, std::move(act)};
    g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* j = static_cast<Job*>(data);
            GtkDialog* box = FindBox();
            if (!box) {
                return G_SOURCE_CONTINUE;
            }
            j->seen->title = gtk_window_get_title(GTK_WINDOW(box));
            gchar* text = nullptr;
            GtkMessageType type;
            g_object_get(box, "text", &text, "message-type", &type, nullptr);
            j->seen->text = text ? text : "";
            j->seen->type = type;
            g_free(text);
            j->seen->buttons = 0;
            for (int id = plat::kIdOk; id <= plat::kIdNo; ++id) {
                j->seen->buttons += gtk_dialog_get_widget_for_response(box, id) != nullptr;
            }
            j->act(box);
            return G_SOURCE_REMOVE;
        },
        &job);
    return plat::MessageBox(nullptr, "Do you want to exit now?", "Quorvex", flags);
}

void Click(GtkDialog* box, int id) {
    GtkWidget* button = gtk_dialog_get_widget_for_response(box, id);
    ASSERT_NE(button, nullptr) << id;
    gtk_button_clicked(GTK_BUTTON(button));
}

bool HaveDisplay() {
    gdk_set_allowed_backends("x11");
    return gtk_init_check(nullptr, nullptr);
}

constexpr int kUnanswered = 99;

// Escape as the keyboard would deliver it to the box (GTK's own key bindings act on it); a box
// that stays is answered after a while with no button's id.
void PressEscape(GtkDialog* box) {
    g_timeout_add(
        500,
        [](gpointer d) -> gboolean {
            if (gtk_widget_get_visible(GTK_WIDGET(d))) {
                gtk_dialog_response(GTK_DIALOG(d), kUnanswered);
            }
            g_object_unref(d);
            return G_SOURCE_REMOVE;
        },
        g_object_ref(box));
    PressKey(GTK_WIDGET(box), GDK_KEY_Escape);
}

TEST(MessageBoxGui, ButtonsAnswerWithTheirIdsAndEscapeAnswersCancelNoOrOk) {
    if (!HaveDisplay()) {
        ASSERT_FALSE(RunningUnderCi()) << "no display under CI (xvfb-run)";
        GTEST_SKIP() << "no display";
    }
    constexpr int kEscape = 0; // Escape is pressed instead of a button clicked
    const struct {
        unsigned flags;
        int action;
        int answer;
        int buttons;
        std::optional<GtkMessageType> type;
    } cases[] = {
        {plat::kMbYesNo | plat::kMbIconQuestion, plat::kIdNo, plat::kIdNo, 2, GTK_MESSAGE_QUESTION},
        {plat::kMbYesNoCancel | plat::kMbIconStop, plat::kIdYes, plat::kIdYes, 3,
         GTK_MESSAGE_ERROR},
        {plat::kMbAbortRetryIgnore, plat::kIdIgnore, plat::kIdIgnore, 3, std::nullopt},
        {plat::kMbOk, kEscape, plat::kIdOk, 1, std::nullopt},
        {plat::kMbOkCancel, kEscape, plat::kIdCancel, 2, std::nullopt},
        {plat::kMbYesNoCancel, kEscape, plat::kIdCancel, 3, std::nullopt},
        // A question with No: No, not the default button Yes.
        {plat::kMbYesNo | plat::kMbIconQuestion, kEscape, plat::kIdNo, 2, GTK_MESSAGE_QUESTION},
        {plat::kMbAbortRetryIgnore, kEscape, kUnanswered, 3, std::nullopt}, // it must be answered
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        Seen seen;
        EXPECT_EQ(ShowAndAct(c.flags, &seen,
                             [&c](GtkDialog* box) {
                                 c.action == kEscape ? PressEscape(box) : Click(box, c.action);
                             }),
                  c.answer);
        EXPECT_EQ(seen.title, "Quorvex");
        EXPECT_EQ(seen.text, "Do you want to exit now?");
        EXPECT_EQ(seen.buttons, c.buttons);
        if (c.type) {
            EXPECT_EQ(seen.type, *c.type);
        }
    }
}

} // namespace
