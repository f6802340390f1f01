// The program's dialogs as GTK windows on a private Xvfb.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <functional>

#include "app/dialogs/CAbout.h"
#include "app/dialogs/CAbout2.h"
#include "app/dialogs/CWizardKzn.h"
#include "tests/ui/GtkScreen.h"

namespace {

const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbGtkEnvironment("800x600x24"));

struct Size {
    int width = 0;
    int height = 0;
};

// Once a window of the program is on screen: its size, then it is closed (as its close button
// or Escape would).
void MeasureAndCloseWhenShown(Size* size) {
    g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            GList* windows = gtk_window_list_toplevels();
            GtkWidget* shown = nullptr;
            for (GList* w = windows; w; w = w->next) {
                if (gtk_widget_get_mapped(GTK_WIDGET(w->data))) {
                    shown = GTK_WIDGET(w->data);
                }
            }
            g_list_free(windows);
            if (shown == nullptr) {
                return G_SOURCE_CONTINUE;
            }
            GdkWindow* window = gtk_widget_get_window(shown);
            *static_cast<Size*>(data) = {gdk_window_get_width(window),
                                         gdk_window_get_height(window)};
            gtk_window_close(GTK_WINDOW(shown));
            return G_SOURCE_REMOVE;
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
        EXPECT_EQ(c.size.width, shown.width);
        EXPECT_EQ(c.size.height, shown.height);
    }
}

} // namespace
