#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/call/CallHandset.h"
#include "app/call/CallSounds.h"
#include "app/call/CallView.h"
#include "app/call/HistoryRecorder.h"
#include "app/call/RtpPortReservation.h"
#include "app/phone/LoginLink.h"
#include "media/api/RTPInterface.h"
#include "platform/core/AutoResetEvent.h"

// Fakes of everything the call logic drives, recording what it was asked to do.

class FakeCallView : public CallView {
public:
    FakeCallView();
    void UpdateStatus() override { ++statusUpdates; }
    void SetNumberDisplay(const std::string& text) override { number = text; }
    void SetStatusCaption(const std::string& text) override { caption = text; }
    void SetQualityLights(bool a, bool b, bool c, bool d) override { lights = {a, b, c, d}; }
    void FlashButton(unsigned id) override { flashed.push_back(id); }
    void SetTimer(unsigned id, unsigned periodMs) override { timers[id] = periodMs; }
    void KillTimer(unsigned id) override { timers.erase(id); }
    // The period of a running timer, 0 when it does not run.
    unsigned Period(unsigned id) const {
        auto it = timers.find(id);
        return it == timers.end() ? 0 : it->second;
    }
    void RaiseWindow() override { ++raised; }
    void HideWindow() override { ++hidden; }
    plat::PostTarget MessageTarget() const override { return plat::PostTarget(port); }
    void OnBaseKeyDown(unsigned) override { ++baseKeys; }
    void ResetBalance() override { ++balanceResets; }
    void RestartProgram() override { ++restarts; }

    int statusUpdates = 0;
    std::string number;
    std::string caption;
    std::vector<bool> lights{false, false, false, false};
    std::vector<unsigned> flashed;
    std::map<unsigned, unsigned> timers; // running timers: id to period in ms
    int raised = 0;
    int hidden = 0;
    int baseKeys = 0;
    int balanceResets = 0;
    int restarts = 0;
    std::atomic<int> mediaLevels{0};
    // Called for each WM_MEDIA_LEVEL delivered (on the GUI thread), as the window would.
    std::function<void()> onMediaLevel;
    std::shared_ptr<plat::MessagePort> port;
};

// Each player's current sound ("" when stopped) and everything played, as "loop:name" or
// "once:name" (the file name only), and the paths played in full.
class FakeCallSounds : public CallSounds {
public:
    void PlaySound2(const char* path, bool loop) override { Record(own, path, loop); }
    void PlaySystemSound(const char* path, bool loop) override { Record(system, path, loop); }
    std::string own;
    std::string system;
    std::vector<std::string> played;
    std::vector<std::string> paths;

private:
    void Record(std::string& player, const char* path, bool loop);
};

class FakeCallHandset : public CallHandset {
public:
    void Ring() override { ringing = true; }
    void StopRing() override { ringing = false; }
    void ClearDisplay() override { ++clears; }
    bool ringing = false;
    int clears = 0;
};

// Sockets for the call's RTP ports without a network: binding any port in `taken` fails as a
// port in use; `bound` holds the ports bound now.
struct FakeRtpPorts {
    std::set<uint16_t> taken;
    std::shared_ptr<std::multiset<uint16_t>> bound = std::make_shared<std::multiset<uint16_t>>();
    RtpPortReservation::SocketFactory Factory();
};

// The user parts written to each list.
class FakeHistoryRecorder : public HistoryRecorder {
public:
    void AddDialed(const sipua::NameAddr& p) override { dialed.push_back(p.uri().user()); }
    void AddReceived(const sipua::NameAddr& p) override { received.push_back(p.uri().user()); }
    void AddMissed(const sipua::NameAddr& p) override { missed.push_back(p.uri().user()); }
    std::vector<std::string> dialed;
    std::vector<std::string> received;
    std::vector<std::string> missed;
};

class FakeLoginLink : public LoginLink {
public:
    sipua::DialogUsageManager* GetDum() const override { return dum; }
    const std::string& GetSipServerAddress() const override { return server; }
    std::string GetUserName() const override { return user; }
    const std::string& GetPublicHost() const override { return host; }
    void Logout() override { ++logouts; }
    void OnCancel() override {}
    sipua::DialogUsageManager* dum = nullptr;
    std::string server = "10.0.0.1";
    std::string user = "1001";
    std::string host = "192.0.2.10";
    int logouts = 0;
};

// A media object that records its calls as "Name(arg,arg)" into a log shared by every object
// the factory made; results by operation name (0 when not set).
struct FakeMediaLog {
    std::vector<std::string> calls;
    std::map<std::string, int> results;
    float quality = 1.0f;
    int live = 0;
    plat::AutoResetEvent* event = nullptr; // the last SetAddresses event
};

class FakeMedia final : public RTPInterface {
public:
    explicit FakeMedia(FakeMediaLog& log) : log_(log) { ++log_.live; }
    ~FakeMedia() { --log_.live; }
    void Release() override;
    int SetReceiveCodec(int codec, int frameMs, int, int) override;
    int SetTransmitCodec(int codec, int frameMs, int, int, uint16_t, int) override;
    int SetAddresses(const char* ip, int port, int localPort, plat::AutoResetEvent* e) override;
    int PlayFile(const char* path, int once, int volume, int* playId) override;
    bool StopFile(int) override { return true; }
    int StartTX(int device) override;
    int StopTX() override { return 0; }
    int StartRX(int device, int jitterMs) override;
    int StopRX() override { return 0; }
    int SetSpeakerVolume(int device, int volume) override;
    int SetMicrophoneVolume(int device, int level) override;
    bool TestSpeaker() override { return true; }
    bool TestMicrophone() override { return true; }
    float GetReceiveQuality() override { return log_.quality; }

private:
    int Note(const std::string& name, const std::string& args);
    FakeMediaLog& log_;
};
