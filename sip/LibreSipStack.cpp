#include "sip/LibreSipStack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "sip/LibreApi.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"

namespace sipua {
namespace {

// libre's global state (its main loop, socket layer) is set up by the first stack and torn
// down by the last.
std::mutex g_libreLock;
int g_libreUsers = 0;

void AcquireLibre() {
    std::lock_guard<std::mutex> lock(g_libreLock);
    if (g_libreUsers++ == 0) {
        int err = libre_init();
        if (err) {
            --g_libreUsers;
            throw SipException(std::string("libre_init fallo: ") + std::strerror(err));
        }
    }
}

void ReleaseLibre() {
    std::lock_guard<std::mutex> lock(g_libreLock);
    if (--g_libreUsers == 0) {
        libre_close();
    }
}

void CancelMainLoop(void*) {
    re_cancel();
}

// libre wants the route as a parsed URI over text that lives through the call.
struct Route {
    std::string text;
    struct uri uri;
    bool set = false;
    explicit Route(const std::optional<Uri>& route) {
        if (!route) {
            return;
        }
        text = route->toString();
        struct pl p = ToPl(text);
        if (uri_decode(&uri, &p) != 0) {
            throw SipException("URI de proxy no valido: " + text);
        }
        set = true;
    }
    const struct uri* get() const { return set ? &uri : nullptr; }
};

class LibreDigestSession final : public DigestSession {
public:
    explicit LibreDigestSession(CredentialLookup lookup) : lookup_(std::move(lookup)) {
        int err = sip_auth_alloc(&auth_, &LibreDigestSession::Credentials, this, false);
        if (err) {
            throw SipException("sip_auth_alloc fallo");
        }
    }
    ~LibreDigestSession() override { mem_deref(auth_); }

    bool authenticate(const SipMessage& challenge) override {
        if (challenge.raw().empty()) {
            return false;
        }
        struct mbuf* mb = mbuf_alloc(challenge.raw().size());
        if (!mb) {
            return false;
        }
        mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(challenge.raw().data()),
                       challenge.raw().size());
        mb->pos = 0;
        struct sip_msg* msg = nullptr;
        int err = sip_msg_decode(&msg, mb);
        mem_deref(mb);
        if (err) {
            return false;
        }
        err = sip_auth_authenticate(auth_, msg);
        mem_deref(msg);
        return err == 0;
    }

    struct sip_auth* get() const {
        return auth_;
    }

private:
    static int Credentials(char** user, char** password, const char* realm, void* arg) {
        auto* self = static_cast<LibreDigestSession*>(arg);
        std::string u;
        std::string p;
        if (!self->lookup_ || !self->lookup_(realm ? realm : "", &u, &p)) {
            return EAUTH;
        }
        // The user name is written into the Authorization header as a quoted string: one
        // that would end the string or the line cannot be sent.
        if (u.find_first_of("\r\n\"\\") != std::string::npos) {
            Trace("LibreSipStack: nombre de usuario no valido para la autenticacion");
            return EAUTH;
        }
        int err = str_dup(user, u.c_str());
        err |= str_dup(password, p.c_str());
        return err;
    }

    CredentialLookup lookup_;
    struct sip_auth* auth_ = nullptr;
};

} // namespace

std::unique_ptr<SipStack> MakeLibreSipStack() {
    return std::make_unique<LibreSipStack>();
}

LibreSipStack::LibreSipStack() {
    AcquireLibre();
    struct sa nameservers[4];
    uint32_t count = 4;
    if (dns_srv_get(nullptr, 0, nameservers, &count) == 0 && count > 0) {
        if (dnsc_alloc(&dnsc_, nullptr, nameservers, count) != 0) {
            dnsc_ = nullptr;
        }
    }
    int err = sip_alloc(&sip_, dnsc_, 32, 32, 32, nullptr, nullptr, nullptr);
    if (err) {
        mem_deref(dnsc_);
        ReleaseLibre();
        throw SipException(std::string("sip_alloc fallo: ") + std::strerror(err));
    }
}

LibreSipStack::~LibreSipStack() {
    // No handler may run from here on.
    for (auto& [id, pending] : pending_) {
        pending->handler = nullptr;
        if (pending->request) {
            struct sip_request* request = pending->request;
            pending->request = nullptr;
            mem_deref(request);
        }
    }
    sip_close(sip_, true);
    mem_deref(sip_);
    mem_deref(dnsc_);
    pending_.clear();
    ReleaseLibre();
}

void LibreSipStack::addTransport(TransportType, int port, IpVersion,
                                 const std::string& bindAddress) {
    if (haveTransport_) {
        throw SipException("el transporte UDP ya existe");
    }
    struct sa laddr;
    std::string address = bindAddress.empty() ? std::string("0.0.0.0") : bindAddress;
    if (sa_set_str(&laddr, address.c_str(), static_cast<uint16_t>(port)) != 0 ||
        sa_af(&laddr) != AF_INET) {
        throw SipException("direccion local no valida: " + address);
    }
    if (sa_is_any(&laddr)) {
        // libre needs a concrete address for its Via; take the default route's source.
        struct sa source;
        if (net_default_source_addr_get(AF_INET, &source) == 0 && !sa_is_any(&source)) {
            laddr = source;
        } else {
            sa_set_str(&laddr, "127.0.0.1", 0);
        }
        sa_set_port(&laddr, static_cast<uint16_t>(port));
        char chosen[64];
        re_snprintf(chosen, sizeof(chosen), "%j", &laddr);
        Trace((std::string("LibreSipStack: direccion local 0.0.0.0, se usa ") + chosen).c_str());
    }
    int err = sip_transp_add(sip_, SIP_TRANSP_UDP, &laddr);
    if (err) {
        char text[64];
        re_snprintf(text, sizeof(text), "%j:%u", &laddr, sa_port(&laddr));
        throw SipException(std::string("no se pudo abrir UDP ") + text + ": " + std::strerror(err));
    }
    char host[64];
    sa_ntop(&laddr, host, sizeof(host));
    localHost_ = host;
    localPort_ = sa_port(&laddr);
    haveTransport_ = true;
}

bool LibreSipStack::localAddress(std::string* host, int* port) const {
    if (!haveTransport_) {
        return false;
    }
    *host = localHost_;
    *port = localPort_;
    return true;
}

void LibreSipStack::process(unsigned maxWaitMs) {
    if (inProcess_) {
        return; // libre's loop cannot run inside itself
    }
    inProcess_ = true;
    delivered_ = false;
    std::vector<RequestId> failed;
    failed.swap(failed_);
    for (RequestId id : failed) {
        auto it = pending_.find(id);
        if (it != pending_.end()) {
            Deliver(it->second.get(), SipMessage::makeLocalResponse(503, "Service Unavailable"),
                    true);
        }
    }
    if (delivered_) {
        inProcess_ = false;
        return;
    }
    struct tmr stop;
    tmr_init(&stop);
    tmr_start(&stop, maxWaitMs, CancelMainLoop, nullptr);
    int err = re_main(nullptr);
    tmr_cancel(&stop);
    inProcess_ = false;
    if (err && err != EINTR) {
        Trace("LibreSipStack::process: re_main fallo");
    }
}

std::unique_ptr<DigestSession> LibreSipStack::makeDigestSession(CredentialLookup lookup) {
    return std::make_unique<LibreDigestSession>(std::move(lookup));
}

void LibreSipStack::OnResponse(int err, const struct sip_msg* msg, void* arg) {
    auto* pending = static_cast<Pending*>(arg);
    LibreSipStack* self = pending->stack;
    bool final = err || !msg || msg->scode >= 200;
    if (err || !msg) {
        if (err == ETIMEDOUT) {
            self->Deliver(pending, SipMessage::makeLocalResponse(408, "Request Timeout"), final);
        } else {
            self->Deliver(pending, SipMessage::makeLocalResponse(503, "Service Unavailable"),
                          final);
        }
        return;
    }
    std::string raw;
    if (msg->mb) {
        raw.assign(reinterpret_cast<const char*>(msg->mb->buf), msg->mb->end);
    }
    try {
        self->Deliver(pending, SipMessage::parse(raw), final);
    } catch (const SipException&) {
        if (final) {
            self->Deliver(pending, SipMessage::makeLocalResponse(503, "Service Unavailable"), true);
        }
    }
}

void LibreSipStack::Deliver(Pending* pending, const SipMessage& response, bool final) {
    RequestId id = pending->id;
    ResponseHandler handler = pending->handler;
    if (final) {
        pending_.erase(id); // libre frees the request itself after a final answer
    }
    if (handler) {
        delivered_ = true;
        handler(response);
        re_cancel(); // end this step early: there is work for the manager
    }
}

SipStack::RequestId LibreSipStack::sendRequest(const OutgoingRequest& request, DigestSession* auth,
                                               ResponseHandler handler) {
    Route route(request.route);
    auto pending = std::make_unique<Pending>();
    pending->stack = this;
    pending->id = ++lastId_;
    pending->handler = std::move(handler);
    Pending* raw = pending.get();
    pending_[raw->id] = std::move(pending);
    struct sip_auth* sipAuth = auth ? static_cast<LibreDigestSession*>(auth)->get() : nullptr;
    int err = sip_requestf(&raw->request, sip_, true, request.method.c_str(),
                           request.requestUri.c_str(), route.get(), sipAuth, nullptr,
                           &LibreSipStack::OnResponse, raw, "%s", request.headers.c_str());
    if (err) {
        // Not sent: answer it as a transport failure at the next step, as a timeout would be.
        raw->request = nullptr;
        char text[160];
        std::snprintf(text, sizeof(text), "LibreSipStack: %s no enviado: %s",
                      request.method.c_str(), std::strerror(err));
        Trace(text);
        failed_.push_back(raw->id);
    }
    return raw->id;
}

void LibreSipStack::sendStateless(const OutgoingRequest& request) {
    Route route(request.route);
    int err = sip_requestf(nullptr, sip_, false, request.method.c_str(), request.requestUri.c_str(),
                           route.get(), nullptr, nullptr, nullptr, nullptr, "%s",
                           request.headers.c_str());
    if (err) {
        throw SipException(request.method + " no enviado: " + std::strerror(err));
    }
}

void LibreSipStack::cancelRequest(RequestId id) {
    auto it = pending_.find(id);
    if (it == pending_.end()) {
        return;
    }
    std::unique_ptr<Pending> pending = std::move(it->second);
    pending_.erase(it);
    pending->handler = nullptr;
    if (pending->request) {
        // libre keeps a request dereferenced before its end running quietly, without handler.
        mem_deref(pending->request);
    }
}

} // namespace sipua
