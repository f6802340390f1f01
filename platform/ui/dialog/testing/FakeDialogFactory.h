#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ModalLoop.h"
#include "platform/ui/dialog/Dialog.h"

namespace plat {

// A dialog without a window, for headless tests: it keeps its controls' state and lets a test
// act as the user would (type, click, select, close), each action reaching the handler as the
// real dialog's would.
class FakeDialog final : public Dialog {
public:
    FakeDialog(const DialogTemplate& dialog, DialogHandler& handler, bool modal);
    ~FakeDialog() override;

    // What the user does.
    void Type(int id, const std::string& text); // cut to the edit's maximum length
    void Click(int id);                         // a check box toggles, a radio button checks
    void Choose(int id, int index);             // selects an item and notifies
    void Close();                               // the window's close button or Escape

    bool Ended() const { return ended_; }
    int Result() const { return result_; }
    bool HasControl(int id) const { return controls_.count(id) != 0; }
    FontSpec Font(int id) const;
    int RangeLow(int id) const;
    int RangeHigh(int id) const;
    bool IsTopmost() const { return topmost_; }
    int Presents() const { return presents_; }
    std::pair<int, int> Position() const { return position_; }

    void SetTitle(const std::string& title) override { title_ = title; }
    std::string Title() const override { return title_; }
    bool SetText(int id, const std::string& text) override;
    std::string GetText(int id) const override;
    bool SetCheck(int id, bool checked) override;
    bool GetCheck(int id) const override;
    bool Enable(int id, bool enabled) override;
    bool IsEnabled(int id) const override;
    bool SetFont(int id, const FontSpec& font) override;
    void Focus(int id) override { focus_ = id; }

    int AddItem(int id, const std::string& text, intptr_t data) override;
    void ClearItems(int id) override;
    int ItemCount(int id) const override;
    std::string ItemText(int id, int index) const override;
    intptr_t ItemData(int id, int index) const override;
    bool SetSelection(int id, int index) override;
    int Selection(int id) const override;
    bool SetRange(int id, int low, int high) override;
    bool SetPos(int id, int pos) override;
    int Pos(int id) const override;
    void Show(bool shown) override { visible_ = shown; }
    bool IsVisible() const override { return visible_; }
    void SetTopmost(bool topmost) override { topmost_ = topmost; }
    void Present() override {
        visible_ = true;
        ++presents_;
    }
    void Move(int x, int y) override { position_ = {x, y}; }
    void EndDialog(int result) override;
    NativeWindow Native() const override { return nullptr; }

    int Focused() const { return focus_; }

private:
    struct Control {
        ControlSpec spec;
        std::string text;
        bool checked = false;
        bool enabled = true;
        FontSpec font;
        std::vector<std::pair<std::string, intptr_t>> items;
        int selection = -1;
        int low = 0, high = 100, pos = 0;
        int group = 0; // radio buttons: the group they belong to
    };
    Control* Find(int id, ControlKind kind);
    const Control* Find(int id) const;

    DialogHandler& handler_;
    const bool modal_;
    std::string title_;
    std::map<int, Control> controls_;
    bool ended_ = false;
    int result_ = 0;
    bool visible_ = false;
    bool topmost_ = false;
    int presents_ = 0;
    bool destroyed_ = false;
    int focus_ = 0;
    std::pair<int, int> position_{-1, -1};
    class FakeDialogFactory* factory_ = nullptr; // set for modeless dialogs
    friend class FakeDialogFactory;
};

// Runs each modal dialog with the next queued script (the user's part); a dialog whose script
// does not end it counts as closed with Cancel. Keeps the modeless dialogs it made while they
// live. Installs itself for its lifetime.
class FakeDialogFactory final : public DialogFactory {
public:
    using Script = std::function<void(FakeDialog&)>;

    FakeDialogFactory() : previous_(SetDialogFactory(this)) {}
    ~FakeDialogFactory() override { SetDialogFactory(previous_); }

    void QueueScript(Script script) { scripts_.push_back(std::move(script)); }
    void SetControlKeyDown(bool down) { controlDown_ = down; }
    // The titles of the modal dialogs run, in order, and each one's result.
    const std::vector<std::pair<std::string, int>>& Ran() const { return ran_; }
    // Fails every run and creation, as without a display.
    void SetUnavailable(bool unavailable) { unavailable_ = unavailable; }
    // The modeless dialogs alive now, in order of creation.
    std::vector<FakeDialog*> Modeless() const {
        return std::vector<FakeDialog*>(modeless_.begin(), modeless_.end());
    }

    int RunModal(const DialogTemplate& dialog, DialogHandler& handler, NativeWindow) override;
    std::unique_ptr<Dialog> CreateModeless(const DialogTemplate& dialog,
                                           DialogHandler& handler) override;
    bool IsControlKeyDown() override { return controlDown_; }
    // The file the next file-open dialog answers (empty: the user cancels); each request is
    // kept.
    void QueueOpenFile(std::string path) { openFiles_.push_back(std::move(path)); }
    const std::vector<OpenFileRequest>& OpenFileRequests() const { return openRequests_; }
    std::string GetOpenFileName(const OpenFileRequest& request, NativeWindow) override {
        const ModalLoop loop;
        openRequests_.push_back(request);
        if (unavailable_ || openFiles_.empty()) {
            return {};
        }
        std::string path = std::move(openFiles_.front());
        openFiles_.pop_front();
        return path;
    }

private:
    friend class FakeDialog;
    DialogFactory* previous_;
    std::deque<Script> scripts_;
    bool controlDown_ = false;
    bool unavailable_ = false;
    std::vector<std::pair<std::string, int>> ran_;
    std::vector<FakeDialog*> modeless_;
    std::deque<std::string> openFiles_;
    std::vector<OpenFileRequest> openRequests_;
};

} // namespace plat
