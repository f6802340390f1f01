#include "platform/ui/TrayIcon.h"

#include <gtk/gtk.h>

#include "platform/core/DebugOutput.h"
#include "platform/ui/GtkRuntime.h"

namespace plat {

namespace {

// GtkStatusIcon is GTK 3's only notification-area icon; it is deprecated but kept for
// exactly this use (the XEmbed system tray of X11 desktops).
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

class GtkTrayIcon final : public TrayIcon {
public:
    ~GtkTrayIcon() override { Remove(); }

    bool Add(const Surface& picture, const std::string& tip, const PostTarget& target,
             uint32_t message, uint32_t id) override {
        if (!EnsureGtk()) {
            DebugOutput("TrayIcon: no display\n");
            return false;
        }
        target_ = target;
        message_ = message;
        id_ = id;
        if (!icon_) {
            icon_ = gtk_status_icon_new();
            g_signal_connect(icon_, "button-press-event", G_CALLBACK(OnButtonPress), this);
        }
        if (picture.IsValid()) {
            GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(picture.CairoSurface(), 0, 0,
                                                            picture.Width(), picture.Height());
            if (pixbuf) {
                gtk_status_icon_set_from_pixbuf(icon_, pixbuf);
                g_object_unref(pixbuf);
            }
        }
        gchar* valid = g_utf8_make_valid(tip.c_str(), static_cast<gssize>(tip.size()));
        gtk_status_icon_set_tooltip_text(icon_, valid);
        gtk_status_icon_set_title(icon_, valid);
        g_free(valid);
        gtk_status_icon_set_visible(icon_, TRUE);
        return true;
    }

    void Remove() override {
        if (icon_) {
            g_signal_handlers_disconnect_by_data(icon_, this);
            gtk_status_icon_set_visible(icon_, FALSE);
            g_object_unref(icon_);
            icon_ = nullptr;
        }
    }

    bool IsShown() const override { return icon_ != nullptr; }

    bool IsEmbedded() const override {
        return icon_ != nullptr && gtk_status_icon_is_embedded(icon_);
    }

private:
    static gboolean OnButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer self) {
        auto* tray = static_cast<GtkTrayIcon*>(self);
        if (event->type != GDK_BUTTON_PRESS) {
            return FALSE; // the second and third press of a double or triple click
        }
        intptr_t mouse = event->button == 1   ? kWmLButtonDown
                         : event->button == 3 ? kWmRButtonDown
                         : event->button == 2 ? kWmMButtonDown
                                              : 0;
        if (mouse != 0) {
            tray->target_.PostMessage(tray->message_, tray->id_, mouse);
        }
        return TRUE;
    }

    GtkStatusIcon* icon_ = nullptr;
    PostTarget target_;
    uint32_t message_ = 0;
    uint32_t id_ = 0;
};

G_GNUC_END_IGNORE_DEPRECATIONS

class GtkTrayIconFactory final : public TrayIconFactory {
public:
    std::unique_ptr<TrayIcon> Create() override { return std::make_unique<GtkTrayIcon>(); }
};

TrayIconFactory* g_factory = nullptr;

} // namespace

std::unique_ptr<TrayIcon> CreateTrayIcon() {
    static GtkTrayIconFactory gtk;
    return (g_factory ? g_factory : &gtk)->Create();
}

TrayIconFactory* SetTrayIconFactory(TrayIconFactory* factory) {
    TrayIconFactory* previous = g_factory;
    g_factory = factory;
    return previous;
}

} // namespace plat
