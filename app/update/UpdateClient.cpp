#include "app/update/UpdateClient.h"

#include <sys/stat.h>
#include <unistd.h>

#include "app/phone/PhoneState.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "app/update/InstallerName.h"
#include "app/update/UpdateDownloader.h"
#include "platform/core/Paths.h"
#include "platform/desktop/Shell.h"
#include "platform/store/IniFile.h"
#include "platform/ui/GuiThread.h"

namespace {

constexpr int kOfferString = 11;         // "A new version ... download it now?"
constexpr int kRestartString = 12;       // "Download completed, you must restart ..."
constexpr int kNotStartedString = 122;   // "... downloaded to %s ... not started ..."
constexpr size_t kMaxInstallerName = 49; // as much of the names as is read
constexpr size_t kMaxDirectory = 259;

// The offer and the restart wait while a call or a log-in runs.
bool QuietState() {
    return g_PhoneState == PS_LOGGED_OUT || g_PhoneState == PS_IDLE ||
           g_PhoneState == PS_ENTERING_NUMBER;
}

} // namespace

UpdateClient::UpdateClient(UpdateHost& host, plat::PostTarget form, UpdateSettings settings)
    : host_(host), form_(std::move(form)), settings_(std::move(settings)) {}

UpdateClient::~UpdateClient() {
    *alive_ = false;
    Stop();
    Join();
}

void UpdateClient::StartWorker(plat::ThreadPriority priority) {
    worker_.Join(); // the previous worker has posted its last word; let it end
    if (!worker_.Create([this] { Run(); }, "update")) {
        AppTrace("UpdateWorker: !CreateThread");
        mode_.store(kModeNone);
        return;
    }
    if (priority != plat::ThreadPriority::Normal) {
        worker_.SetPriority(priority);
    }
    worker_.Resume();
}

void UpdateClient::StartUpdateThread(bool forced) {
    worker_.Join(); // before forced_ changes under a worker still finishing
    forced_ = forced;
    mode_.store(kModeCheck);
    StartWorker(plat::ThreadPriority::Normal);
}

void UpdateClient::Run() {
    if (settings_.baseUrl.empty()) {
        AppTrace("UpdateWorker: sin servidor de actualizaciones");
        mode_.store(kModeNone);
        return;
    }
    if (mode_.load() == kModeCheck) {
        CheckVersion();
    } else if (mode_.load() == kModeDownload) {
        DownloadInstaller();
    }
}

void UpdateClient::CheckVersion() {
    UpdateDownloader downloader(settings_.baseUrl, stop_, form_, settings_.caFile,
                                settings_.limits);
    std::string dir = settings_.versionFile.substr(0, settings_.versionFile.find_last_of('/'));
    UpdateDownloader::Result got = downloader.Download(dir, "", "version.txt", false);
    if (got.ok &&
        (forced_ || plat::IniFile(settings_.versionFile).GetInt("versionList", "KZN", 1) > 1)) {
        PostTimer(kTimerOffer, kOfferDelayMs); // the mode stays "check" until the offer
        return;
    }
    mode_.store(kModeNone);
}

void UpdateClient::DownloadInstaller() {
    plat::IniFile version(settings_.versionFile);
    std::string installer = version.GetString("KZN", "installer", "").substr(0, kMaxInstallerName);
    std::string directory = version.GetString("KZN", "directory", "").substr(0, kMaxDirectory);
    if (installer.empty() || !IsPlainFileName(installer)) {
        AppTrace(("UpdateWorker: instalador no aceptado: '" + installer + "'").c_str());
        mode_.store(kModeNone);
        return;
    }
    UpdateDownloader downloader(settings_.baseUrl, stop_, form_, settings_.caFile,
                                settings_.limits);
    UpdateDownloader::Result got =
        downloader.Download(settings_.downloadDir, directory, installer, true);
    if (!got.ok) {
        mode_.store(kModeNone);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        installerPath_ = got.path;
    }
    installerVerified_.store(got.verifiedTls);
    PostTimer(kTimerInstallerReady, kInstallerReadyDelayMs);
}

void UpdateClient::PostTimer(unsigned id, unsigned ms) {
    // The task runs on the GUI thread, where the client is destroyed, so the flag is exact.
    plat::PostToGuiThread([this, alive = alive_, id, ms] {
        if (*alive) {
            host_.SetTimer(id, ms);
        }
    });
}

bool UpdateClient::OnTimer(unsigned id) {
    if (id == kTimerOffer) {
        OnOfferTimer();
    } else if (id == kTimerInstallerReady) {
        OnInstallerReadyTimer();
    } else {
        return false;
    }
    return true;
}

void UpdateClient::OnOfferTimer() {
    if (!QuietState()) {
        return; // the timer keeps running: the offer waits
    }
    host_.KillTimer(kTimerOffer);
    plat::IniFile ini(settings_.settingsIni);
    int delay = ini.GetInt("general", "DelayDownload", 0);
    if (forced_ || delay == 0) {
        bool accepted = forced_;
        if (!accepted) {
            std::string text;
            LoadCString(kOfferString, text);
            accepted =
                host_.ShowMessageText(text, plat::kMbYesNo | plat::kMbIconQuestion) == plat::kIdYes;
        }
        if (accepted) {
            mode_.store(kModeDownload);
            StartWorker(plat::ThreadPriority::AboveNormal);
            return;
        }
        ini.WriteString("general", "DelayDownload", std::to_string(kDeclinedDelay).c_str());
    } else {
        ini.WriteString("general", "DelayDownload", std::to_string(delay - 1).c_str());
    }
    mode_.store(kModeNone); // nothing is under way any more
}

void UpdateClient::OnInstallerReadyTimer() {
    if (!QuietState()) {
        return;
    }
    plat::IniFile(settings_.settingsIni).WriteString("general", "DelayDownload", nullptr);
    host_.KillTimer(kTimerInstallerReady);
    std::string path = InstallerPath();
    if (!installerVerified_.load()) {
        // Not over verified HTTPS: keep the file, never run it, and say where it is.
        AppTrace(
            ("UpdateWorker: instalador sin conexion verificada, no se ejecuta: " + path).c_str());
        {
            std::lock_guard<std::mutex> guard(lock_);
            installerPath_.clear();
        }
        mode_.store(kModeNone);
        std::string format;
        LoadCString(kNotStartedString, format);
        size_t mark = format.find("%s");
        if (mark != std::string::npos) {
            format.replace(mark, 2, path);
        }
        host_.ShowMessageText(format, plat::kMbOk | plat::kMbIconExclamation);
        return;
    }
    std::string text;
    LoadCString(kRestartString, text);
    host_.ShowMessageText(text, plat::kMbOk);
    host_.EndProgramForUpdate();
}

bool UpdateClient::OnWindowMessage(const plat::WindowMessage& message) {
    switch (message.message) {
    case UpdateDownloader::WM_DOWNLOAD_START:
        progress_ = std::make_unique<DownloadProgress>();
        if (!progress_->Create()) {
            AppTrace("UpdateWorker: !DownloadProgress");
            progress_.reset();
        }
        return true;
    case UpdateDownloader::WM_DOWNLOAD_PROGRESS:
        if (progress_) { // a late message after the window went is ignored
            progress_->SetProgress(static_cast<int>(message.wParam));
        }
        return true;
    case UpdateDownloader::WM_DOWNLOAD_END:
        progress_.reset();
        return true;
    default:
        return false;
    }
}

void UpdateClient::StartInstallerIfReady() {
    std::string path = InstallerPath();
    struct stat info;
    if (path.empty() || !installerVerified_.load() || stat(path.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        return;
    }
    if (chmod(path.c_str(), 0700) != 0 || !plat::StartProgram(path, {settings_.programPath})) {
        AppTrace(("UpdateWorker: !StartProgram " + path).c_str());
    }
}

void UpdateClient::RemoveFinishedInstaller() {
    unlink(plat::JoinPath(settings_.downloadDir, "Installer.exe").c_str());
}

std::string UpdateClient::InstallerPath() const {
    std::lock_guard<std::mutex> guard(lock_);
    return installerPath_;
}
