#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "app/update/DownloadProgress.h"
#include "app/update/UpdateHost.h"
#include "app/update/UpdateSettings.h"
#include "platform/core/Thread.h"
#include "platform/ui/MessagePort.h"

// The web update client the login form owns: at start (or on demand from the settings dialog)
// a worker asks the update server for version.txt; a newer release is offered on timer 1002;
// an accepted offer downloads the installer with a progress window; timer 1003 then ends the
// program so the installer can run as it goes away. An installer that did not come over
// verified HTTPS is downloaded but never started: the user is told where it is.
//
// Threads: every operation runs on the GUI thread; the worker thread runs the network work
// and talks to the form only by posting (WM_DOWNLOAD_* to the form's port, timers through the
// GUI dispatcher). mode_, stop_ and installerVerified_ are atomics; installerPath_ is guarded
// by lock_. The worker is joined before a new one starts and before the client goes.
class UpdateClient {
public:
    static constexpr unsigned kTimerOffer = 1002;
    static constexpr unsigned kTimerInstallerReady = 1003;
    static constexpr unsigned kOfferDelayMs = 3000;
    static constexpr unsigned kInstallerReadyDelayMs = 1000;
    static constexpr int kModeNone = 0;
    static constexpr int kModeCheck = 1;
    static constexpr int kModeDownload = 2;
    // The delay written when the user declines, in start-ups.
    static constexpr int kDeclinedDelay = 3;

    UpdateClient(UpdateHost& host, plat::PostTarget form, UpdateSettings settings);
    ~UpdateClient();
    UpdateClient(const UpdateClient&) = delete;
    UpdateClient& operator=(const UpdateClient&) = delete;

    // Starts the version check (forced: offer even when the server has nothing newer).
    void StartUpdateThread(bool forced);
    // True while a check or a download is under way or waits for its offer.
    bool IsUpdateRunning() const { return mode_.load() > kModeNone; }
    int Mode() const { return mode_.load(); }
    // Ends every wait and transfer soon (the form's WM_DESTROY); Join waits for the worker.
    void Stop() { stop_.store(true); }
    void Join() { worker_.Join(); }

    // The form's timers 1002 and 1003, and its messages WM_DOWNLOAD_*; false for others.
    bool OnTimer(unsigned id);
    bool OnWindowMessage(const plat::WindowMessage& message);
    // The form's destruction: a downloaded, verified installer is started with this program's
    // path as its argument.
    void StartInstallerIfReady();
    // The form's construction: removes what a finished update left.
    void RemoveFinishedInstaller();

    std::string InstallerPath() const;
    DownloadProgress* Progress() const { return progress_.get(); }

private:
    void Run();
    void CheckVersion();
    void DownloadInstaller();
    // Asks the GUI thread to start one of the form's timers, unless the client is gone.
    void PostTimer(unsigned id, unsigned ms);
    void StartWorker(plat::ThreadPriority priority);
    void OnOfferTimer();
    void OnInstallerReadyTimer();

    UpdateHost& host_;
    plat::PostTarget form_;
    const UpdateSettings settings_;
    std::atomic<int> mode_{kModeNone};
    std::atomic<bool> stop_{false};
    bool forced_ = false; // written before the worker starts, read by it
    std::atomic<bool> installerVerified_{false};
    mutable std::mutex lock_;                                    // guards installerPath_
    std::string installerPath_;                                  // empty until a download succeeded
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // GUI thread only
    std::unique_ptr<DownloadProgress> progress_;                 // GUI thread only
    plat::Thread worker_;
};
