#include "app/update/UpdateDownloader.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "app/trace/TraceFile.h"
#include "app/update/InstallerName.h"
#include "app/update/pInternetParser.h"
#include "platform/core/Paths.h"

namespace {

// Percent-escapes what may not stand in a URL path as it is.
std::string UrlPath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '/' || c == '.' || c == '_' || c == '-' || c == '~';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

bool WriteAll(int fd, const char* data, size_t bytes) {
    while (bytes > 0) {
        ssize_t n = write(fd, data, bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

UpdateDownloader::UpdateDownloader(std::string baseUrl, const std::atomic<bool>& stop,
                                   plat::PostTarget form, std::string caFile,
                                   plat::HttpLimits limits)
    : baseUrl_(std::move(baseUrl)), stop_(stop), form_(std::move(form)),
      http_(&stop, std::move(caFile), limits) {}

std::string UpdateDownloader::ServerPath(const std::string& serverDir,
                                         const std::string& fileName) {
    if (serverDir.empty()) {
        return fileName;
    }
    return serverDir.back() == '/' ? serverDir + fileName : serverDir + "/" + fileName;
}

uint64_t UpdateDownloader::AnnouncedSize(const std::string& reply) {
    pInternetParser parser;
    if (!parser.Parse(reply)) {
        return 0;
    }
    const std::string* status = parser.FindParam("status");
    const std::string* size = parser.FindParam("size");
    if (status == nullptr || *status != "success" || size == nullptr || size->empty() ||
        size->size() > 12) {
        return 0;
    }
    uint64_t value = 0;
    for (char c : *size) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= kMaxFileBytes ? value : 0;
}

UpdateDownloader::Result UpdateDownloader::Download(const std::string& localDir,
                                                    const std::string& serverDir,
                                                    const std::string& fileName,
                                                    bool showProgress) {
    Result result;
    if (!IsPlainFileName(fileName)) {
        AppTrace(("UpdateWorker: nombre de archivo rechazado: " + fileName).c_str());
        return result;
    }
    std::string serverPath = ServerPath(serverDir, fileName);

    // The size, from the form exchange; the reply is read whole.
    pInternetParser form;
    form.AddParam("action", "size");
    form.AddParam("filepath", serverPath);
    std::string reply;
    plat::HttpResponse asked =
        http_.PostForm(baseUrl_ + "dl.php", form.Encode(), [&](const char* data, size_t bytes) {
            if (reply.size() + bytes > kMaxReplyBytes) {
                return false;
            }
            reply.append(data, bytes);
            return true;
        });
    if (!asked.completed || asked.status != 200) {
        AppTrace(("UpdateWorker: !dl.php " + serverPath + ": " + asked.error + ", status=").c_str(),
                 asked.status);
        return result;
    }
    uint64_t size = AnnouncedSize(reply);
    if (size == 0 || stop_.load()) {
        AppTrace(("UpdateWorker: respuesta de dl.php no aceptada para " + serverPath).c_str());
        return result;
    }

    if (!plat::MakeDirs(localDir)) {
        AppTrace(("UpdateWorker: !mkdir " + localDir).c_str());
        return result;
    }
    std::string finalPath = plat::JoinPath(localDir, fileName);
    std::string partPath = finalPath + ".part";
    int fd = open(partPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        AppTrace(("UpdateWorker: !open " + partPath + ", errno=").c_str(), errno);
        return result;
    }
    if (showProgress) {
        form_.PostMessage(WM_DOWNLOAD_START);
    }
    uint64_t total = 0;
    uintptr_t shown = 0;
    bool writeFailed = false;
    plat::HttpResponse fetched =
        http_.Get(baseUrl_ + UrlPath(serverPath), "application/octet-stream",
                  [&](const char* data, size_t bytes) {
                      if (total + bytes > size) {
                          return false; // longer than announced
                      }
                      if (!WriteAll(fd, data, bytes)) {
                          writeFailed = true;
                          return false;
                      }
                      total += bytes;
                      auto perMille = static_cast<uintptr_t>(total * 1000 / size);
                      if (showProgress && perMille != shown) {
                          shown = perMille;
                          form_.PostMessage(WM_DOWNLOAD_PROGRESS, perMille);
                      }
                      return true;
                  });
    bool synced = fsync(fd) == 0;
    close(fd);
    if (showProgress) {
        form_.PostMessage(WM_DOWNLOAD_END);
    }
    bool whole = fetched.completed && fetched.status == 200 && total == size && !writeFailed &&
                 synced && !stop_.load();
    if (!whole || rename(partPath.c_str(), finalPath.c_str()) != 0) {
        unlink(partPath.c_str());
        AppTrace(
            ("UpdateWorker: descarga fallida de " + serverPath + " (" + fetched.error + "), bytes=")
                .c_str(),
            static_cast<int64_t>(total));
        return result;
    }
    result.ok = true;
    result.verifiedTls = asked.verifiedTls && fetched.verifiedTls;
    result.path = finalPath;
    return result;
}
