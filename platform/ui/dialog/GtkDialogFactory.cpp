#include "platform/ui/dialog/GtkDialogFactory.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <map>

#include "platform/core/DebugOutput.h"
#include "platform/ui/GtkRuntime.h"
#include "platform/ui/ModalLoop.h"

namespace plat {
namespace {

// One dialog window. Signals carry `this`; the window is destroyed with the object, so no
// signal outlives it.
class GtkPlainDialog final : public Dialog {
public:
    GtkPlainDialog(const DialogTemplate& dialog, DialogHandler& handler, bool modal)
        : handler_(handler), modal_(modal) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(window_);
        gtk_window_set_title(GTK_WINDOW(window_), dialog.title.c_str());
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        gtk_window_set_default_size(GTK_WINDOW(window_), dialog.width, dialog.height);
        // The window is the template's size whatever its controls ask for: a GtkLayout asks
        // only for the size it is given, where a GtkFixed would grow to the height a wrapping
        // label needs at its narrowest.
        GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
        gtk_layout_set_size(GTK_LAYOUT(layout), static_cast<guint>(std::max(dialog.width, 1)),
                            static_cast<guint>(std::max(dialog.height, 1)));
        gtk_widget_set_size_request(layout, dialog.width, dialog.height);
        gtk_container_add(GTK_CONTAINER(window_), layout);
        g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkPlainDialog::OnDelete), this);
        g_signal_connect(window_, "key-press-event", G_CALLBACK(&GtkPlainDialog::OnKey), this);
        GtkWidget* lastRadio = nullptr;
        for (const ControlSpec& spec : dialog.controls) {
            GtkWidget* widget = Build(spec, &lastRadio);
            gtk_widget_set_size_request(widget, spec.width, spec.height);
            gtk_layout_put(GTK_LAYOUT(layout), widget, spec.x, spec.y);
        }
        gtk_widget_show_all(layout);
        // The default button starts with the focus, so Enter presses it whichever control
        // comes first (a button there would take Enter for itself); OnInitDialog may move it.
        if (GtkWidget* defaultButton = gtk_window_get_default_widget(GTK_WINDOW(window_))) {
            gtk_widget_grab_focus(defaultButton);
        }
    }

    ~GtkPlainDialog() override {
        if (!destroyed_) {
            handler_.OnDestroy(*this);
        }
        gtk_widget_destroy(window_);
        g_object_unref(window_);
    }

    int Run(GtkWindow* owner) {
        handler_.OnInitDialog(*this);
        if (!ended_) {
            gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
            if (owner != nullptr) {
                gtk_window_set_transient_for(GTK_WINDOW(window_), owner);
            }
            gtk_window_set_position(GTK_WINDOW(window_), owner != nullptr
                                                             ? GTK_WIN_POS_CENTER_ON_PARENT
                                                             : GTK_WIN_POS_CENTER);
            gtk_widget_show(window_);
            loop_ = g_main_loop_new(nullptr, FALSE);
            g_main_loop_run(loop_);
            g_main_loop_unref(loop_);
            loop_ = nullptr;
            gtk_widget_hide(window_);
        }
        destroyed_ = true;
        handler_.OnDestroy(*this);
        return result_;
    }

    void Init() { handler_.OnInitDialog(*this); }

    bool Click(int id) {
        Control* c = Find(id);
        if (c == nullptr || !GTK_IS_BUTTON(c->widget)) {
            return false;
        }
        gtk_button_clicked(GTK_BUTTON(c->widget));
        return true;
    }

    void SetTitle(const std::string& title) override {
        gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
    }
    std::string Title() const override {
        const char* title = gtk_window_get_title(GTK_WINDOW(window_));
        return title != nullptr ? title : "";
    }

    bool SetText(int id, const std::string& text) override {
        Control* c = Find(id);
        if (c == nullptr) {
            return false;
        }
        Quiet quiet(this);
        if (GTK_IS_ENTRY(c->widget)) {
            gtk_entry_set_text(GTK_ENTRY(c->widget), text.c_str());
        } else if (GTK_IS_LABEL(c->widget)) {
            gtk_label_set_text(GTK_LABEL(c->widget), text.c_str());
        } else if (GTK_IS_BUTTON(c->widget)) {
            gtk_button_set_label(GTK_BUTTON(c->widget), text.c_str());
        } else {
            return false;
        }
        return true;
    }
    std::string GetText(int id) const override {
        const Control* c = Find(id);
        const char* text = nullptr;
        if (c == nullptr) {
            return "";
        } else if (GTK_IS_ENTRY(c->widget)) {
            text = gtk_entry_get_text(GTK_ENTRY(c->widget));
        } else if (GTK_IS_LABEL(c->widget)) {
            text = gtk_label_get_text(GTK_LABEL(c->widget));
        } else if (GTK_IS_BUTTON(c->widget)) {
            text = gtk_button_get_label(GTK_BUTTON(c->widget));
        } else if (GTK_IS_COMBO_BOX_TEXT(c->widget)) {
            return ItemText(id, Selection(id));
        }
        return text != nullptr ? text : "";
    }
    bool SetCheck(int id, bool checked) override {
        Control* c = Find(id);
        if (c == nullptr || !GTK_IS_TOGGLE_BUTTON(c->widget)) {
            return false;
        }
        Quiet quiet(this);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), checked);
        return true;
    }
    bool GetCheck(int id) const override {
        const Control* c = Find(id);
        return c != nullptr && GTK_IS_TOGGLE_BUTTON(c->widget) &&
               gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->widget));
    }
    bool Enable(int id, bool enabled) override {
        Control* c = Find(id);
        if (c == nullptr) {
            return false;
        }
        gtk_widget_set_sensitive(c->widget, enabled);
        return true;
    }
    bool IsEnabled(int id) const override {
        const Control* c = Find(id);
        return c != nullptr && gtk_widget_get_sensitive(c->widget);
    }
    bool SetFont(int id, const FontSpec& font) override {
        Control* c = Find(id);
        if (c == nullptr) {
            return false;
        }
        std::string css = "* {";
        if (!font.family.empty()) {
            css += " font-family: \"" + font.family + "\";";
        }
        if (font.pixelHeight > 0) {
            css += " font-size: " + std::to_string(font.pixelHeight) + "px;";
        }
        css += font.bold ? " font-weight: bold; }" : " }";
        GtkCssProvider* provider = gtk_css_provider_new();
        gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
        gtk_style_context_add_provider(gtk_widget_get_style_context(c->widget),
                                       GTK_STYLE_PROVIDER(provider),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(provider);
        return true;
    }
    void Focus(int id) override {
        if (Control* c = Find(id)) {
            gtk_widget_grab_focus(c->widget);
        }
    }

    int AddItem(int id, const std::string& text, intptr_t data) override {
        Control* c = Find(id);
        if (c == nullptr || c->list == nullptr) {
            return -1;
        }
        Quiet quiet(this);
        if (GTK_IS_COMBO_BOX_TEXT(c->list)) {
            gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(c->list), text.c_str());
        } else {
            GtkWidget* label = gtk_label_new(text.c_str());
            gtk_label_set_xalign(GTK_LABEL(label), 0);
            gtk_widget_show(label);
            gtk_list_box_insert(GTK_LIST_BOX(c->list), label, -1);
        }
        c->items.push_back({text, data});
        return static_cast<int>(c->items.size()) - 1;
    }
    void ClearItems(int id) override {
        Control* c = Find(id);
        if (c == nullptr || c->list == nullptr) {
            return;
        }
        Quiet quiet(this);
        if (GTK_IS_COMBO_BOX_TEXT(c->list)) {
            gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(c->list));
        } else {
            GList* rows = gtk_container_get_children(GTK_CONTAINER(c->list));
            for (GList* row = rows; row != nullptr; row = row->next) {
                gtk_widget_destroy(GTK_WIDGET(row->data));
            }
            g_list_free(rows);
        }
        c->items.clear();
    }
    int ItemCount(int id) const override {
        const Control* c = Find(id);
        return c != nullptr ? static_cast<int>(c->items.size()) : -1;
    }
    std::string ItemText(int id, int index) const override {
        const Control* c = Find(id);
        return c != nullptr && index >= 0 && index < static_cast<int>(c->items.size())
                   ? c->items[static_cast<size_t>(index)].first
                   : "";
    }
    intptr_t ItemData(int id, int index) const override {
        const Control* c = Find(id);
        return c != nullptr && index >= 0 && index < static_cast<int>(c->items.size())
                   ? c->items[static_cast<size_t>(index)].second
                   : -1;
    }
    bool SetSelection(int id, int index) override {
        Control* c = Find(id);
        if (c == nullptr || c->list == nullptr || index >= static_cast<int>(c->items.size())) {
            return false;
        }
        Quiet quiet(this);
        if (GTK_IS_COMBO_BOX_TEXT(c->list)) {
            gtk_combo_box_set_active(GTK_COMBO_BOX(c->list), index);
        } else if (index < 0) {
            gtk_list_box_unselect_all(GTK_LIST_BOX(c->list));
        } else {
            gtk_list_box_select_row(GTK_LIST_BOX(c->list),
                                    gtk_list_box_get_row_at_index(GTK_LIST_BOX(c->list), index));
        }
        return true;
    }
    int Selection(int id) const override {
        const Control* c = Find(id);
        if (c == nullptr || c->list == nullptr) {
            return -1;
        }
        if (GTK_IS_COMBO_BOX_TEXT(c->list)) {
            return gtk_combo_box_get_active(GTK_COMBO_BOX(c->list));
        }
        GtkListBoxRow* row = gtk_list_box_get_selected_row(GTK_LIST_BOX(c->list));
        return row != nullptr ? gtk_list_box_row_get_index(row) : -1;
    }

    bool SetRange(int id, int low, int high) override {
        Control* c = Find(id);
        if (c == nullptr || !GTK_IS_PROGRESS_BAR(c->widget) || high <= low) {
            return false;
        }
        c->low = low;
        c->high = high;
        return SetPos(id, c->pos);
    }
    bool SetPos(int id, int pos) override {
        Control* c = Find(id);
        if (c == nullptr || !GTK_IS_PROGRESS_BAR(c->widget)) {
            return false;
        }
        c->pos = std::clamp(pos, c->low, c->high);
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(c->widget),
                                      static_cast<double>(c->pos - c->low) / (c->high - c->low));
        return true;
    }
    int Pos(int id) const override {
        const Control* c = Find(id);
        return c != nullptr && GTK_IS_PROGRESS_BAR(c->widget) ? c->pos : -1;
    }

    void Show(bool shown) override {
        if (shown) {
            gtk_widget_show(window_);
        } else {
            gtk_widget_hide(window_);
        }
    }
    bool IsVisible() const override { return gtk_widget_get_visible(window_); }
    void SetTopmost(bool topmost) override {
        gtk_window_set_keep_above(GTK_WINDOW(window_), topmost);
    }
    void Present() override {
        gtk_window_deiconify(GTK_WINDOW(window_));
        gtk_window_present(GTK_WINDOW(window_));
    }
    void Move(int x, int y) override { gtk_window_move(GTK_WINDOW(window_), x, y); }
    void EndDialog(int result) override {
        if (!modal_) {
            gtk_widget_hide(window_);
            return;
        }
        ended_ = true;
        result_ = result;
        if (loop_ != nullptr) {
            g_main_loop_quit(loop_);
        }
    }
    NativeWindow Native() const override { return window_; }

private:
    struct Control {
        GtkWidget* widget = nullptr; // what is placed (a scrolled window for a list box)
        GtkWidget* list = nullptr;   // the combo box or list box holding the items
        std::vector<std::pair<std::string, intptr_t>> items;
        int low = 0, high = 100, pos = 0;
        int id = 0;
        GtkPlainDialog* owner = nullptr;
    };
    // Changes made by the program notify nobody.
    struct Quiet {
        explicit Quiet(GtkPlainDialog* d) : dialog(d) { ++dialog->quiet_; }
        ~Quiet() { --dialog->quiet_; }
        GtkPlainDialog* dialog;
    };

    Control* Find(int id) {
        auto it = controls_.find(id);
        return it != controls_.end() ? it->second.get() : nullptr;
    }
    const Control* Find(int id) const {
        auto it = controls_.find(id);
        return it != controls_.end() ? it->second.get() : nullptr;
    }

    GtkWidget* Build(const ControlSpec& spec, GtkWidget** lastRadio) {
        auto control = std::make_unique<Control>();
        control->id = spec.id;
        control->owner = this;
        GtkWidget* widget = nullptr;
        switch (spec.kind) {
        case ControlKind::Label:
            widget = gtk_label_new(spec.text.c_str());
            gtk_label_set_xalign(GTK_LABEL(widget), 0);
            gtk_label_set_yalign(GTK_LABEL(widget), 0);
            gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
            // A wrapping label asks for its whole text on one line unless told otherwise; the
            // control's own width (its size request) is then what it wraps at.
            gtk_label_set_max_width_chars(GTK_LABEL(widget), 1);
            break;
        case ControlKind::Edit:
        case ControlKind::Password:
            widget = gtk_entry_new();
            gtk_entry_set_text(GTK_ENTRY(widget), spec.text.c_str());
            gtk_entry_set_max_length(GTK_ENTRY(widget), spec.maxLength);
            gtk_entry_set_visibility(GTK_ENTRY(widget), spec.kind == ControlKind::Edit);
            gtk_entry_set_activates_default(GTK_ENTRY(widget), TRUE);
            break;
        case ControlKind::CheckBox:
            widget = gtk_check_button_new_with_label(spec.text.c_str());
            g_signal_connect(widget, "toggled", G_CALLBACK(&GtkPlainDialog::OnClicked),
                             control.get());
            break;
        case ControlKind::RadioButton:
            widget = gtk_radio_button_new_with_label_from_widget(
                spec.groupStart ? nullptr : AsRadio(*lastRadio), spec.text.c_str());
            *lastRadio = widget;
            g_signal_connect(widget, "toggled", G_CALLBACK(&GtkPlainDialog::OnRadio),
                             control.get());
            break;
        case ControlKind::ComboBox:
            widget = control->list = gtk_combo_box_text_new();
            EllipsizeItems(widget);
            g_signal_connect(widget, "changed", G_CALLBACK(&GtkPlainDialog::OnChanged),
                             control.get());
            break;
        case ControlKind::ListBox:
            widget = gtk_scrolled_window_new(nullptr, nullptr);
            control->list = gtk_list_box_new();
            gtk_container_add(GTK_CONTAINER(widget), control->list);
            g_signal_connect(control->list, "row-selected", G_CALLBACK(&GtkPlainDialog::OnRow),
                             control.get());
            break;
        case ControlKind::Button:
            widget = gtk_button_new_with_label(spec.text.c_str());
            g_signal_connect(widget, "clicked", G_CALLBACK(&GtkPlainDialog::OnClicked),
                             control.get());
            if (spec.defaultButton) {
                gtk_widget_set_can_default(widget, TRUE);
                gtk_window_set_default(GTK_WINDOW(window_), widget);
            }
            break;
        case ControlKind::ProgressBar:
            widget = gtk_progress_bar_new();
            break;
        }
        control->widget = widget;
        if (spec.id != 0) {
            controls_[spec.id] = std::move(control);
        } else {
            anonymous_.push_back(std::move(control));
        }
        return widget;
    }

    // A combo box asks to be as wide as its longest item: cut long items short instead, so it
    // keeps its template's width.
    static void EllipsizeItems(GtkWidget* combo) {
        GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(combo));
        for (GList* cell = cells; cell != nullptr; cell = cell->next) {
            if (GTK_IS_CELL_RENDERER_TEXT(cell->data)) {
                g_object_set(cell->data, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
            }
        }
        g_list_free(cells);
    }

    static GtkRadioButton* AsRadio(GtkWidget* widget) {
        return widget != nullptr ? GTK_RADIO_BUTTON(widget) : nullptr;
    }

    void Notify(int id, int notification) {
        if (quiet_ == 0 && id != 0) {
            handler_.OnCommand(*this, id, notification);
        }
    }
    static void OnClicked(GtkWidget*, Control* c) { c->owner->Notify(c->id, kBnClicked); }
    static void OnRadio(GtkWidget* widget, Control* c) {
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget))) {
            c->owner->Notify(c->id, kBnClicked);
        }
    }
    static void OnChanged(GtkWidget*, Control* c) { c->owner->Notify(c->id, kCbnSelChange); }
    static void OnRow(GtkWidget*, GtkListBoxRow*, Control* c) {
        c->owner->Notify(c->id, kCbnSelChange);
    }
    static gboolean OnDelete(GtkWidget*, GdkEvent*, GtkPlainDialog* self) {
        self->handler_.OnCancel(*self);
        return TRUE;
    }
    static gboolean OnKey(GtkWidget*, GdkEventKey* event, GtkPlainDialog* self) {
        if (event->keyval == GDK_KEY_Escape) {
            self->handler_.OnCancel(*self);
            return TRUE;
        }
        return FALSE;
    }

    DialogHandler& handler_;
    const bool modal_;
    GtkWidget* window_ = nullptr;
    std::map<int, std::unique_ptr<Control>> controls_;
    std::vector<std::unique_ptr<Control>> anonymous_;
    GMainLoop* loop_ = nullptr;
    bool ended_ = false;
    bool destroyed_ = false; // OnDestroy was called
    int result_ = kIdCancel;
    int quiet_ = 0;
};

} // namespace

int GtkDialogFactory::RunModal(const DialogTemplate& dialog, DialogHandler& handler,
                               NativeWindow owner) {
    if (!EnsureGtk()) {
        DebugOutput("Dialog: no display\n");
        return -1;
    }
    GtkPlainDialog window(dialog, handler, true);
    const ModalLoop loop;
    return window.Run(owner != nullptr ? GTK_WINDOW(owner) : nullptr);
}

std::unique_ptr<Dialog> GtkDialogFactory::CreateModeless(const DialogTemplate& dialog,
                                                         DialogHandler& handler) {
    if (!EnsureGtk()) {
        DebugOutput("Dialog: no display\n");
        return nullptr;
    }
    auto window = std::make_unique<GtkPlainDialog>(dialog, handler, false);
    window->Init();
    return window;
}

bool GtkDialogFactory::IsControlKeyDown() {
    if (!EnsureGtk()) {
        return false;
    }
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return false;
    }
    return (gdk_keymap_get_modifier_state(gdk_keymap_get_for_display(display)) &
            GDK_CONTROL_MASK) != 0;
}

bool ClickDialogControlForTests(Dialog& dialog, int id) {
    auto* window = dynamic_cast<GtkPlainDialog*>(&dialog);
    return window != nullptr && window->Click(id);
}

std::string GtkDialogFactory::GetOpenFileName(const OpenFileRequest& request, NativeWindow owner) {
    if (!EnsureGtk()) {
        DebugOutput("Dialog: no display\n");
        return {};
    }
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        request.title.c_str(), owner != nullptr ? GTK_WINDOW(owner) : nullptr,
        GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel", GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT,
        nullptr);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    gtk_file_chooser_set_local_only(files, TRUE);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, request.filterName.c_str());
    gtk_file_filter_add_pattern(filter, request.pattern.c_str());
    gtk_file_chooser_add_filter(files, filter);
    // The choice stays out of the desktop's recent files: the chooser records one only while
    // the setting allows it.
    GtkSettings* settings = gtk_settings_get_default();
    gboolean recentEnabled = FALSE;
    g_object_get(settings, "gtk-recent-files-enabled", &recentEnabled, nullptr);
    g_object_set(settings, "gtk-recent-files-enabled", FALSE, nullptr);
    std::string path;
    const ModalLoop loop;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(files)) {
            path = name;
            g_free(name);
        }
    }
    gtk_widget_destroy(chooser);
    g_object_set(settings, "gtk-recent-files-enabled", recentEnabled, nullptr);
    // An open dialog only gives files that exist; one removed meanwhile is no choice.
    if (!path.empty() && !g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) {
        path.clear();
    }
    return path;
}

} // namespace plat
