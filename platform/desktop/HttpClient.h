#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace plat {

// What came of one request.
struct HttpResponse {
    long status = 0;          // the HTTP status; 0 when no answer arrived
    bool completed = false;   // the whole body arrived (whatever the status)
    bool stopped = false;     // ended by the stop flag
    bool verifiedTls = false; // it came over HTTPS with a verified certificate
    std::string error;        // why it did not complete (curl's own words where it has them)
};

// When a request is given up. A transfer that stays below the rate for the whole time is given
// up, so a server that trickles a body cannot hold a download open for hours.
struct HttpLimits {
    long connectTimeoutSeconds = 30;
    long lowSpeedBytesPerSecond = 1024;
    long lowSpeedSeconds = 60;
};

// HTTP/1.0 requests on libcurl: a form POST and a GET, each handing the body to a sink as it
// arrives. A request ends within about 100 ms of the stop flag being set. Loopback addresses
// never go through a proxy; other addresses use the proxy the environment configures.
// Redirects are not followed and only http and https are spoken; certificates are always
// verified.
//
// Threads: one request at a time per client, on the caller's thread (the update worker); the
// stop flag may be set from any thread. The sink runs on the caller's thread.
class HttpClient {
public:
    // Takes the body's bytes as they arrive; returning false ends the request (not completed).
    using BodySink = std::function<bool(const char* data, size_t bytes)>;

    static constexpr unsigned kPollMs = 100;

    // caFile: the certificates to trust instead of the system's (empty: the system's).
    explicit HttpClient(const std::atomic<bool>* stop = nullptr, std::string caFile = {},
                        HttpLimits limits = {})
        : stop_(stop), caFile_(std::move(caFile)), limits_(limits) {}

    // POSTs `body` with "Content-Type: application/x-www-form-urlencoded".
    HttpResponse PostForm(const std::string& url, const std::string& body, const BodySink& sink);
    // GETs `url` with the given Accept type (empty: none).
    HttpResponse Get(const std::string& url, const std::string& accept, const BodySink& sink);

private:
    HttpResponse Perform(void* easy, const BodySink& sink);

    const std::atomic<bool>* stop_;
    std::string caFile_;
    HttpLimits limits_;
};

} // namespace plat
