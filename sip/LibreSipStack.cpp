#include "sip/LibreSipStack.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
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

// True when libre's decoder reads the datagram; the buffer is left as it was.
bool Decodes(struct mbuf* mb) {
    size_t pos = mb->pos;
    struct sip_msg* msg = nullptr;
    int err = sip_msg_decode(&msg, mb);
    mem_deref(msg);
    mb->pos = pos;
    return err == 0;
}

// Datagrams at the SIP port that are not SIP, or that libre's decoder cannot read, are dropped
// here with a bounded trace line: libre's transport writes a line to standard error for each
// one its decoder refuses, whatever the diagnostic level.
bool FilterDatagram(struct sa* source, struct mbuf* mb, void*) {
    std::string_view datagram(reinterpret_cast<const char*>(mbuf_buf(mb)), mbuf_get_left(mb));
    const char* why = nullptr;
    if (!LooksLikeSipMessage(datagram)) {
        why = "libre: datagrama no SIP descartado de ";
    } else if (datagram.find_first_not_of("\r\n") != std::string_view::npos && !Decodes(mb)) {
        why = "libre: mensaje SIP ilegible descartado de ";
    } else {
        return false; // SIP, or a keep-alive
    }
    char from[64];
    re_snprintf(from, sizeof(from), "%J", source);
    TraceBounded(why + std::string(from));
    return true;
}

// The header without which a request outside a dialog cannot be answered within a dialog
// (`needContact`: an INVITE) or at all, or null. A From without tag, or a Contact that is no
// address, counts as missing: no dialog can be built on it.
const char* MissingHeader(const struct sip_msg* msg, bool needContact) {
    if (!sip_msg_hdr(msg, SIP_HDR_VIA)) {
        return "Via";
    }
    if (!pl_isset(&msg->callid)) {
        return "Call-ID";
    }
    if (!sip_msg_hdr(msg, SIP_HDR_FROM) || !pl_isset(&msg->from.tag)) {
        return "From";
    }
    if (!sip_msg_hdr(msg, SIP_HDR_TO)) {
        return "To";
    }
    if (!sip_msg_hdr(msg, SIP_HDR_CSEQ)) {
        return "CSeq";
    }
    if (needContact) {
        const struct sip_hdr* contact = sip_msg_hdr(msg, SIP_HDR_CONTACT);
        struct sip_addr address;
        if (!contact || sip_addr_decode(&address, &contact->val) != 0) {
            return "Contact";
        }
    }
    return nullptr;
}

// Answers 400 to a request that lacks `missing`, naming it in the reason phrase; without a Via
// no answer can be routed and the request is only dropped. Traced either way (bounded).
void RefuseIncomplete(struct sip* sip, const struct sip_msg* msg, const char* missing) {
    char from[64];
    re_snprintf(from, sizeof(from), "%J", &msg->src);
    std::string method = ToString(msg->met);
    if (std::string_view(missing) == "Via") {
        TraceBounded("LibreSipStack: " + method + " sin Via descartado de " + from);
        return;
    }
    TraceBounded("LibreSipStack: " + method + " sin " + missing + " rechazado (400) de " + from);
    std::string reason = std::string("Missing ") + missing + " Header Field";
    (void)sip_reply(sip, msg, 400, reason.c_str());
}

// Whether `c` may stand in a token (an option tag is one).
bool IsTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-.!%*_+`'~").find(c) != std::string_view::npos;
}

// Adds the option tags of one Require header to the list (a comma-separated list of tokens).
// Tags that are no tokens count as unknown but are left out, so no text of the peer's but
// tokens is written back into a header.
bool CollectOptionTags(const struct sip_hdr* hdr, const struct sip_msg*, void* arg) {
    auto* found = static_cast<std::pair<std::vector<std::string>, bool>*>(arg);
    std::string_view value(hdr->val.p ? hdr->val.p : "", hdr->val.p ? hdr->val.l : 0);
    while (!value.empty()) {
        size_t comma = value.find(',');
        std::string_view tag = value.substr(0, comma);
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        const size_t first = tag.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos) {
            continue;
        }
        tag = tag.substr(first, tag.find_last_not_of(" \t\r\n") - first + 1);
        found->second = true;
        if (std::all_of(tag.begin(), tag.end(), IsTokenChar) &&
            std::find(found->first.begin(), found->first.end(), tag) == found->first.end()) {
            found->first.emplace_back(tag);
        }
    }
    return false;
}

// This user agent supports no extension (no reliable provisional responses, no session
// timers), so any option tag a request requires is unknown: such a request is answered 420
// with the tags in Unsupported, before a session or the OPTIONS answer sees it. Only INVITE
// and OPTIONS are checked: ACK and CANCEL must not be refused for it, and a BYE's sender has
// ended the call already, so a refused BYE would only leave the call up here. False when the
// request requires nothing.
bool RefuseRequiredExtensions(struct sip* sip, const struct sip_msg* msg) {
    std::pair<std::vector<std::string>, bool> found;
    sip_msg_hdr_apply(msg, true, SIP_HDR_REQUIRE, CollectOptionTags, &found);
    if (!found.second) {
        return false;
    }
    std::string tags;
    for (const std::string& tag : found.first) {
        tags += (tags.empty() ? "" : ", ") + tag;
    }
    char from[64];
    re_snprintf(from, sizeof(from), "%J", &msg->src);
    TraceBounded("LibreSipStack: " + ToString(msg->met) + " con Require no soportado (" + tags +
                 ") rechazado (420) de " + from);
    std::string unsupported = tags.empty() ? "" : "Unsupported: " + tags + "\r\n";
    // In a server transaction, which answers retransmissions and takes the ACK of an INVITE.
    (void)sip_treplyf(nullptr, nullptr, sip, msg, false, 420, "Bad Extension",
                      "%sContent-Length: 0\r\n\r\n", unsupported.c_str());
    return true;
}

// What the program answers to OPTIONS: the methods its sessions take and the one body type.
constexpr const char* kAllow = "INVITE, ACK, CANCEL, BYE, OPTIONS";
constexpr const char* kAccept = "application/sdp";

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
        const struct sip_msg* msg = challenge.decoded();
        if (!msg) {
            return false;
        }
        std::vector<std::pair<std::string, std::string>> challenges = Challenges(msg);
        if (sip_auth_authenticate(auth_.get(), msg) == 0) {
            Remember(challenges);
            return true;
        }
        // libre answers a realm a second time only when the challenge says stale=true, but a
        // registrar whose nonce has expired (kamailio's, after nonce_expire) challenges again
        // with a fresh nonce and no stale flag. A nonce not answered yet is answered; the same
        // nonce again means the answer was refused (a wrong password) and fails.
        if (challenges.empty()) {
            return false;
        }
        for (const auto& [realm, nonce] : challenges) {
            auto answered = answeredNonces_.find(realm);
            if (answered != answeredNonces_.end() && answered->second == nonce) {
                return false;
            }
        }
        // Every realm is forgotten: libre drops only the first realm it refused, and a
        // challenge may name several.
        sip_auth_reset(auth_.get());
        if (sip_auth_authenticate(auth_.get(), msg) != 0) {
            return false;
        }
        Remember(challenges);
        return true;
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

    // The realm and nonce of every digest challenge in a 401 or 407.
    static std::vector<std::pair<std::string, std::string>> Challenges(const struct sip_msg* msg) {
        std::vector<std::pair<std::string, std::string>> found;
        sip_msg_hdr_apply(msg, true, SIP_HDR_WWW_AUTHENTICATE, CollectChallenge, &found);
        sip_msg_hdr_apply(msg, true, SIP_HDR_PROXY_AUTHENTICATE, CollectChallenge, &found);
        return found;
    }
    static bool CollectChallenge(const struct sip_hdr* hdr, const struct sip_msg*, void* arg) {
        struct httpauth_digest_chall ch;
        if (httpauth_digest_challenge_decode(&ch, &hdr->val) == 0) {
            static_cast<std::vector<std::pair<std::string, std::string>>*>(arg)->emplace_back(
                ToString(ch.realm), ToString(ch.nonce));
        }
        return false;
    }
    void Remember(const std::vector<std::pair<std::string, std::string>>& challenges) {
        for (const auto& [realm, nonce] : challenges) {
            answeredNonces_[realm] = nonce;
        }
    }

    CredentialLookup lookup_;
    LibreRef<struct sip_auth> auth_;
    std::map<std::string, std::string> answeredNonces_; // realm -> the nonce last answered
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
    if (!err) {
        err = sip_listen(&requestListener_, sip, true, &LibreSipStack::OnRequest, this);
    }
    if (!err) {
        err = sip_listen(&responseListener_, sip, false, &LibreSipStack::OnStrayResponse, this);
    }
    if (err) {
        CloseListeners();
        if (sip_) {
            sip_close(sip_.get(), true);
        }
        sip_.reset();
        dnsc_.reset();
        ReleaseLibre();
        throw SipException(std::string("sip_alloc fallo: ") + std::strerror(err));
    }
}

LibreSipStack::~LibreSipStack() {
    // No handler may run from here on. Live sessions end (CANCEL, BYE or 486) as they go.
    sessionListener_ = nullptr;
    sessions_.clear();
    sessionSocket_.reset();
    for (auto& [id, pending] : pending_) {
        pending->handler = nullptr;
        DropRequest(pending.get());
    }
    datagramFilter_.reset();
    CloseListeners();
    sip_close(sip_.get(), true);
    sip_.reset();
    dnsc_.reset();
    pending_.clear();
    ReleaseLibre();
}

void LibreSipStack::CloseListeners() {
    mem_deref(requestListener_);
    mem_deref(responseListener_);
    requestListener_ = nullptr;
    responseListener_ = nullptr;
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
    const uint64_t now = tmr_jiffies();
    while (!endedCalls_.empty() && endedCalls_.front().untilMs <= now) {
        endedCalls_.pop_front();
    }
    for (SessionId id : closedSessions_) {
        auto it = sessions_.find(id);
        if (it == sessions_.end()) {
            continue;
        }
        if (!it->second->callId.empty()) {
            if (endedCalls_.size() == kEndedCallsKept) {
                endedCalls_.pop_front();
            }
            endedCalls_.push_back({it->second->callId, it->second->userAgent, now + kEndedCallMs});
        }
        sessions_.erase(it);
    }
    closedSessions_.clear();
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
    stepTimer_ = &stop;
    draining_ = false;
    int err = re_main(nullptr);
    tmr_cancel(&stop);
    stepTimer_ = nullptr;
    inProcess_ = false;
    if (err && err != EINTR) {
        Trace("LibreSipStack::process: re_main fallo");
    }
}

std::unique_ptr<DigestSession> LibreSipStack::makeDigestSession(CredentialLookup lookup) {
    return std::make_unique<LibreDigestSession>(std::move(lookup));
}

void LibreSipStack::EndStepSoon() {
    // There is work for the manager: the step ends early, but first takes in what has
    // already arrived (a provisional response and the 2xx often come together), so a burst
    // is not spread over several polls.
    if (stepTimer_ && !draining_) {
        draining_ = true;
        tmr_start(stepTimer_, kDrainMs, CancelMainLoop, nullptr);
    }
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
        EndStepSoon();
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

namespace sipua {
namespace {

// An SDP text as a libre buffer positioned at its start; null for an empty text.
LibreRef<struct mbuf> SdpBuffer(const std::string& sdp) {
    if (sdp.empty()) {
        return nullptr;
    }
    LibreRef<struct mbuf> mb(mbuf_alloc(sdp.size()));
    if (!mb) {
        return nullptr;
    }
    mbuf_write_mem(mb.get(), reinterpret_cast<const uint8_t*>(sdp.data()), sdp.size());
    mb->pos = 0;
    return mb;
}

std::string IncomingKey(const struct sip_msg* msg) {
    return ToString(msg->callid) + " " + std::to_string(msg->cseq.num) + " " +
           ToString(msg->via.branch);
}

} // namespace

void LibreSipStack::setSessionListener(SessionListener* listener) {
    sessionListener_ = listener;
    if (listener && !sessionSocket_) {
        struct sipsess_sock* sock = nullptr;
        int err = sipsess_listen(&sock, sip_.get(), 32, &LibreSipStack::OnIncoming, this);
        sessionSocket_.reset(sock);
        if (err) {
            Trace("LibreSipStack: sipsess_listen fallo");
        }
    }
}

LibreSipStack::Session* LibreSipStack::findSession(SessionId id) {
    auto it = sessions_.find(id);
    return it == sessions_.end() || it->second->closed ? nullptr : it->second.get();
}

void LibreSipStack::deliverSessionEvent(const std::function<void()>& event) {
    if (!sessionListener_) {
        return;
    }
    delivered_ = true;
    event();
    EndStepSoon();
}

void LibreSipStack::OnIncoming(const struct sip_msg* msg, void* arg) {
    auto* self = static_cast<LibreSipStack*>(arg);
    self->WatchTransport(msg);
    // An INVITE that cannot open a dialog never becomes a call.
    if (const char* missing = MissingHeader(msg, true)) {
        RefuseIncomplete(self->sip_.get(), msg, missing);
        return;
    }
    if (!self->sessionListener_) {
        (void)sip_treply(nullptr, self->sip_.get(), msg, 480, "Temporarily Unavailable");
        return;
    }
    // A retransmission of an INVITE the program has not answered yet.
    std::string key = IncomingKey(msg);
    for (const auto& [id, session] : self->sessions_) {
        if (!session->closed && !session->sess && session->inviteKey == key) {
            return;
        }
    }
    auto session = std::make_unique<Session>();
    session->stack = self;
    session->id = ++self->lastSession_;
    session->invite = AddRef(msg);
    session->inviteKey = key;
    SessionId id = session->id;
    self->sessions_[id] = std::move(session);
    SipMessage invite;
    try {
        invite = SipMessage::fromDecoded(msg);
    } catch (const SipException&) {
        self->rejectSession(id, 400, "Bad Request");
        return;
    }
    self->deliverSessionEvent(
        [self, id, &invite] { self->sessionListener_->onIncoming(id, invite); });
}

bool LibreSipStack::OnRequest(const struct sip_msg* msg, void* arg) {
    auto* self = static_cast<LibreSipStack*>(arg);
    const bool options = pl_strcmp(&msg->met, "OPTIONS") == 0;
    if (!options && pl_strcmp(&msg->met, "INVITE") != 0) {
        return false;
    }
    self->WatchTransport(msg);
    if (const char* missing = MissingHeader(msg, false)) {
        if (!options) {
            return false; // refused where INVITEs are taken in, or by the session
        }
        RefuseIncomplete(self->sip_.get(), msg, missing);
        return true;
    }
    if (RefuseRequiredExtensions(self->sip_.get(), msg)) {
        return true;
    }
    if (!options) {
        return false;
    }
    if (msg->clen.p &&
        (msg->clen.l == 0 || !std::all_of(msg->clen.p, msg->clen.p + msg->clen.l,
                                          [](char c) { return c >= '0' && c <= '9'; }))) {
        (void)sip_reply(self->sip_.get(), msg, 400, "Bad Content-Length");
        return true;
    }
    // Inside a dialog, only one of ours is answered.
    bool known = !pl_isset(&msg->to.tag);
    for (const auto& [id, session] : self->sessions_) {
        struct sip_dialog* dialog = session->sess ? sipsess_dialog(session->sess.get()) : nullptr;
        known = known || (dialog && sip_dialog_cmp(dialog, msg));
    }
    if (!known) {
        (void)sip_reply(self->sip_.get(), msg, 481, "Call/Transaction Does Not Exist");
        return true;
    }
    (void)sip_replyf(self->sip_.get(), msg, 200, "OK",
                     "Allow: %s\r\nAccept: %s\r\nContent-Length: 0\r\n\r\n", kAllow, kAccept);
    return true;
}

bool LibreSipStack::OnStrayResponse(const struct sip_msg* msg, void* arg) {
    auto* self = static_cast<LibreSipStack*>(arg);
    if (msg->scode < 200 || msg->scode >= 300 || pl_strcmp(&msg->cseq.met, "INVITE") != 0) {
        return false;
    }
    for (const auto& [id, session] : self->sessions_) {
        struct sip_dialog* dialog =
            session->client && session->sess ? sipsess_dialog(session->sess.get()) : nullptr;
        if (!dialog || pl_strcmp(&msg->callid, sip_dialog_callid(dialog)) != 0) {
            continue;
        }
        // Before the call's own 2xx the transaction takes every answer; the same dialog's 2xx
        // again is a retransmission that libre acknowledges again.
        if (!sip_dialog_established(dialog) || sip_dialog_cmp(dialog, msg)) {
            return false;
        }
        self->EndExtraFork(session->userAgent, msg);
        return true;
    }
    for (const EndedCall& ended : self->endedCalls_) {
        if (pl_strcmp(&msg->callid, ended.callId.c_str()) == 0) {
            self->EndExtraFork(ended.userAgent, msg);
            return true;
        }
    }
    return false;
}

namespace {

bool CollectHeaderValue(const struct sip_hdr* hdr, const struct sip_msg*, void* arg) {
    static_cast<std::vector<std::string>*>(arg)->push_back(ToString(hdr->val));
    return false;
}

std::string HeaderValue(const struct sip_msg* msg, enum sip_hdrid id) {
    const struct sip_hdr* hdr = sip_msg_hdr(msg, id);
    return hdr ? ToString(hdr->val) : std::string();
}

} // namespace

void LibreSipStack::EndExtraFork(const std::string& userAgent, const struct sip_msg* answer) {
    // The extra dialog's requests are built here from its 2xx: libre's own dialog of the call
    // is established already and cannot be forked any more.
    std::string tag = ToString(answer->to.tag);
    const struct sip_hdr* contact = sip_msg_hdr(answer, SIP_HDR_CONTACT);
    struct sip_addr target;
    if (!contact || sip_addr_decode(&target, &contact->val) != 0) {
        Trace(("LibreSipStack: 2xx de otra rama (tag " + tag + ") sin Contact; sin ACK ni BYE")
                  .c_str());
        return;
    }
    std::string targetUri = ToString(target.auri);
    // The route set: the Record-Route entries in reverse order; the first is the next hop.
    std::vector<std::string> routes;
    sip_msg_hdr_apply(answer, false, SIP_HDR_RECORD_ROUTE, CollectHeaderValue, &routes);
    struct sip_addr firstRoute;
    struct pl firstRouteText = routes.empty() ? pl{} : ToPl(routes.front());
    const struct uri* nextHop = nullptr;
    if (!routes.empty() && sip_addr_decode(&firstRoute, &firstRouteText) == 0) {
        nextHop = &firstRoute.uri;
    }
    std::string headers;
    for (const std::string& route : routes) {
        headers += "Route: " + route + "\r\n";
    }
    headers += "From: " + HeaderValue(answer, SIP_HDR_FROM) + "\r\n";
    headers += "To: " + HeaderValue(answer, SIP_HDR_TO) + "\r\n";
    headers += "Call-ID: " + ToString(answer->callid) + "\r\n";
    std::string tail = userAgent.empty() ? "" : "User-Agent: " + userAgent + "\r\n";
    tail += "Content-Length: 0\r\n\r\n";
    uint32_t cseq = answer->cseq.num;
    int err = sip_requestf(nullptr, sip_.get(), false, "ACK", targetUri.c_str(), nextHop, nullptr,
                           nullptr, nullptr, nullptr, "%sCSeq: %u ACK\r\n%s", headers.c_str(), cseq,
                           tail.c_str());
    if (!err) {
        err = sip_requestf(nullptr, sip_.get(), true, "BYE", targetUri.c_str(), nextHop, nullptr,
                           nullptr, &LibreSipStack::OnExtraForkBye, nullptr, "%sCSeq: %u BYE\r\n%s",
                           headers.c_str(), cseq + 1, tail.c_str());
    }
    if (err) {
        Trace(("LibreSipStack: 2xx de otra rama (tag " + tag +
               ") sin ACK o BYE: " + std::strerror(err))
                  .c_str());
        return;
    }
    Trace(("LibreSipStack: 2xx de otra rama (tag " + tag +
           "): ACK y BYE enviados, la llamada sigue con la primera")
              .c_str());
}

void LibreSipStack::OnExtraForkBye(int err, const struct sip_msg* msg, void*) {
    if (err || (msg && msg->scode >= 300)) {
        char text[96];
        std::snprintf(text, sizeof(text), "LibreSipStack: BYE a la otra rama sin exito: %d",
                      err ? -err : msg->scode);
        Trace(text);
    }
}

bool LibreSipStack::acceptIncoming(Session& session, int code, const std::string& reason,
                                   const std::string& sdp) {
    LibreRef<struct mbuf> desc = SdpBuffer(sdp);
    struct sipsess* sess = nullptr;
    std::string headers =
        session.userAgent.empty() ? std::string() : "User-Agent: " + session.userAgent + "\r\n";
    NameAddr to;
    try {
        to = SipMessage::fromDecoded(session.invite.get()).to();
    } catch (const SipException&) {
    }
    std::string user = to.uri().user().empty() ? std::string("quorvex") : to.uri().user();
    int err = sipsess_accept(
        &sess, sessionSocket_.get(), session.invite.get(), static_cast<uint16_t>(code),
        reason.c_str(), user.c_str(), "application/sdp", desc.get(), nullptr, nullptr, false,
        &LibreSipStack::OnOffer, &LibreSipStack::OnAnswer, &LibreSipStack::OnEstablished, nullptr,
        nullptr, &LibreSipStack::OnClose, &session, "%s", headers.c_str());
    if (err) {
        Trace(("LibreSipStack: sipsess_accept fallo: " + std::string(std::strerror(err))).c_str());
        (void)sip_treply(nullptr, sip_.get(), session.invite.get(), 500, "Server Internal Error");
        session.closed = true;
        closedSessions_.push_back(session.id);
        // The session ends here, unasked: the listener hears of it as of any other end.
        SessionId id = session.id;
        SessionEnd end;
        end.kind = SessionEnd::Kind::Error;
        end.message = SipMessage::makeLocalResponse(500, "Server Internal Error");
        deliverSessionEvent([this, id, &end] { sessionListener_->onClosed(id, end); });
        return false;
    }
    session.sess.reset(sess);
    if (!sdp.empty()) {
        session.localSdp = sdp;
    }
    return true;
}

void LibreSipStack::progressSession(SessionId id, int code, const std::string& reason,
                                    const std::string& sdp) {
    respondInSession(id, code, reason, sdp, false);
}

void LibreSipStack::answerSession(SessionId id, int code, const std::string& reason,
                                  const std::string& sdp) {
    respondInSession(id, code, reason, sdp, true);
}

void LibreSipStack::respondInSession(SessionId id, int code, const std::string& reason,
                                     const std::string& sdp, bool final) {
    Session* session = findSession(id);
    if (!session || session->client) {
        return;
    }
    if (!session->sess) {
        acceptIncoming(*session, code, reason, sdp);
        return;
    }
    LibreRef<struct mbuf> desc = SdpBuffer(sdp);
    const auto send = final ? sipsess_answer : sipsess_progress;
    if (send(session->sess.get(), static_cast<uint16_t>(code), reason.c_str(), desc.get(), "") !=
        0) {
        Trace(final ? "LibreSipStack: sipsess_answer fallo"
                    : "LibreSipStack: sipsess_progress fallo");
    }
    if (final) {
        session->localSdp = sdp;
    }
}

void LibreSipStack::rejectSession(SessionId id, int code, const std::string& reason) {
    Session* session = findSession(id);
    if (!session || session->client) {
        return;
    }
    if (session->sess) {
        // No headers of our own: libre then ends the response with "Content-Length: 0" and the
        // blank line. Any text given here would stand in for both.
        (void)sipsess_reject(session->sess.get(), static_cast<uint16_t>(code), reason.c_str(),
                             nullptr);
    } else if (session->invite) {
        (void)sip_treply(nullptr, sip_.get(), session->invite.get(), static_cast<uint16_t>(code),
                         reason.c_str());
    }
    session->closed = true;
    closedSessions_.push_back(id);
}

void LibreSipStack::endSession(SessionId id) {
    Session* session = findSession(id);
    if (!session) {
        return;
    }
    if (!session->client && !session->sess && session->invite) {
        (void)sip_treply(nullptr, sip_.get(), session->invite.get(), 486, "Busy Here");
    }
    // Releasing a libre session sends what its state asks for: CANCEL, BYE or 486.
    session->sess.reset();
    session->closed = true;
    closedSessions_.push_back(id);
}

int LibreSipStack::OnAuth(char** user, char** password, const char* realm, void* arg) {
    auto* session = static_cast<Session*>(arg);
    std::string u;
    std::string p;
    if (!session->credentials || !session->credentials(realm ? realm : "", &u, &p) ||
        u.find_first_of("\r\n\"\\") != std::string::npos) {
        return EAUTH;
    }
    int err = str_dup(user, u.c_str());
    err |= str_dup(password, p.c_str());
    return err;
}

SipStack::SessionId LibreSipStack::startSession(const OutgoingInvite& invite) {
    if (!sessionSocket_) {
        throw SipException("INVITE sin sesiones: falta setSessionListener");
    }
    auto session = std::make_unique<Session>();
    session->stack = this;
    session->id = ++lastSession_;
    session->client = true;
    session->localSdp = invite.sdp;
    session->userAgent = invite.userAgent;
    session->credentials = invite.credentials;
    std::string route;
    const char* routes[1] = {nullptr};
    uint32_t routeCount = 0;
    if (invite.route) {
        // libre writes the Route header itself, as "<uri;lr>".
        route = invite.route->toString();
        routes[0] = route.c_str();
        routeCount = 1;
    }
    std::string headers =
        invite.userAgent.empty() ? std::string() : "User-Agent: " + invite.userAgent + "\r\n";
    LibreRef<struct mbuf> desc = SdpBuffer(invite.sdp);
    struct sipsess* sess = nullptr;
    int err = sipsess_connect(
        &sess, sessionSocket_.get(), invite.requestUri.c_str(),
        invite.fromName.empty() ? nullptr : invite.fromName.c_str(), invite.fromUri.c_str(),
        invite.contactUser.c_str(), routeCount ? routes : nullptr, routeCount, "application/sdp",
        desc.get(), &LibreSipStack::OnAuth, session.get(), false, &LibreSipStack::OnOffer,
        &LibreSipStack::OnAnswer, &LibreSipStack::OnProgress, &LibreSipStack::OnEstablished,
        nullptr, nullptr, &LibreSipStack::OnClose, session.get(), "%s", headers.c_str());
    if (err) {
        throw SipException("INVITE no enviado: " + std::string(std::strerror(err)));
    }
    session->sess.reset(sess);
    session->callId = sip_dialog_callid(sipsess_dialog(sess));
    SessionId id = session->id;
    sessions_[id] = std::move(session);
    return id;
}

int LibreSipStack::OnOffer(struct mbuf** descp, const struct sip_msg* msg, void* arg) {
    // A re-INVITE (or an offer in a 2xx or ACK) is answered with the same description we gave
    // last; the offer of a re-INVITE then goes to the listener, which may move its media.
    auto* session = static_cast<Session*>(arg);
    Trace("LibreSipStack: nueva oferta en la sesion, se responde con la misma SDP");
    LibreRef<struct mbuf> desc = SdpBuffer(session->localSdp);
    *descp = desc.release();
    if (!msg || !msg->req || pl_strcmp(&msg->met, "INVITE") != 0 || !msg->mb ||
        mbuf_get_left(msg->mb) == 0) {
        return 0;
    }
    LibreSipStack* self = session->stack;
    SessionId id = session->id;
    SipMessage reinvite;
    try {
        reinvite = SipMessage::fromDecoded(msg);
    } catch (const SipException&) {
        return 0;
    }
    self->deliverSessionEvent(
        [self, id, &reinvite] { self->sessionListener_->onReoffer(id, reinvite); });
    return 0;
}

int LibreSipStack::OnAnswer(const struct sip_msg*, void*) {
    return 0; // the answer reaches the manager with the response itself
}

void LibreSipStack::OnProgress(const struct sip_msg* msg, void* arg) {
    auto* session = static_cast<Session*>(arg);
    LibreSipStack* self = session->stack;
    SessionId id = session->id;
    SipMessage response;
    try {
        response = SipMessage::fromDecoded(msg);
    } catch (const SipException&) {
        return;
    }
    self->deliverSessionEvent(
        [self, id, &response] { self->sessionListener_->onProgress(id, response); });
}

void LibreSipStack::OnEstablished(const struct sip_msg* msg, void* arg) {
    auto* session = static_cast<Session*>(arg);
    LibreSipStack* self = session->stack;
    SessionId id = session->id;
    bool client = session->client;
    SipMessage message;
    try {
        message = SipMessage::fromDecoded(msg);
    } catch (const SipException&) {
        return;
    }
    self->deliverSessionEvent([self, id, client, &message] {
        if (client) {
            self->sessionListener_->onAnswered(id, message);
        } else {
            self->sessionListener_->onAcknowledged(id, message);
        }
    });
}

void LibreSipStack::OnClose(int err, const struct sip_msg* msg, void* arg) {
    auto* session = static_cast<Session*>(arg);
    LibreSipStack* self = session->stack;
    SessionId id = session->id;
    session->closed = true;
    self->closedSessions_.push_back(id);
    SessionEnd end;
    if (msg && msg->scode >= 300) {
        end.kind = SessionEnd::Kind::Failed;
        try {
            end.message = SipMessage::fromDecoded(msg);
        } catch (const SipException&) {
            end.message = SipMessage::makeLocalResponse(msg->scode, "Error");
        }
    } else if (err == ETIMEDOUT) {
        end.kind = SessionEnd::Kind::Failed;
        end.message = SipMessage::makeLocalResponse(408, "Request Timeout");
    } else if (err == ECONNRESET || (!err && !msg)) {
        end.kind = SessionEnd::Kind::PeerEnded;
    } else {
        end.kind = SessionEnd::Kind::Error;
        end.message = SipMessage::makeLocalResponse(503, "Service Unavailable");
        char text[96];
        std::snprintf(text, sizeof(text), "LibreSipStack: sesion terminada: %s",
                      std::strerror(err));
        Trace(text);
    }
    self->deliverSessionEvent([self, id, &end] { self->sessionListener_->onClosed(id, end); });
}

} // namespace sipua
