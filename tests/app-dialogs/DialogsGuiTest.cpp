// The program's dialogs as GTK windows on a private Xvfb.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <functional>
#include <utility>

#include "app/dialogs/CAbout.h"
#include "app/dialogs/CAbout2.h"
#include "app/dialogs/CWizardKzn.h"
#include "tests/ui/GtkScreen.h"

namespace {

const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbGtkEnvironment("800x600x24"));

using Size = std::pair<int, int>; // width, height

// Once a window of the program is on screen: its size, then it is closed (as Escape would).
void MeasureAndCloseWhenShown(Size* size) {
    g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            GList* windows = gtk_window_list_toplevels();
            GtkWidget* shown = nullptr;
            for (GList* w = windows; w; w = w->next) {
                shown = gtk_widget_get_mapped(GTK_WIDGET(w->data)) ? GTK_WIDGET(w->data) : shown;
            }
            g_list_free(windows);
            if (shown) {
                GdkWindow* window = gtk_widget_get_window(shown);
                *static_cast<Size*>(data) = {gdk_window_get_width(window),
                                             gdk_window_get_height(window)};
                gtk_window_close(GTK_WINDOW(shown));
            }
            return shown ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        size);
}

TEST(DialogsGuiTest, EachDialogComesUpAtItsTemplatesSize) {
    if (!DisplayReady("no Xvfb")) {
        return;
    }
    const struct {
        const char* name;
        std::function<int()> run;
        Size size;
    } cases[] = {
        // Licence notices in a label that wraps: the label does not stretch the window.
        {"licences", [] { return CAbout("").DoModal(nullptr); }, {420, 220}},
        {"about", [] { return CAbout2("").DoModal(nullptr); }, {320, 130}},
        {"welcome", [] { return CWizardKzn().DoModal(nullptr); }, {520, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Size shown;
        MeasureAndCloseWhenShown(&shown);
        EXPECT_EQ(plat::kIdCancel, c.run());
        EXPECT_EQ(c.size, shown);
    }
}

} // namespace
