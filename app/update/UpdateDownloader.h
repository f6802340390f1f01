#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/desktop/HttpClient.h"
#include "platform/ui/MessagePort.h"

// One file from the update server: its size is asked with the "dl.php" form exchange
// (action=size, filepath=<directory/name>), then the file is fetched and written to the local
// folder through a temporary file, which replaces the old one only when the body ended exactly
// at the announced size with status 200. With progress, the form is posted WM_DOWNLOAD_START,
// WM_DOWNLOAD_PROGRESS (per mille) and WM_DOWNLOAD_END.
//
// Threads: Download runs on the update worker; the stop flag is set by the GUI thread.
class UpdateDownloader {
public:
    static constexpr uint32_t WM_DOWNLOAD_START = 0x8000;
    static constexpr uint32_t WM_DOWNLOAD_PROGRESS = 0x8001;
    static constexpr uint32_t WM_DOWNLOAD_END = 0x8002;
    // The most the size reply may hold, and the largest file accepted.
    static constexpr size_t kMaxReplyBytes = 2048;
    static constexpr uint64_t kMaxFileBytes = 1ull << 30;

    struct Result {
        bool ok = false;
        bool verifiedTls = false; // both requests went over verified HTTPS
        std::string path;         // the local file
    };

    // baseUrl: the server's address ending in '/', under which "dl.php" and the files lie.
    // caFile: certificates to trust instead of the system's (empty: the system's).
    UpdateDownloader(std::string baseUrl, const std::atomic<bool>& stop, plat::PostTarget form,
                     std::string caFile = {}, plat::HttpLimits limits = {});

    Result Download(const std::string& localDir, const std::string& serverDir,
                    const std::string& fileName, bool showProgress);

    // "<directory>/<name>", or the name alone for an empty directory.
    static std::string ServerPath(const std::string& serverDir, const std::string& fileName);
    // The size the reply announces: the decimal "size" of a "success" reply within the
    // limits; 0 when the reply cannot be used.
    static uint64_t AnnouncedSize(const std::string& reply);

private:
    std::string baseUrl_;
    const std::atomic<bool>& stop_;
    plat::PostTarget form_;
    plat::HttpClient http_;
};
