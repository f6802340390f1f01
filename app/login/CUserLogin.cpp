#include "app/login/CUserLogin.h"

#include <exception>

#include <sys/stat.h>

#include "app/phone/PhoneState.h"
#include "app/phone/RememberedPassword.h"
#include "app/phone/SuspendRule.h"
#include "app/settings/StoreLastPass.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Clock.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"
#include "platform/net/IPv4Address.h"
#include "platform/store/IniFile.h"
#include "platform/store/Registry.h"
#include "sip/SipException.h"
#include "sip/SipTrace.h"

CUserLogin* g_pLogin = nullptr;

namespace {

const char kQuorvexKey[] = "SOFTWARE\\Quorvex";

std::string QuorvexIniPath() {
    return plat::JoinPath(plat::ConfigDir(), "quorvex.ini");
}
std::string QuorvixIniPath() {
    return plat::JoinPath(plat::ConfigDir(), "quorvix.ini");
}

// `use_outbound` from the program's key (created when missing); 1 when missing or unreadable.
uint32_t ReadUseOutbound() {
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    if (registry.CreateKey(kQuorvexKey, &key) != plat::kErrorSuccess) {
        return 1;
    }
    uint32_t type = 0;
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    if (registry.QueryValue(key, "use_outbound", &type, &value, &size) != plat::kErrorSuccess ||
        type != plat::kRegDword || size != sizeof(value)) {
        return 1;
    }
    return value;
}

// A dotted IPv4 address that can be sent to.
bool IsUsableAddress(const std::string& text) {
    uint32_t address = 0;
    return plat::ParseIPv4(text.c_str(), &address) && plat::IsUsableUnicastIPv4(address);
}

// A host as a peer may name it to us: a name or an IPv4 or IPv6 address, nothing else. The
// public host goes into the SDP of every call, so a blank, a quote or a line break must not.
bool IsPlainHost(const std::string& host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (char c : host) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-' || c == ':';
        if (!ok) {
            return false;
        }
    }
    return true;
}

void TraceToLog(const char* text) {
    AppTrace(text);
}

} // namespace

bool CUserLogin::ResolveHost(const std::string& host, std::string* dotted) {
    uint32_t address = 0;
    if (host.empty() || plat::LookupIPv4(host.c_str(), &address) != 0) {
        return false;
    }
    *dotted = plat::FormatIPv4(address);
    return true;
}

CUserLogin::CUserLogin(LoginView& view, DeploymentSettings settings, StackFactory factory,
                       HostResolver resolver)
    : m_View(view), m_Settings(std::move(settings)), m_StackFactory(std::move(factory)),
      m_Resolver(std::move(resolver)), m_Profile(std::make_shared<sipua::MasterProfile>()) {
    sipua::SetTraceSink(TraceToLog);
    g_pLogin = this;
}

CUserLogin::~CUserLogin() {
    if (m_pMakeCall) {
        CallWindow* window = m_pMakeCall;
        m_pMakeCall = nullptr;
        window->Destroy();
    }
    m_pDum.reset();
    m_pStack.reset();
    if (g_pLogin == this) {
        g_pLogin = nullptr;
    }
}

void CUserLogin::OnLoginCommand() {
    if (!m_pStack && !m_pDum && StartSip()) {
        m_View.EnableLoginControls(false);
        g_PhoneState = PS_REGISTERING;
    }
}

std::string CUserLogin::ResolveWithCache(const std::string& host, const char* cacheKey) {
    plat::IniFile cache(QuorvixIniPath());
    std::string dotted;
    if (m_Resolver && m_Resolver(host, &dotted)) {
        if (!cache.WriteString("general", cacheKey, dotted.c_str())) {
            AppTrace(("CUserLogin::StartSip: no se pudo guardar " + std::string(cacheKey)).c_str());
        }
        return dotted;
    }
    std::string cached = cache.GetString("general", cacheKey, "*").substr(0, 20);
    if (!cached.empty() && cached[0] != '*' && IsUsableAddress(cached)) {
        return cached;
    }
    return host;
}

bool CUserLogin::StartSip() {
    m_bRelogin = false;
    std::string user = m_View.GetUserText();
    if (user.empty()) {
        m_View.MessageBoxById(kMsgNoPhoneNumber, LoginView::kMbOk, LoginView::Owner::Form);
        return false;
    }
    if (m_Settings.sipServerHost.empty()) {
        AppTrace("CUserLogin::StartSip: falta el servidor SIP en deployment.ini");
        m_View.MessageBoxById(kMsgCannotLogIn, LoginView::kMbOk, LoginView::Owner::Form);
        return false;
    }

    m_pAuthManager = std::make_unique<sipua::ClientAuthManager>();
    try {
        m_pStack = m_StackFactory();
        m_pDum = std::make_unique<sipua::DialogUsageManager>(*m_pStack);

        m_pDum->addTransport(sipua::TransportType::UDP, kSipPort, sipua::IpVersion::V4,
                             m_Settings.sipBindAddress);
        m_pDum->setMasterProfile(m_Profile);
        m_pDum->setClientRegistrationHandler(this);
        m_pDum->setClientAuthManager(std::move(m_pAuthManager));
        m_Profile->setDefaultRegistrationTime(kRegistrationSeconds);
        std::string version;
        GetModuleVersionText(plat::ExecutablePath(), &version);
        m_Profile->setUserAgent("Quorvex " + version);
        if (ReadUseOutbound() != 0) {
            sipua::Uri proxy = sipua::Uri::parse("sip:" + m_Settings.outboundProxyHost + ":" +
                                                 std::to_string(kProxyPort));
            proxy.host(ResolveWithCache(proxy.host(), "LastOutbound"));
            m_Profile->setOutboundProxy(proxy);
        } else {
            // The profile outlives the login: a proxy of an earlier login must not stay.
            m_Profile->unsetOutboundProxy();
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::StartSip: " + std::string(e.what())).c_str());
        m_View.MessageBoxById(kMsgPortInUse, LoginView::kMbOk, LoginView::Owner::Form);
        m_pDum.reset();
        m_pStack.reset();
        m_pAuthManager.reset();
        return false;
    }

    m_SipServerAddress = ResolveWithCache(m_Settings.sipServerHost, "LastSipServer");

    g_UserAor.uri().host(m_SipServerAddress);
    g_UserAor.uri().port(kSipPort);
    g_UserAor.uri().user(user);
    m_Profile->setDefaultFrom(g_UserAor);
    m_Profile->setDigestCredential(m_Settings.sipServerHost, g_UserAor.uri().user(),
                                   m_View.GetPasswordText());

    try {
        sipua::SipMessagePtr reg = m_pDum->makeRegistration(g_UserAor, kRegistrationSeconds);
        m_bRegisterSent = true;
        m_pDum->send(reg);
    } catch (const std::exception& e) {
        // Only a manager without transport or after shutdown refuses; nothing was sent.
        AppTrace(("CUserLogin::StartSip: REGISTER no enviado: " + std::string(e.what())).c_str());
        m_bRegisterSent = false;
        m_View.MessageBoxById(kMsgCannotLogIn, LoginView::kMbOk, LoginView::Owner::Form);
        m_pDum.reset();
        m_pStack.reset();
        return false;
    }
    m_View.SetTimer(kTimerSipPoll, kPollPeriodMs);
    return true;
}

void CUserLogin::PollSip() {
    if (!m_pStack || !m_pDum) {
        return;
    }
    try {
        m_pStack->process(kPollWaitMs);
        while (m_pDum && m_pDum->process()) {
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::OnTimer: " + std::string(e.what())).c_str());
    }
}

void CUserLogin::OnTimer(unsigned id) {
    switch (id) {
    case kTimerDeleteSip:
        OnDeleteTimer();
        return;
    case kTimerExit:
        m_View.KillTimer(kTimerExit);
        m_View.EndDialog();
        return;
    case kTimerRetryRegistration:
        OnRetryRegistrationTimer();
        return;
    case kTimerRelogin:
        OnReloginTimer();
        return;
    case 5000:
    case 5001:
    case 5002:
        m_View.OnBaseTimer(id);
        return;
    default:
        if (!m_pStack || !m_pDum) {
            return;
        }
        PollSip();
        m_View.OnBaseTimer(id);
        return;
    }
}

std::string CUserLogin::PublicHostOf(const sipua::SipMessage& response) const {
    const sipua::Via& via = response.topVia();
    if (via.rport) {
        // Our own binding as the registrar saw it: same user, port equal to rport.
        for (const sipua::NameAddr& contact : response.contacts()) {
            int port = contact.uri().port() ? contact.uri().port() : kSipPort;
            if (contact.uri().user() == g_UserAor.uri().user() && port == *via.rport &&
                IsPlainHost(contact.uri().host())) {
                return contact.uri().host();
            }
        }
    }
    if (IsPlainHost(via.sentHost)) {
        return via.sentHost;
    }
    // A sent-by that is no host: our transport's own address.
    AppTrace("CUserLogin::onSuccess: Via sin host valido, se usa la direccion local");
    std::string host;
    int port = 0;
    if (m_pStack && m_pStack->localAddress(&host, &port)) {
        return host;
    }
    return std::string();
}

void CUserLogin::onSuccess(sipua::ClientRegistrationHandle h, const sipua::SipMessage& response) {
    m_hRegistration = h;
    if (m_pMakeCall) {
        if (m_bExiting) {
            m_View.EndDialog();
        }
        return;
    }
    m_PublicHost = PublicHostOf(response);
    m_View.KillTimer(kTimerCaret);
    g_PhoneState = PS_IDLE;

    CallWindow* window = m_View.CreateCallWindow(&m_pMakeCall);
    m_pMakeCall = window;
    m_View.HideForm();
    if (window) {
        WindowRect form = m_View.GetFormRect();
        WindowRect own = window->GetWindowRect();
        int width = own.right - own.left;
        int height = own.bottom - own.top;
        window->MoveTo((form.left + form.right) / 2 - width / 2,
                       (form.top + form.bottom) / 2 - height / 2);
        window->Show();
    }
    SaveLastLogin();
}

void CUserLogin::SaveLastLogin() {
    const std::string path = QuorvexIniPath();
    plat::IniFile ini(path);
    bool ok = ini.WriteString("General", "LastUser", m_View.GetUserText().c_str());
    if (ini.GetInt("General", "remember_last_password", 1) != 0) {
        // The file keeps the password: only its owner may read it (a rewrite keeps the mode).
        if (chmod(path.c_str(), 0600) != 0) {
            AppTrace(("CUserLogin::onSuccess: !chmod " + path).c_str());
        }
        // A password whose stored form would give another one back is not remembered: the
        // one remembered before is removed instead.
        const std::string password = m_View.GetPasswordText();
        if (DecodeRememberedPassword(EncodeRememberedPassword(password)) != password) {
            AppTrace("CUserLogin::onSuccess: la clave no se puede recordar");
        }
        ok = StoreLastPass(ini, password) && ok;
    }
    if (!ok) {
        AppTrace("CUserLogin::onSuccess: no se pudo escribir quorvex.ini");
    }
}

void CUserLogin::onRemoved(sipua::ClientRegistrationHandle, const sipua::SipMessage&) {}

int CUserLogin::onRequestRetry(sipua::ClientRegistrationHandle, int, const sipua::SipMessage&) {
    AppTrace("CUserLogin::onRequestRetry");
    return 30;
}

void CUserLogin::onFailure(sipua::ClientRegistrationHandle h, const sipua::SipMessage&) {
    try {
        h->removeMyBindings(true);
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::onFailure: " + std::string(e.what())).c_str());
    }
    EndLoginAttempt();
}

void CUserLogin::EndLoginAttempt() {
    m_View.EnableLoginControls(true);
    if (!m_pMakeCall) {
        m_View.BringToForeground();
        if (m_pDum) {
            try {
                m_pDum->shutdown(this, kExitGiveUpSeconds);
            } catch (const std::exception& e) {
                AppTrace(("CUserLogin::EndLoginAttempt: " + std::string(e.what())).c_str());
            }
        }
        return;
    }
    // Signed in with the call window open: keep the stack and register again later, so the
    // phone does not sit there unreachable.
    if (!m_bExiting && !m_bRelogin) {
        AppTrace("CUserLogin::EndLoginAttempt: registro fallido, nuevo intento en 30 s");
        m_View.SetTimer(kTimerRetryRegistration, kRetryRegistrationMs);
    }
}

void CUserLogin::OnRetryRegistrationTimer() {
    m_View.KillTimer(kTimerRetryRegistration);
    if (!m_pDum || !m_pMakeCall || m_bExiting || m_bRelogin) {
        return;
    }
    AppTrace("CUserLogin::OnTimer: reintentando el registro");
    try {
        sipua::SipMessagePtr reg = m_pDum->makeRegistration(g_UserAor, kRegistrationSeconds);
        m_bRegisterSent = true;
        m_pDum->send(reg);
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::OnTimer: REGISTER no enviado: " + std::string(e.what())).c_str());
        m_View.SetTimer(kTimerRetryRegistration, kRetryRegistrationMs);
    }
}

void CUserLogin::onDumCanBeDeleted() {
    m_bShutdownDone = true;
    m_View.SetTimer(kTimerDeleteSip, 1);
}

void CUserLogin::DeleteSipObjects() {
    g_PhoneState = PS_LOGGED_OUT;
    m_View.KillTimer(kTimerDeleteSip);
    m_View.KillTimer(kTimerSipPoll);
    m_View.KillTimer(kTimerRetryRegistration);
    m_pDum.reset();
    m_pStack.reset();
    m_pAuthManager.reset();
    m_hRegistration = sipua::ClientRegistrationHandle();
}

void CUserLogin::OnDeleteTimer() {
    DeleteSipObjects();
    if (m_bRelogin) {
        // A suspend logout: no message, and the flag stays set so the resume signs in again.
        return;
    }
    if (m_bExiting) {
        m_View.EndDialog();
        return;
    }
    if (m_bRegisterSent) {
        m_View.MessageBoxById(kMsgCannotLogIn, LoginView::kMbOk, LoginView::Owner::Form);
        m_bRegisterSent = false;
    }
}

void CUserLogin::Logout() {
    m_bRelogin = true;
    m_View.KillTimer(kTimerRetryRegistration);
    try {
        if (m_hRegistration.isValid()) {
            m_hRegistration->removeMyBindings(true);
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::Logout: " + std::string(e.what())).c_str());
    }
    try {
        if (m_pDum) {
            m_pDum->shutdown(this, kLogoutGiveUpSeconds);
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::Logout: " + std::string(e.what())).c_str());
    }

    // Poll here until the manager may be deleted, but never past its give-up time plus 1 s:
    // this runs inside the suspend notice and must not hold the GUI.
    m_bShutdownDone = false;
    const uint32_t start = plat::TimeMs();
    const uint32_t limit = kLogoutGiveUpSeconds * 1000u + 1000u;
    bool timedOut = false;
    try {
        while (!m_bShutdownDone && m_pStack && m_pDum) {
            if (plat::TimeMs() - start > limit) {
                timedOut = true;
                break;
            }
            m_pStack->process(kPollWaitMs);
            while (m_pDum && m_pDum->process()) {
            }
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::Logout: " + std::string(e.what())).c_str());
    }
    if (timedOut) {
        AppTrace("CUserLogin::Logout: la pila SIP no termino a tiempo, se elimina");
        DeleteSipObjects();
    }

    g_PhoneState = PS_LOGGED_OUT;
    m_View.EnableLoginControls(true);
    if (m_pMakeCall) {
        CallWindow* window = m_pMakeCall;
        m_pMakeCall = nullptr;
        window->Destroy();
    }
    m_View.ShowForm();
}

void CUserLogin::OnCancel() {
    m_View.SetHandsetEvents(false);
    int answer =
        m_View.MessageBoxById(kMsgExitQuestion, LoginView::kMbYesNo | LoginView::kMbIconQuestion,
                              m_pMakeCall ? LoginView::Owner::CallWindow : LoginView::Owner::Form);
    if (answer == LoginView::kIdNo) {
        m_View.SetHandsetEvents(true);
        return;
    }
    if (g_PhoneState == PS_LOGGED_OUT || g_PhoneState == PS_REGISTERING) {
        m_View.EndDialog();
        return;
    }
    m_View.HideForm();
    if (m_pMakeCall) {
        m_pMakeCall->Hide();
        m_pMakeCall->HangUp(true);
    }
    m_bExiting = true;
    m_bRegisterSent = false;
    m_bRelogin = false;
    m_View.KillTimer(kTimerRetryRegistration);
    try {
        if (m_hRegistration.isValid()) {
            m_hRegistration->removeMyBindings(true);
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::OnCancel: " + std::string(e.what())).c_str());
    }
    if (!m_pDum) {
        m_View.EndDialog();
        return;
    }
    try {
        m_pDum->shutdown(this, kExitGiveUpSeconds);
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::OnCancel: " + std::string(e.what())).c_str());
        m_View.EndDialog();
        return;
    }
    m_View.SetTimer(kTimerExit, 6000);
}

void CUserLogin::OnPowerResume() {
    if (m_bRelogin) {
        m_View.SetTimer(kTimerRelogin, 10000);
    }
}

intptr_t CUserLogin::OnPowerBroadcast(unsigned event) {
    const intptr_t answer = m_pMakeCall ? m_pMakeCall->PowerBroadcast(event) : 0;
    if (event == kPbtResumeSuspend) {
        OnPowerResume();
    }
    return answer;
}

void CUserLogin::OnReloginTimer() {
    m_View.KillTimer(kTimerRelogin);
    if (m_bRelogin && g_PhoneState == PS_LOGGED_OUT) {
        OnLoginCommand();
    }
    m_bRelogin = false;
}

bool CUserLogin::EndForUpdate() {
    if (!m_pMakeCall) {
        return false;
    }
    m_pMakeCall->Hide();
    m_View.SetTimer(kTimerExit, 6000);
    m_bExiting = true;
    m_View.KillTimer(kTimerRetryRegistration);
    try {
        if (m_hRegistration.isValid()) {
            m_hRegistration->removeMyBindings(true);
        }
    } catch (const std::exception& e) {
        AppTrace(("CUserLogin::EndForUpdate: " + std::string(e.what())).c_str());
    }
    return true;
}
