#include "platform/desktop/HttpClient.h"

#include <curl/curl.h>
#include <mutex>

namespace plat {
namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    const HttpClient::BodySink* sink;
    bool refused = false; // the sink ended the transfer
    char error[CURL_ERROR_SIZE] = {};
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    if (!(*transfer->sink)(data, bytes)) {
        transfer->refused = true;
        return CURL_WRITEFUNC_ERROR;
    }
    return bytes;
}

// Handles and lists that are freed on every path.
struct EasyHandle {
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    ~EasyHandle() {
        curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
    void AddHeader(const std::string& header) {
        headers = curl_slist_append(headers, header.c_str());
    }
};

void CommonOptions(CURL* easy, const std::string& url, const std::string& caFile,
                   const HttpLimits& limits) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "127.0.0.0/8,localhost,::1");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Quorvex");
    if (!caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
    }
}

} // namespace

HttpResponse HttpClient::PostForm(const std::string& url, const std::string& body,
                                  const BodySink& sink) {
    GlobalInit();
    EasyHandle handle;
    if (handle.easy == nullptr) {
        return HttpResponse{0, false, false, false, "curl_easy_init"};
    }
    CommonOptions(handle.easy, url, caFile_, limits_);
    handle.AddHeader("Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(handle.easy, CURLOPT_HTTPHEADER, handle.headers);
    curl_easy_setopt(handle.easy, CURLOPT_POST, 1L);
    curl_easy_setopt(handle.easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(handle.easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
    return Perform(handle.easy, sink);
}

HttpResponse HttpClient::Get(const std::string& url, const std::string& accept,
                             const BodySink& sink) {
    GlobalInit();
    EasyHandle handle;
    if (handle.easy == nullptr) {
        return HttpResponse{0, false, false, false, "curl_easy_init"};
    }
    CommonOptions(handle.easy, url, caFile_, limits_);
    if (!accept.empty()) {
        handle.AddHeader("Accept: " + accept);
        curl_easy_setopt(handle.easy, CURLOPT_HTTPHEADER, handle.headers);
    }
    curl_easy_setopt(handle.easy, CURLOPT_HTTPGET, 1L);
    return Perform(handle.easy, sink);
}

HttpResponse HttpClient::Perform(void* easyHandle, const BodySink& sink) {
    CURL* easy = static_cast<CURL*>(easyHandle);
    Transfer transfer{&sink};
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.error);

    HttpResponse response;
    CURLM* multi = curl_multi_init();
    if (multi == nullptr || curl_multi_add_handle(multi, easy) != CURLM_OK) {
        curl_multi_cleanup(multi);
        response.error = "curl_multi_init";
        return response;
    }
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        if (stop_ != nullptr && stop_->load()) {
            response.stopped = true;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            response.error = "curl_multi_perform";
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (!done) {
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(kPollMs), nullptr);
        }
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    if (done) {
        if (result == CURLE_OK) {
            response.completed = true;
            char* scheme = nullptr;
            curl_easy_getinfo(easy, CURLINFO_SCHEME, &scheme);
            // Verification is never switched off, so a completed HTTPS transfer was verified.
            response.verifiedTls = scheme != nullptr && curl_strequal(scheme, "https");
        } else {
            response.error = transfer.refused    ? "refused by the receiver"
                             : transfer.error[0] ? transfer.error
                                                 : curl_easy_strerror(result);
        }
    } else if (response.stopped) {
        response.error = "stopped";
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr); // the buffer goes with this frame
    return response;
}

} // namespace plat
