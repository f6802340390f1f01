#pragma once
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/login/CUserLogin.h"
#include "app/phone/LoginView.h"
#include "media/api/iTraceFile.h"
#include "platform/core/Clock.h"
#include "platform/core/testing/FakeClock.h"

// Records what the login logic does to its windows; timers run on the current plat clock.
class FakeCallWindow : public CallWindow {
public:
    explicit FakeCallWindow(CallWindow** slot) : slot_(slot) {}
    WindowRect GetWindowRect() const override { return rect; }
    void MoveTo(int x, int y) override {
        moves.push_back({x, y});
        rect = {x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)};
    }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    void BringToFront() override {
        visible = true;
        ++raised;
    }
    void HangUp(bool user) override { hangUps.push_back(user); }
    // Records the event and answers through `power` when set (which may destroy the window).
    intptr_t PowerBroadcast(unsigned event) override {
        powerEvents.push_back(event);
        auto answer = power; // a copy: the window may be gone when it returns
        return answer ? answer(event) : 0;
    }
    void Destroy() override;

    WindowRect rect{0, 0, 301, 201};
    bool visible = false;
    int raised = 0;
    std::vector<std::pair<int, int>> moves;
    std::vector<bool> hangUps;
    std::vector<unsigned> powerEvents;
    std::function<intptr_t(unsigned)> power;
    int* destroyed = nullptr;

private:
    CallWindow** slot_;
};

class FakeLoginView : public LoginView {
public:
    ~FakeLoginView() override;
    std::string GetUserText() const override { return user; }
    std::string GetPasswordText() const override { return password; }
    void EnableLoginControls(bool enable) override { controlsEnabled.push_back(enable); }
    void ShowForm() override { formVisible = true; }
    void HideForm() override { formVisible = false; }
    WindowRect GetFormRect() const override { return formRect; }
    void BringToForeground() override { ++foregrounds; }
    bool IsTrayIconEmbedded() const override { return false; }
    void SetTimer(unsigned id, unsigned periodMs) override {
        timers[id] = {periodMs, plat::TimeMs() + periodMs};
    }
    void KillTimer(unsigned id) override { timers.erase(id); }
    void OnBaseTimer(unsigned id) override { baseTimers.push_back(id); }
    int MessageBoxById(unsigned id, unsigned flags, Owner owner) override {
        messages.push_back(id);
        messageFlags.push_back(flags);
        messageOwners.push_back(owner);
        return id == CUserLogin::kMsgExitQuestion ? exitAnswer : kIdOk;
    }
    void EndDialog() override { ++endDialogs; }
    CallWindow* CreateCallWindow(CallWindow** slot) override {
        ++callWindowsCreated;
        window = new FakeCallWindow(slot);
        window->destroyed = &callWindowsDestroyed;
        return window;
    }
    void SetHandsetEvents(bool on) override { handset.push_back(on); }

    bool HasTimer(unsigned id) const { return timers.count(id) != 0; }
    // Moves the clock by `ms` in steps of 1 ms at most to the next due timer, firing each
    // timer when it is due, as the window system would.
    void Run(CUserLogin& login, uint32_t ms, plat::FakeClock& clock);

    // On the real clock: fires due timers until `done` holds or `ms` pass; false on time-out.
    bool RunUntil(CUserLogin& login, const std::function<bool()>& done, uint32_t ms);

    struct Timer {
        unsigned period;
        uint32_t due;
    };

    std::string user = "1001";
    std::string password = "4321";
    WindowRect formRect{100, 100, 401, 301};
    bool formVisible = true;
    std::vector<bool> controlsEnabled;
    int foregrounds = 0;
    std::map<unsigned, Timer> timers;
    std::vector<unsigned> baseTimers;
    std::vector<unsigned> messages;
    std::vector<unsigned> messageFlags;
    std::vector<Owner> messageOwners;
    int exitAnswer = kIdYes;
    int endDialogs = 0;
    int callWindowsCreated = 0;
    int callWindowsDestroyed = 0;
    FakeCallWindow* window = nullptr; // the last one made
    std::vector<bool> handset;
};

// Collects trace messages as whole lines; threads (the update worker) may write too.
class TraceCapture : public iTraceFile {
public:
    TraceCapture();
    ~TraceCapture();
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }
    void WriteTime() override {}
    void NewLine() override {
        lines.push_back(current);
        current.clear();
    }
    void Write(const char* text) override { current += text; }
    bool Has(const std::string& text) const;

    std::vector<std::string> lines;
    std::string current;

private:
    mutable std::recursive_mutex lock_;
};
