#include "platform/ui/dialog/testing/FakeDialogFactory.h"

#include <algorithm>

namespace plat {

FakeDialog::FakeDialog(const DialogTemplate& dialog, DialogHandler& handler, bool modal)
    : handler_(handler), modal_(modal), title_(dialog.title) {
    int group = 0;
    ControlKind previous = ControlKind::Label;
    for (const ControlSpec& spec : dialog.controls) {
        if (spec.kind == ControlKind::RadioButton &&
            (spec.groupStart || previous != ControlKind::RadioButton)) {
            ++group;
        }
        previous = spec.kind;
        if (spec.id == 0) {
            continue;
        }
        Control control;
        control.spec = spec;
        control.text = spec.text;
        control.group = group;
        controls_[spec.id] = control;
    }
}

FakeDialog::~FakeDialog() {
    if (!destroyed_) {
        destroyed_ = true;
        handler_.OnDestroy(*this);
    }
    if (factory_ != nullptr) {
        auto& list = factory_->modeless_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

FakeDialog::Control* FakeDialog::Find(int id, ControlKind kind) {
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.spec.kind == kind ? &it->second : nullptr;
}

const FakeDialog::Control* FakeDialog::Find(int id) const {
    auto it = controls_.find(id);
    return it != controls_.end() ? &it->second : nullptr;
}

void FakeDialog::Type(int id, const std::string& text) {
    auto it = controls_.find(id);
    if (it == controls_.end() || !it->second.enabled) {
        return;
    }
    int max = it->second.spec.maxLength;
    it->second.text =
        max > 0 && text.size() > static_cast<size_t>(max) ? text.substr(0, max) : text;
}

void FakeDialog::Click(int id) {
    auto it = controls_.find(id);
    if (it == controls_.end() || !it->second.enabled) {
        return;
    }
    Control& c = it->second;
    if (c.spec.kind == ControlKind::CheckBox) {
        c.checked = !c.checked;
    } else if (c.spec.kind == ControlKind::RadioButton) {
        SetCheck(id, true);
    }
    handler_.OnCommand(*this, id, kBnClicked);
}

void FakeDialog::Choose(int id, int index) {
    auto it = controls_.find(id);
    if (it == controls_.end() || !it->second.enabled || it->second.items.empty()) {
        return;
    }
    if (SetSelection(id, index)) {
        handler_.OnCommand(*this, id, kCbnSelChange);
    }
}

void FakeDialog::Close() {
    handler_.OnCancel(*this);
}

FontSpec FakeDialog::Font(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? c->font : FontSpec{};
}

int FakeDialog::RangeLow(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? c->low : -1;
}

int FakeDialog::RangeHigh(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? c->high : -1;
}

bool FakeDialog::SetText(int id, const std::string& text) {
    auto it = controls_.find(id);
    if (it == controls_.end()) {
        return false;
    }
    it->second.text = text;
    return true;
}

std::string FakeDialog::GetText(int id) const {
    const Control* c = Find(id);
    if (c == nullptr) {
        return "";
    }
    if (c->spec.kind == ControlKind::ComboBox) {
        return ItemText(id, c->selection);
    }
    return c->text;
}

bool FakeDialog::SetCheck(int id, bool checked) {
    auto it = controls_.find(id);
    if (it == controls_.end() || (it->second.spec.kind != ControlKind::CheckBox &&
                                  it->second.spec.kind != ControlKind::RadioButton)) {
        return false;
    }
    if (it->second.spec.kind == ControlKind::RadioButton && checked) {
        for (auto& [otherId, other] : controls_) {
            if (other.spec.kind == ControlKind::RadioButton && other.group == it->second.group) {
                other.checked = false;
            }
        }
    }
    it->second.checked = checked;
    return true;
}

bool FakeDialog::GetCheck(int id) const {
    const Control* c = Find(id);
    return c != nullptr && c->checked;
}

bool FakeDialog::Enable(int id, bool enabled) {
    auto it = controls_.find(id);
    if (it == controls_.end()) {
        return false;
    }
    it->second.enabled = enabled;
    return true;
}

bool FakeDialog::IsEnabled(int id) const {
    const Control* c = Find(id);
    return c != nullptr && c->enabled;
}

bool FakeDialog::SetFont(int id, const FontSpec& font) {
    auto it = controls_.find(id);
    if (it == controls_.end()) {
        return false;
    }
    it->second.font = font;
    return true;
}

int FakeDialog::AddItem(int id, const std::string& text, intptr_t data) {
    Control* c = Find(id, ControlKind::ComboBox);
    c = c != nullptr ? c : Find(id, ControlKind::ListBox);
    if (c == nullptr) {
        return -1;
    }
    c->items.emplace_back(text, data);
    return static_cast<int>(c->items.size()) - 1;
}

void FakeDialog::ClearItems(int id) {
    auto it = controls_.find(id);
    if (it != controls_.end()) {
        it->second.items.clear();
        it->second.selection = -1;
    }
}

int FakeDialog::ItemCount(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? static_cast<int>(c->items.size()) : -1;
}

std::string FakeDialog::ItemText(int id, int index) const {
    const Control* c = Find(id);
    return c != nullptr && index >= 0 && index < static_cast<int>(c->items.size())
               ? c->items[static_cast<size_t>(index)].first
               : "";
}

intptr_t FakeDialog::ItemData(int id, int index) const {
    const Control* c = Find(id);
    return c != nullptr && index >= 0 && index < static_cast<int>(c->items.size())
               ? c->items[static_cast<size_t>(index)].second
               : -1;
}

bool FakeDialog::SetSelection(int id, int index) {
    auto it = controls_.find(id);
    if (it == controls_.end() || index < -1 || index >= static_cast<int>(it->second.items.size())) {
        return false;
    }
    it->second.selection = index;
    return true;
}

int FakeDialog::Selection(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? c->selection : -1;
}

bool FakeDialog::SetRange(int id, int low, int high) {
    Control* c = Find(id, ControlKind::ProgressBar);
    if (c == nullptr || high <= low) {
        return false;
    }
    c->low = low;
    c->high = high;
    c->pos = std::clamp(c->pos, low, high);
    return true;
}

bool FakeDialog::SetPos(int id, int pos) {
    Control* c = Find(id, ControlKind::ProgressBar);
    if (c == nullptr) {
        return false;
    }
    c->pos = std::clamp(pos, c->low, c->high);
    return true;
}

int FakeDialog::Pos(int id) const {
    const Control* c = Find(id);
    return c != nullptr && c->spec.kind == ControlKind::ProgressBar ? c->pos : -1;
}

void FakeDialog::EndDialog(int result) {
    if (!modal_) {
        visible_ = false;
        return;
    }
    ended_ = true;
    result_ = result;
}

int FakeDialogFactory::RunModal(const DialogTemplate& dialog, DialogHandler& handler,
                                NativeWindow) {
    if (unavailable_) {
        return -1;
    }
    FakeDialog fake(dialog, handler, true);
    const ModalLoop loop;
    handler.OnInitDialog(fake);
    if (!fake.ended_) {
        fake.visible_ = true;
        if (!scripts_.empty()) {
            Script script = std::move(scripts_.front());
            scripts_.pop_front();
            script(fake);
        }
        if (!fake.ended_) {
            fake.Close();
        }
        if (!fake.ended_) {
            fake.EndDialog(kIdCancel);
        }
    }
    fake.visible_ = false;
    fake.destroyed_ = true;
    handler.OnDestroy(fake);
    ran_.emplace_back(fake.Title(), fake.result_);
    return fake.result_;
}

std::unique_ptr<Dialog> FakeDialogFactory::CreateModeless(const DialogTemplate& dialog,
                                                          DialogHandler& handler) {
    if (unavailable_) {
        return nullptr;
    }
    auto fake = std::make_unique<FakeDialog>(dialog, handler, false);
    fake->factory_ = this;
    modeless_.push_back(fake.get());
    handler.OnInitDialog(*fake);
    return fake;
}

} // namespace plat
