#include "sip/LibreSipStack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/core/Clock.h"
#include "sip/DatagramFilter.h"
#include "sip/DiagnosticRateLimit.h"
#include "sip/LibreApi.h"
#include "sip/LibreRef.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"

namespace sipua {
namespace {

// libre's global state (its main loop, socket layer) is set up by the first stack and torn
// down by the last.
std::mutex g_libreLock;
int g_libreUsers = 0;

// libre's own diagnostics (warnings and worse) go to the adapter's trace, at most 20 lines a
// second: a peer that sends junk cannot fill the trace log or a terminal.
std::mutex g_diagnosticLock;
DiagnosticRateLimit g_diagnosticLimit(20, 1000);

// Writes one line of libre's or of the datagram filter's through the shared bound.
void TraceBounded(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_diagnosticLock);
    DiagnosticRateLimit::Verdict verdict = g_diagnosticLimit.offer(plat::TimeMs());
    if (verdict.droppedBefore > 0) {
        Trace(("libre: " + std::to_string(verdict.droppedBefore) + " mensajes omitidos").c_str());
    }
    if (verdict.pass) {
        Trace(line.c_str());
    }
}

void OnLibreDiagnostic(int, const char* text, size_t length, void*) {
    std::string line(text ? text : "", text ? length : 0);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = '?'; // the text may quote a peer's bytes
        }
    }
    TraceBounded("libre: " + line);
}

// Datagrams at the SIP port that are not SIP are dropped here, before libre's decoder (which
// writes a line to standard error for each one it cannot read).
bool FilterDatagram(struct sa* source, struct mbuf* mb, void*) {
    std::string_view datagram(reinterpret_cast<const char*>(mbuf_buf(mb)), mbuf_get_left(mb));
    if (LooksLikeSipMessage(datagram)) {
        return false;
    }
    char from[64];
    re_snprintf(from, sizeof(from), "%J", source);
    TraceBounded(std::string("libre: datagrama no SIP descartado de ") + from);
    return true;
}

void AcquireLibre() {
    std::lock_guard<std::mutex> lock(g_libreLock);
    if (g_libreUsers++ == 0) {
        int err = libre_init();
        if (err) {
            --g_libreUsers;
            throw SipException(std::string("libre_init fallo: ") + std::strerror(err));
        }
        dbg_init(DBG_WARNING, DBG_NONE);
        dbg_handler_set(OnLibreDiagnostic, nullptr);
    }
}

void ReleaseLibre() {
    std::lock_guard<std::mutex> lock(g_libreLock);
    if (--g_libreUsers == 0) {
        dbg_handler_set(nullptr, nullptr);
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
        struct sip_auth* auth = nullptr;
        int err = sip_auth_alloc(&auth, &LibreDigestSession::Credentials, this, false);
        auth_.reset(auth);
        if (err) {
            throw SipException("sip_auth_alloc fallo");
        }
    }

    bool authenticate(const SipMessage& challenge) override {
        // Only challenges from the wire carry libre's decoded form; a local response is
        // never a challenge.
        if (!challenge.decoded()) {
            return false;
        }
        return sip_auth_authenticate(auth_.get(), challenge.decoded()) == 0;
    }

    struct sip_auth* get() const {
        return auth_.get();
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
    LibreRef<struct sip_auth> auth_;
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
        struct dnsc* dnsc = nullptr;
        if (dnsc_alloc(&dnsc, nullptr, nameservers, count) == 0) {
            dnsc_.reset(dnsc);
        }
    }
    struct sip* sip = nullptr;
    int err = sip_alloc(&sip, dnsc_.get(), 32, 32, 32, nullptr, nullptr, nullptr);
    sip_.reset(sip);
    if (err) {
        sip_.reset();
        dnsc_.reset();
        ReleaseLibre();
        throw SipException(std::string("sip_alloc fallo: ") + std::strerror(err));
    }
}

LibreSipStack::~LibreSipStack() {
    // No handler may run from here on.
    for (auto& [id, pending] : pending_) {
        pending->handler = nullptr;
        DropRequest(pending.get());
    }
    datagramFilter_.reset();
    sip_close(sip_.get(), true);
    sip_.reset();
    dnsc_.reset();
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
    int err = sip_transp_add(sip_.get(), SIP_TRANSP_UDP, &laddr);
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

void LibreSipStack::WatchTransport(const struct sip_msg* msg) {
    // libre does not hand out its transport socket, but every message names the socket it
    // came in on: the filter goes onto it with the first one.
    if (datagramFilter_ || !msg || msg->tp != SIP_TRANSP_UDP || !msg->sock) {
        return;
    }
    struct udp_helper* helper = nullptr;
    if (udp_register_helper(&helper, static_cast<struct udp_sock*>(msg->sock), 0, nullptr,
                            FilterDatagram, nullptr) == 0) {
        datagramFilter_.reset(helper);
    }
}

void LibreSipStack::OnResponse(int err, const struct sip_msg* msg, void* arg) {
    auto* pending = static_cast<Pending*>(arg);
    LibreSipStack* self = pending->stack;
    self->WatchTransport(err ? nullptr : msg);
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
    try {
        self->Deliver(pending, SipMessage::fromDecoded(msg), final);
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
    int err = sip_requestf(&raw->request, sip_.get(), true, request.method.c_str(),
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
    int err = sip_requestf(nullptr, sip_.get(), false, request.method.c_str(),
                           request.requestUri.c_str(), route.get(), nullptr, nullptr, nullptr,
                           nullptr, "%s", request.headers.c_str());
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
    DropRequest(pending.get());
}

void LibreSipStack::DropRequest(Pending* pending) {
    // libre writes the request pointer itself (it clears it when the request ends), so it
    // cannot sit in an owning handle; this is its one release. A request released before
    // its end keeps running quietly, without handler.
    if (struct sip_request* request = pending->request) {
        pending->request = nullptr;
        mem_deref(request);
    }
}

} // namespace sipua
