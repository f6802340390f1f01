// The new-contact dialog on a real display: the test acts as the user from GTK timeouts while
// the dialog and its message boxes run, and reads what they show.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "app/contacts/NewContact.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/RunningUnderCi.h"

namespace {

// The visible message box, or (`box` false) the visible window that is not one.
GtkWidget* Visible(bool box) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) {
        if (gtk_widget_get_visible(GTK_WIDGET(w->data)) && GTK_IS_MESSAGE_DIALOG(w->data) == box) {
            found = GTK_WIDGET(w->data);
        }
    }
    g_list_free(windows);
    return found;
}

// The dialog's controls of one type, in the order they were laid out.
std::vector<GtkWidget*> Controls(GType type) {
    std::vector<GtkWidget*> found;
    GList* children =
        gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(Visible(false)))));
    for (GList* c = children; c; c = c->next) {
        if (G_TYPE_CHECK_INSTANCE_TYPE(c->data, type)) {
            found.push_back(GTK_WIDGET(c->data));
        }
    }
    g_list_free(children);
    return found;
}

// The user's steps, each taken on the first 30 ms tick that finds its window shown. A step
// counts as taken, and the next tick is set, before it acts: an action may run a nested loop
// (a message box) in which the next steps are taken.
struct Step {
    bool onBox;
    std::function<void(GtkWidget*)> act;
};

class User {
public:
    explicit User(std::vector<Step> steps) : steps_(std::move(steps)) { Schedule(); }
    ~User() { g_source_remove(source_); }
    bool Done() const { return next_ == steps_.size(); }

private:
    void Schedule() { source_ = g_timeout_add(30, &User::Tick, this); }
    static gboolean Tick(gpointer data) {
        auto* user = static_cast<User*>(data);
        if (user->Done()) {
            return G_SOURCE_CONTINUE; // removed by the destructor
        }
        user->Schedule();
        const Step& step = user->steps_[user->next_];
        GtkWidget* window = Visible(step.onBox);
        if (window && (step.onBox || !Visible(true))) {
            ++user->next_;
            step.act(window);
        }
        return G_SOURCE_REMOVE;
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
    guint source_ = 0;
};

TEST(NewContactGuiTest, RefusesMissingFieldsAndTakenNamesWithItsMessagesThenSaves) {
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        ASSERT_FALSE(RunningUnderCi()) << "no display under CI (xvfb-run)";
        GTEST_SKIP() << "no display";
    }
    RegistrySandbox sandbox;
    ContactBook book(sandbox.Registry());
    ASSERT_TRUE(book.AddContact("Alice", "5551000"));

    std::vector<std::string> seen;
    auto typeAndSave = [](const char* name) {
        return [name](GtkWidget*) {
            gtk_entry_set_text(GTK_ENTRY(Controls(GTK_TYPE_ENTRY).at(0)), name);
            gtk_button_clicked(GTK_BUTTON(Controls(GTK_TYPE_BUTTON).at(0)));
        };
    };
    auto readAndAnswer = [&seen](GtkWidget* box) {
        gchar* text = nullptr;
        g_object_get(box, "text", &text, nullptr);
        seen.push_back(std::string(gtk_window_get_title(GTK_WINDOW(box))) + ": " + text);
        g_free(text);
        gtk_button_clicked(
            GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(box), plat::kIdOk)));
    };
    User user({
        {false,
         [&seen](GtkWidget* dialog) {
             const std::vector<GtkWidget*> entries = Controls(GTK_TYPE_ENTRY);
             seen.push_back(std::string(gtk_window_get_title(GTK_WINDOW(dialog))) + " " +
                            gtk_label_get_text(GTK_LABEL(Controls(GTK_TYPE_LABEL).at(0))) + " " +
                            gtk_button_get_label(GTK_BUTTON(Controls(GTK_TYPE_BUTTON).at(0))) +
                            " " + std::to_string(gtk_entry_get_max_length(GTK_ENTRY(entries[0]))) +
                            " " + std::to_string(gtk_entry_get_max_length(GTK_ENTRY(entries[1]))));
         }},
        {false, typeAndSave("")},
        {true, readAndAnswer},
        {false, typeAndSave("aLICE")},
        {true, readAndAnswer},
        {false, typeAndSave("Carl")},
    });
    NewContact dialog(book, NewContact::kNew, "5553000");
    EXPECT_EQ(dialog.DoModal(nullptr), plat::kIdOk);
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "New Contact Name Save 24 39",
                        "Quorvex: You must supply all data fields",
                        "Quorvex: A contact with this name already exists",
                    }));
    EXPECT_EQ(dialog.Name(), "Carl");
    EXPECT_EQ(dialog.Number(), "5553000");
}

} // namespace
