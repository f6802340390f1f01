#include "platform/ui/GtkLayeredWindow.h"

#include <algorithm>
#include <cmath>

#include "platform/core/DebugOutput.h"
#include "platform/ui/EventDelivery.h"
#include "platform/ui/GtkWindowSystem.h"
#include "platform/ui/InputShape.h"
#include "platform/ui/KeyMap.h"
#include "platform/ui/VirtualKeys.h"

// Last: the X headers define macros (None, Bool, Status) that no header above may see.
#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

namespace plat {
namespace {

// The window that holds the mouse capture, program-wide.
GtkLayeredWindow* g_captureHolder = nullptr;

GdkDevice* Pointer() {
    GdkDisplay* display = gdk_display_get_default();
    return display ? gdk_seat_get_pointer(gdk_display_get_default_seat(display)) : nullptr;
}

uint32_t MouseFlags(guint state) {
    uint32_t flags = 0;
    if (state & GDK_BUTTON1_MASK) {
        flags |= kMkLButton;
    }
    if (state & GDK_BUTTON3_MASK) {
        flags |= kMkRButton;
    }
    if (state & GDK_BUTTON2_MASK) {
        flags |= kMkMButton;
    }
    if (state & GDK_SHIFT_MASK) {
        flags |= kMkShift;
    }
    if (state & GDK_CONTROL_MASK) {
        flags |= kMkControl;
    }
    return flags;
}

Point ClientPoint(double x, double y) {
    return {static_cast<int32_t>(std::floor(x)), static_cast<int32_t>(std::floor(y))};
}

MappedKey Map(GdkEventKey* e) {
    guint unshifted = 0;
    gdk_keymap_translate_keyboard_state(
        gdk_keymap_get_for_display(gdk_window_get_display(e->window)), e->hardware_keycode,
        static_cast<GdkModifierType>(e->state & GDK_MOD2_MASK), e->group, &unshifted, nullptr,
        nullptr, nullptr);
    uint32_t modifiers = 0;
    if (e->state & GDK_SHIFT_MASK) {
        modifiers |= kKeyShift;
    }
    if (e->state & GDK_CONTROL_MASK) {
        modifiers |= kKeyControl;
    }
    if (e->state & GDK_MOD1_MASK) {
        modifiers |= kKeyAlt;
    }
    return MapKey(e->keyval, unshifted, modifiers);
}

} // namespace

GtkLayeredWindow::GtkLayeredWindow(WindowEvents& events, GtkLayeredWindow* owner)
    : events_(events), alive_(std::make_shared<bool>(true)) {
    widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(widget_);
    GtkWindow* window = GTK_WINDOW(widget_);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_widget_set_app_paintable(widget_, TRUE);
    screen_ = gtk_widget_get_screen(widget_);
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen_)) {
        gtk_widget_set_visual(widget_, rgba);
    } else {
        DebugOutput("GtkLayeredWindow: the screen has no RGBA visual\n");
    }
    if (owner) {
        gtk_window_set_transient_for(window, GTK_WINDOW(owner->widget_));
    }
    gtk_widget_add_events(widget_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                       GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                       GDK_STRUCTURE_MASK);
    g_signal_connect(widget_, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(widget_, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(widget_, "button-release-event", G_CALLBACK(OnButtonRelease), this);
    g_signal_connect(widget_, "motion-notify-event", G_CALLBACK(OnMotion), this);
    g_signal_connect(widget_, "enter-notify-event", G_CALLBACK(OnEnter), this);
    g_signal_connect(widget_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(widget_, "key-release-event", G_CALLBACK(OnKeyRelease), this);
    g_signal_connect(widget_, "configure-event", G_CALLBACK(OnConfigure), this);
    g_signal_connect(widget_, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(widget_, "grab-broken-event", G_CALLBACK(OnGrabBroken), this);
    g_signal_connect(widget_, "window-state-event", G_CALLBACK(OnWindowState), this);
    g_signal_connect(widget_, "realize", G_CALLBACK(OnRealize), this);
    g_signal_connect(screen_, "composited-changed", G_CALLBACK(OnCompositedChanged), this);
    gtk_widget_set_size_request(widget_, 1, 1);

    std::weak_ptr<bool> alive = alive_;
    port_ = MessagePort::Open([this, alive](const WindowMessage& m) {
        if (!alive.expired()) {
            Deliver([&m](WindowEvents& e) { e.OnMessage(m); });
        }
    });
}

GtkLayeredWindow::~GtkLayeredWindow() {
    *alive_ = false;
    port_->Close();
    for (auto& [id, source] : timers_) {
        g_source_remove(source);
    }
    timers_.clear();
    if (g_captureHolder == this) {
        g_captureHolder = nullptr;
        gdk_seat_ungrab(gdk_display_get_default_seat(gtk_widget_get_display(widget_)));
    }
    for (auto& state : modal_) {
        state->ended = true;
        state->result = kModalAborted;
        g_main_loop_quit(state->loop);
    }
    g_signal_handlers_disconnect_by_data(screen_, this);
    g_signal_handlers_disconnect_by_data(widget_, this);
    gtk_widget_destroy(widget_);
    g_object_unref(widget_);
    if (image_) {
        cairo_surface_destroy(image_);
    }
}

template <typename F> void GtkLayeredWindow::Deliver(F&& message) {
    DeliverWindowMessage(alive_, events_, std::forward<F>(message));
}

void GtkLayeredWindow::DeliverMouse(const std::vector<MouseSequencer::Message>& messages) {
    DeliverMouseMessages(alive_, events_, messages);
}

// --- pixels ---

void GtkLayeredWindow::Present(const Surface& image, uint8_t alpha, const Rect* changed) {
    if (!image.IsValid()) {
        return;
    }
    const Rect all{0, 0, image.Width(), image.Height()};
    bool full = !changed || image_ != image.CairoSurface() || alpha != alpha_ || !shapeValid_;
    if (image_ != image.CairoSurface()) {
        if (image_) {
            cairo_surface_destroy(image_);
        }
        image_ = cairo_surface_reference(image.CairoSurface());
    }
    alpha_ = alpha;
    if (image.Width() != rect_.Width() || image.Height() != rect_.Height()) {
        Resize(image.Width(), image.Height());
        full = true;
    }
    const Rect area = full ? all : Intersect(*changed, all);
    if (full) {
        alphaCopy_.assign(static_cast<size_t>(image.Width()) * image.Height(), 0);
    }
    // The shape is examined again only when the alpha of the changed part changed.
    if (AlphaChanged(image, area) || !shapeValid_) {
        std::vector<Rect> shape = OpaqueRects(image);
        if (!shapeValid_ || shape != shape_) {
            shape_.swap(shape);
            shapeValid_ = true;
            ApplyShape();
        }
    }
    if (!area.IsEmpty()) {
        PaintNow(area);
    }
}

bool GtkLayeredWindow::AlphaChanged(const Surface& image, const Rect& area) {
    bool changed = false;
    for (int y = area.top; y < area.bottom; ++y) {
        const uint8_t* p = image.Row(y) + 4 * static_cast<size_t>(area.left);
        uint8_t* kept = alphaCopy_.data() + static_cast<size_t>(y) * image.Width() + area.left;
        for (int x = area.left; x < area.right; ++x, p += 4, ++kept) {
            if (*kept != p[3]) {
                *kept = p[3];
                changed = true;
            }
        }
    }
    return changed;
}

void GtkLayeredWindow::Paint(cairo_t* cr) {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    if (!image_) {
        return;
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr, image_, 0, 0);
    if (alpha_ == 255) {
        cairo_paint(cr);
    } else {
        cairo_paint_with_alpha(cr, alpha_ / 255.0);
    }
}

void GtkLayeredWindow::PaintNow(const Rect& area) {
    if (!gtk_widget_get_mapped(widget_)) {
        return; // the first expose paints it
    }
    GdkWindow* window = gtk_widget_get_window(widget_);
    cairo_rectangle_int_t part{area.left, area.top, area.Width(), area.Height()};
    cairo_region_t* region = cairo_region_create_rectangle(&part);
    GdkDrawingContext* context = gdk_window_begin_draw_frame(window, region);
    Paint(gdk_drawing_context_get_cairo_context(context));
    gdk_window_end_draw_frame(window, context);
    cairo_region_destroy(region);
    gdk_display_flush(gdk_window_get_display(window));
}

void GtkLayeredWindow::ApplyShape() {
    if (!shapeValid_) {
        return;
    }
    cairo_region_t* region = cairo_region_create();
    for (const Rect& r : shape_) {
        cairo_rectangle_int_t c{r.left, r.top, r.Width(), r.Height()};
        cairo_region_union_rectangle(region, &c);
    }
    gtk_widget_input_shape_combine_region(widget_, region);
    cairo_region_destroy(region);
    SetBoundingShape(gdk_screen_is_composited(screen_) ? nullptr : &shape_);
}

void GtkLayeredWindow::SetBoundingShape(const std::vector<Rect>* shape) {
    // The bounding shape goes to the X server directly. GDK keeps a toplevel's bounding shape
    // in its own clip bookkeeping: it sends the server the shape from before the change and
    // never takes area away from it, while it clips our painting to the new shape, so a part
    // that became transparent kept its old pixels on screen (a closed panel left copies of
    // itself along its way).
    GdkWindow* window = gtk_widget_get_window(widget_);
    if (!window || !GDK_IS_X11_WINDOW(window)) {
        return;
    }
    Display* display = GDK_WINDOW_XDISPLAY(window);
    const ::Window xid = GDK_WINDOW_XID(window);
    if (!shape) {
        XShapeCombineMask(display, xid, ShapeBounding, 0, 0, None, ShapeSet);
        return;
    }
    std::vector<XRectangle> rects;
    rects.reserve(shape->size());
    for (const Rect& r : *shape) {
        rects.push_back({static_cast<short>(r.left), static_cast<short>(r.top),
                         static_cast<unsigned short>(r.Width()),
                         static_cast<unsigned short>(r.Height())});
    }
    XShapeCombineRectangles(display, xid, ShapeBounding, 0, 0, rects.data(),
                            static_cast<int>(rects.size()), ShapeSet, Unsorted);
}

void GtkLayeredWindow::Resize(int32_t width, int32_t height) {
    rect_.right = rect_.left + width;
    rect_.bottom = rect_.top + height;
    gtk_widget_set_size_request(widget_, width, height);
    gtk_window_resize(GTK_WINDOW(widget_), width, height);
    if (GdkWindow* window = gtk_widget_get_window(widget_)) {
        gdk_window_resize(window, width, height);
    }
}

// --- placement and visibility ---

void GtkLayeredWindow::Show(int command) {
    GtkWindow* window = GTK_WINDOW(widget_);
    switch (command) {
    case kSwHide:
        gtk_widget_hide(widget_);
        mouse_.Reset();
        return;
    case kSwShowMinimized:
    case kSwMinimize:
    case kSwShowMinNoActive:
        gtk_window_iconify(window);
        iconified_ = true;
        break;
    default:
        break;
    }
    if (!placed_) {
        // A dialog first appears in the middle of the screen's work area.
        GdkRectangle area{0, 0, 0, 0};
        GdkDisplay* display = gtk_widget_get_display(widget_);
        if (GdkMonitor* monitor = gdk_display_get_primary_monitor(display)
                                      ? gdk_display_get_primary_monitor(display)
                                      : gdk_display_get_monitor(display, 0)) {
            gdk_monitor_get_workarea(monitor, &area);
        }
        Move(area.x + (area.width - rect_.Width()) / 2,
             area.y + (area.height - rect_.Height()) / 2);
    }
    const bool activate =
        command != kSwShowNa && command != kSwShowNoActivate && command != kSwShowMinNoActive;
    gtk_window_set_focus_on_map(window, activate);
    gtk_widget_show(widget_);
    if (command == kSwRestore || command == kSwShowNormal || command == kSwShow) {
        gtk_window_deiconify(window);
        iconified_ = false;
    }
}

bool GtkLayeredWindow::IsVisible() const {
    return gtk_widget_get_visible(widget_);
}

void GtkLayeredWindow::BringToForeground() {
    gtk_window_present(GTK_WINDOW(widget_));
}

void GtkLayeredWindow::SetTopmost(bool topmost) {
    gtk_window_set_keep_above(GTK_WINDOW(widget_), topmost);
}

void GtkLayeredWindow::SetTitle(const std::string& title) {
    gchar* valid = g_utf8_make_valid(title.c_str(), static_cast<gssize>(title.size()));
    gtk_window_set_title(GTK_WINDOW(widget_), valid);
    g_free(valid);
}

void GtkLayeredWindow::SetIcon(const Surface& icon) {
    if (!icon.IsValid()) {
        return;
    }
    GdkPixbuf* pixbuf =
        gdk_pixbuf_get_from_surface(icon.CairoSurface(), 0, 0, icon.Width(), icon.Height());
    if (pixbuf) {
        gtk_window_set_icon(GTK_WINDOW(widget_), pixbuf);
        g_object_unref(pixbuf);
    }
}

void GtkLayeredWindow::Move(int32_t x, int32_t y) {
    rect_ = {x, y, x + rect_.Width(), y + rect_.Height()};
    placed_ = true;
    movePending_ = true;
    gtk_window_move(GTK_WINDOW(widget_), x, y);
}

// --- timers ---

void GtkLayeredWindow::SetTimer(uint32_t id, uint32_t periodMs) {
    KillTimer(id);
    auto* slot = new TimerSlot{this, id};
    timers_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, std::max(periodMs, kMinTimerPeriodMs),
                                     &OnTimerSource, slot,
                                     [](gpointer p) { delete static_cast<TimerSlot*>(p); });
}

void GtkLayeredWindow::KillTimer(uint32_t id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) {
        guint source = it->second;
        timers_.erase(it);
        g_source_remove(source);
    }
}

gboolean GtkLayeredWindow::OnTimerSource(gpointer data) {
    auto* slot = static_cast<TimerSlot*>(data);
    const uint32_t id = slot->id;
    // The timer may be killed (and the slot freed) inside the message: nothing reads the slot
    // afterwards, and GLib ignores the result of a removed source.
    slot->window->Deliver([id](WindowEvents& e) { e.OnTimer(id); });
    return G_SOURCE_CONTINUE;
}

// --- capture and cursor ---

void GtkLayeredWindow::SetCapture() {
    if (g_captureHolder == this) {
        return;
    }
    GtkLayeredWindow* previous = g_captureHolder;
    g_captureHolder = this;
    if (GdkWindow* window = gtk_widget_get_window(widget_)) {
        GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(widget_));
        GdkGrabStatus status = gdk_seat_grab(seat, window, GDK_SEAT_CAPABILITY_ALL_POINTING, FALSE,
                                             nullptr, nullptr, nullptr, nullptr);
        if (status != GDK_GRAB_SUCCESS) {
            DebugOutput("GtkLayeredWindow::SetCapture: the pointer grab failed\n");
        }
    }
    if (previous) {
        previous->LoseCapture();
    }
}

void GtkLayeredWindow::ReleaseCapture() {
    if (g_captureHolder != this) {
        return;
    }
    g_captureHolder = nullptr;
    gdk_seat_ungrab(gdk_display_get_default_seat(gtk_widget_get_display(widget_)));
    LoseCapture();
}

void GtkLayeredWindow::LoseCapture() {
    Deliver([](WindowEvents& e) { e.OnCaptureChanged(); });
}

GtkLayeredWindow* GtkLayeredWindow::CaptureHolder() {
    return g_captureHolder;
}

bool GtkLayeredWindow::HasCapture() const {
    return g_captureHolder == this;
}

Point GtkLayeredWindow::GetCursorPos() const {
    return GtkWindowSystem::Instance().GetCursorPos();
}

bool GtkLayeredWindow::IsUnderCursor() const {
    GdkDevice* pointer = Pointer();
    GdkWindow* own = gtk_widget_get_window(widget_);
    if (!pointer || !own) {
        return false;
    }
    GdkWindow* under = gdk_device_get_window_at_position(pointer, nullptr, nullptr);
    if (under && gdk_window_get_toplevel(under) == own) {
        return true;
    }
    if (!movePending_) {
        return false;
    }
    // While a move is on its way the display still has the old place: ask our own record
    // (the pixel under the cursor in the last image, at the position we asked for).
    const Point cursor = GetCursorPos();
    const Point at{cursor.x - rect_.left, cursor.y - rect_.top};
    for (const Rect& r : shape_) {
        if (r.Contains(at)) {
            return true;
        }
    }
    return false;
}

// --- modal loops ---

int GtkLayeredWindow::RunModal() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        return pendingResult_;
    }
    auto state = std::make_shared<ModalState>();
    state->loop = g_main_loop_new(nullptr, FALSE);
    modal_.push_back(state);
    std::shared_ptr<bool> alive = alive_;
    gtk_window_set_modal(GTK_WINDOW(widget_),
                         gtk_window_get_transient_for(GTK_WINDOW(widget_)) != nullptr);
    if (!state->ended) {
        g_main_loop_run(state->loop);
    }
    g_main_loop_unref(state->loop);
    if (*alive) {
        modal_.erase(std::find(modal_.begin(), modal_.end(), state));
        if (modal_.empty()) {
            gtk_window_set_modal(GTK_WINDOW(widget_), FALSE);
        }
    }
    return state->result;
}

void GtkLayeredWindow::EndModal(int result) {
    for (auto it = modal_.rbegin(); it != modal_.rend(); ++it) {
        if (!(*it)->ended) {
            (*it)->ended = true;
            (*it)->result = result;
            g_main_loop_quit((*it)->loop);
            return;
        }
    }
    pendingEnd_ = true;
    pendingResult_ = result;
}

// --- events ---

gboolean GtkLayeredWindow::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    static_cast<GtkLayeredWindow*>(self)->Paint(cr);
    return TRUE;
}

gboolean GtkLayeredWindow::OnButtonPress(GtkWidget*, GdkEventButton* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    // The display's own double and triple clicks are ignored: double-clicks are ours.
    if (e->type == GDK_BUTTON_PRESS && e->button == 1) {
        w->DeliverMouse(w->mouse_.Press(ClientPoint(e->x, e->y), ClientPoint(e->x_root, e->y_root),
                                        MouseFlags(e->state), e->time));
    }
    return TRUE;
}

gboolean GtkLayeredWindow::OnButtonRelease(GtkWidget*, GdkEventButton* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    if (e->button == 1) {
        w->DeliverMouse(w->mouse_.Release(ClientPoint(e->x, e->y),
                                          ClientPoint(e->x_root, e->y_root), MouseFlags(e->state)));
    }
    return TRUE;
}

gboolean GtkLayeredWindow::OnMotion(GtkWidget*, GdkEventMotion* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    w->DeliverMouse(w->mouse_.Move(ClientPoint(e->x, e->y), ClientPoint(e->x_root, e->y_root),
                                   MouseFlags(e->state)));
    return TRUE;
}

gboolean GtkLayeredWindow::OnEnter(GtkWidget*, GdkEventCrossing* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    // The pointer may come back to the very pixel of the last move (a pen, a touch screen) or
    // arrive without moving (a window above it went away): either way a move here. The
    // crossings that a grab's start or end reports leave the pointer where it was.
    if (e->mode == GDK_CROSSING_NORMAL) {
        w->DeliverMouse(w->mouse_.Enter(ClientPoint(e->x, e->y), ClientPoint(e->x_root, e->y_root),
                                        MouseFlags(e->state)));
    }
    return FALSE;
}

gboolean GtkLayeredWindow::OnKeyPress(GtkWidget*, GdkEventKey* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    const MappedKey key = Map(e);
    std::shared_ptr<bool> alive = w->alive_;
    bool consumed = false;
    if (key.vk != 0) {
        w->Deliver([&](WindowEvents& ev) { consumed = ev.OnKeyDown(key.vk); });
    }
    if (*alive && !consumed && key.ch != 0) {
        w->Deliver([&](WindowEvents& ev) { ev.OnChar(key.ch); });
    }
    return TRUE;
}

gboolean GtkLayeredWindow::OnKeyRelease(GtkWidget*, GdkEventKey* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    const MappedKey key = Map(e);
    if (key.vk != 0) {
        w->Deliver([&](WindowEvents& ev) { ev.OnKeyUp(key.vk); });
    }
    return TRUE;
}

gboolean GtkLayeredWindow::OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    if (w->movePending_) {
        if (e->x == w->rect_.left && e->y == w->rect_.top) {
            w->movePending_ = false;
        }
    } else if (e->x != w->rect_.left || e->y != w->rect_.top) {
        w->rect_ = w->rect_.Offset(e->x - w->rect_.left, e->y - w->rect_.top);
    }
    return FALSE;
}

gboolean GtkLayeredWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkLayeredWindow*>(self)->Deliver([](WindowEvents& e) { e.OnCloseRequest(); });
    return TRUE; // the owner decides whether the window goes
}

gboolean GtkLayeredWindow::OnGrabBroken(GtkWidget*, GdkEventGrabBroken* e, gpointer self) {
    auto* w = static_cast<GtkLayeredWindow*>(self);
    if (!e->keyboard && g_captureHolder == w &&
        (e->grab_window == nullptr || e->grab_window != gtk_widget_get_window(w->widget_))) {
        g_captureHolder = nullptr;
        w->LoseCapture();
    }
    return TRUE;
}

gboolean GtkLayeredWindow::OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer self) {
    static_cast<GtkLayeredWindow*>(self)->iconified_ =
        (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    return FALSE;
}

void GtkLayeredWindow::OnRealize(GtkWidget* widget, gpointer self) {
    // Every motion event, not one per frame: drags follow the pointer exactly.
    gdk_window_set_event_compression(gtk_widget_get_window(widget), FALSE);
    static_cast<GtkLayeredWindow*>(self)->ApplyShape();
}

void GtkLayeredWindow::OnCompositedChanged(GdkScreen*, gpointer self) {
    static_cast<GtkLayeredWindow*>(self)->ApplyShape();
}

} // namespace plat
