// The program's dialogs as GTK windows on a private Xvfb.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/dialogs/CAbout.h"
#include "app/dialogs/CAbout2.h"
#include "app/dialogs/CAreaCodes.h"
#include "app/dialogs/CWizardKzn.h"
#include "tests/support/RecordingShell.h"
#include "tests/ui/GtkScreen.h"

namespace {

const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbGtkEnvironment("800x600x24"));

using Size = std::pair<int, int>; // width, height
using Act = std::function<void(GtkWidget*)>;

// Once a window of the program is on screen, `act` runs on it from a source of its own (so
// that this watch goes on while a dialog it opens runs). Until the watch is removed, every
// later window shown is closed as its close button would close it (the last one shown first),
// so a dialog that stays does not hold the test.
guint WhenShown(Act* act) {
    return g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            Act* act = static_cast<Act*>(data);
            GList* windows = gtk_window_list_toplevels();
            GtkWidget* shown = nullptr;
            for (GList* w = windows; w; w = w->next) {
                if (gtk_widget_get_mapped(GTK_WIDGET(w->data)) &&
                    gtk_window_get_window_type(GTK_WINDOW(w->data)) == GTK_WINDOW_TOPLEVEL) {
                    shown = GTK_WIDGET(w->data);
                }
            }
            g_list_free(windows);
            using Once = std::pair<Act, GtkWidget*>;
            if (shown && *act) {
                g_idle_add_full(
                    G_PRIORITY_DEFAULT,
                    [](gpointer once) -> gboolean {
                        static_cast<Once*>(once)->first(static_cast<Once*>(once)->second);
                        return G_SOURCE_REMOVE;
                    },
                    new Once(std::exchange(*act, nullptr), shown),
                    [](gpointer once) { delete static_cast<Once*>(once); });
            } else if (shown) {
                // Straight to the window, past a grab that an open drop-down list holds.
                GdkEvent* close = gdk_event_new(GDK_DELETE);
                close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(shown)));
                gtk_widget_event(shown, close);
                gdk_event_free(close);
            }
            return G_SOURCE_CONTINUE;
        },
        act);
}

// Runs a dialog modally with `act` on it once shown; its result.
int RunWith(const std::function<int()>& run, Act act) {
    const guint source = WhenShown(&act);
    const int result = run();
    g_source_remove(source);
    return result;
}

// Every widget inside `widget`, internal ones (a combo box's arrow) included.
std::vector<GtkWidget*> Descendants(GtkWidget* widget) {
    std::vector<GtkWidget*> all;
    if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer data) {
                auto* all = static_cast<std::vector<GtkWidget*>*>(data);
                all->push_back(child);
                const std::vector<GtkWidget*> inner = Descendants(child);
                all->insert(all->end(), inner.begin(), inner.end());
            },
            &all);
    }
    return all;
}

// The dialogs of the program's menu, its About box and its first start, each over nothing,
// and the size each comes up at.
const struct {
    const char* name;
    std::function<int()> run;
    Size size;
} kDialogs[] = {
    {"country codes", [] { return CAreaCodes(QUORVEX_CODES_TXT).DoModal(nullptr); }, {400, 150}},
    // Licence notices in a label that wraps: the label does not stretch the window.
    {"licences", [] { return CAbout("").DoModal(nullptr); }, {420, 220}},
    {"about", [] { return CAbout2("").DoModal(nullptr); }, {320, 130}},
    {"welcome", [] { return CWizardKzn().DoModal(nullptr); }, {520, 200}},
};

TEST(DialogsGuiTest, EachDialogComesUpAtItsTemplatesSizeWithEveryControlInsideAtGtksFonts) {
    if (!DisplayReady("no Xvfb")) {
        return;
    }
    for (const auto& c : kDialogs) {
        SCOPED_TRACE(c.name);
        Size shown;
        std::vector<std::string> outside;
        EXPECT_EQ(plat::kIdCancel, RunWith(c.run, [&shown, &outside](GtkWidget* window) {
                      shown = {gdk_window_get_width(gtk_widget_get_window(window)),
                               gdk_window_get_height(gtk_widget_get_window(window))};
                      for (GtkWidget* w : Descendants(window)) {
                          int x = 0, y = 0;
                          if (!gtk_widget_get_visible(w) ||
                              !gtk_widget_translate_coordinates(w, window, 0, 0, &x, &y)) {
                              continue;
                          }
                          const int right = x + gtk_widget_get_allocated_width(w);
                          const int bottom = y + gtk_widget_get_allocated_height(w);
                          if (x < 0 || y < 0 || right > shown.first || bottom > shown.second) {
                              outside.push_back(std::string(G_OBJECT_TYPE_NAME(w)) + " at " +
                                                std::to_string(x) + ".." + std::to_string(right) +
                                                " x " + std::to_string(y) + ".." +
                                                std::to_string(bottom));
                          }
                          // A drop-down list narrower than its longest item cuts that item short.
                          int natural = 0;
                          if (GTK_IS_COMBO_BOX(w)) {
                              gtk_widget_get_preferred_width(w, nullptr, &natural);
                          }
                          if (natural > right - x) {
                              outside.push_back("a list item " + std::to_string(natural) + " wide");
                          }
                      }
                      gtk_window_close(GTK_WINDOW(window));
                  }));
        EXPECT_EQ(c.size, shown);
        EXPECT_EQ(std::vector<std::string>{}, outside);
    }
}

TEST(DialogsGuiTest, ADropDownListKeepsItsWidthAndCutsALongerItemShort) {
    if (!DisplayReady("no Xvfb")) {
        return;
    }
    struct LongItem final : plat::DialogHandler {
        void OnInitDialog(plat::Dialog& dialog) override {
            dialog.AddItem(1, std::string(80, 'W'));
            dialog.SetSelection(1, 0);
        }
    } handler;
    plat::DialogTemplate dialog;
    dialog.controls = {{plat::ControlKind::ComboBox, 1, "", 10, 10, 100, 30}};
    int width = 0;
    RunWith([&] { return plat::CurrentDialogFactory().RunModal(dialog, handler, nullptr); },
            [&width](GtkWidget* window) {
                for (GtkWidget* w : Descendants(window)) {
                    width = GTK_IS_COMBO_BOX(w) ? gtk_widget_get_allocated_width(w) : width;
                }
                gtk_window_close(GTK_WINDOW(window));
            });
    EXPECT_EQ(100, width);
}

TEST(DialogsGuiTest, EnterPressesOkWhereverTheFirstControlIs) {
    if (!DisplayReady("no Xvfb")) {
        return;
    }
    const RecordingShell shell; // a licence page that a wrong Enter opens is only recorded
    for (const auto& c : kDialogs) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plat::kIdOk,
                  RunWith(c.run, [](GtkWidget* window) { PressKey(window, GDK_KEY_Return); }));
    }
}

} // namespace
