#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/phone/DeploymentSettings.h"
#include "app/phone/LoginLink.h"
#include "app/phone/LoginView.h"
#include "app/phone/UserAor.h"
#include "sip/ClientAuthManager.h"
#include "sip/ClientRegistrationHandler.h"
#include "sip/DialogUsageManager.h"
#include "sip/DumShutdownHandler.h"
#include "sip/MasterProfile.h"
#include "sip/NameAddr.h"
#include "sip/SipStack.h"

// The login form's SIP user agent: builds the stack at log-in, registers the account, polls
// the stack from timer 0, opens the main call window on the first success and takes the
// stack down at logout, after a failed login and at exit. The window operations go through a
// LoginView, which the skinned form supplies.
//
// Threads: the GUI thread only; every SIP callback arrives inside the poll (timer 0) or the
// inline polling of Logout.
class CUserLogin : public sipua::ClientRegistrationHandler,
                   public sipua::DumShutdownHandler,
                   public LoginLink {
public:
    using StackFactory = std::function<std::unique_ptr<sipua::SipStack>()>;
    // Resolves a host name to dotted IPv4 text; false when it cannot.
    using HostResolver = std::function<bool(const std::string& host, std::string* dotted)>;

    static constexpr unsigned kTimerSipPoll = 0;
    static constexpr unsigned kTimerDeleteSip = 1001;
    static constexpr unsigned kTimerExit = 1004;
    static constexpr unsigned kTimerRetryRegistration = 1005;
    static constexpr unsigned kTimerRelogin = 1006;
    static constexpr unsigned kTimerCaret = 5000;

    static constexpr unsigned kMsgExitQuestion = 3;
    static constexpr unsigned kMsgCannotLogIn = 7;
    static constexpr unsigned kMsgPortInUse = 9;
    static constexpr unsigned kMsgNoPhoneNumber = 10;

    static constexpr int kRegistrationSeconds = 30;
    static constexpr int kSipPort = 5060;
    static constexpr int kProxyPort = 5082;
    static constexpr unsigned kPollPeriodMs = 300;
    static constexpr unsigned kPollWaitMs = 100;
    static constexpr unsigned kRetryRegistrationMs = 30000;
    static constexpr unsigned kLogoutGiveUpSeconds = 1;
    static constexpr unsigned kExitGiveUpSeconds = 5;

    CUserLogin(LoginView& view, DeploymentSettings settings,
               StackFactory factory = sipua::MakeLibreSipStack,
               HostResolver resolver = ResolveHost);
    ~CUserLogin() override;
    CUserLogin(const CUserLogin&) = delete;
    CUserLogin& operator=(const CUserLogin&) = delete;

    // Skin command 102 (also Enter, OK and the handset's log-in key).
    void OnLoginCommand();
    bool StartSip();
    void OnTimer(unsigned id);
    // The suspend logout, called by the call window when the computer suspends.
    void Logout() override;
    void EndLoginAttempt();
    // The exit path.
    void OnCancel() override;
    // Resume after suspend (power broadcast 7).
    void OnPowerResume();
    // A power event, delivered as the power broadcast to the call window first (a suspend
    // hangs up and logs out there) and then to the form (a resume signs in again 10 s later).
    // The call window's answer; 0 without one.
    intptr_t OnPowerBroadcast(unsigned event);
    // A downloaded update is ready while signed in: hides the call window, ends the program
    // in 6 s (timer 1004) and removes the registration's bindings. False, doing nothing,
    // when there is no call window.
    bool EndForUpdate();

    // What the call window reads.
    sipua::SipStack* GetSipStack() const { return m_pStack.get(); }
    sipua::DialogUsageManager* GetDum() const override { return m_pDum.get(); }
    const std::string& GetSipServerAddress() const override { return m_SipServerAddress; }
    std::string GetUserName() const override { return m_View.GetUserText(); }
    const std::string& GetPublicHost() const override { return m_PublicHost; }
    bool IsTrayIconEmbedded() const override { return m_View.IsTrayIconEmbedded(); }
    CallWindow* GetMakeCall() const { return m_pMakeCall; }
    bool IsExiting() const { return m_bExiting; }

    // sipua::ClientRegistrationHandler
    void onSuccess(sipua::ClientRegistrationHandle h, const sipua::SipMessage& response) override;
    void onRemoved(sipua::ClientRegistrationHandle h, const sipua::SipMessage& response) override;
    int onRequestRetry(sipua::ClientRegistrationHandle h, int retrySeconds,
                       const sipua::SipMessage& response) override;
    void onFailure(sipua::ClientRegistrationHandle h, const sipua::SipMessage& response) override;
    // sipua::DumShutdownHandler
    void onDumCanBeDeleted() override;

    // getaddrinfo's first IPv4 address.
    static bool ResolveHost(const std::string& host, std::string* dotted);

private:
    void PollSip();
    void OnDeleteTimer();
    void DeleteSipObjects();
    void OnRetryRegistrationTimer();
    void OnReloginTimer();
    void SaveLastLogin();
    // A host name's address: resolved (and cached under `cacheKey`), else the cached address
    // when it is one, else the name itself.
    std::string ResolveWithCache(const std::string& host, const char* cacheKey);
    std::string PublicHostOf(const sipua::SipMessage& response) const;

    LoginView& m_View;
    DeploymentSettings m_Settings;
    StackFactory m_StackFactory;
    HostResolver m_Resolver;

    CallWindow* m_pMakeCall = nullptr;
    bool m_bExiting = false;
    std::string m_PublicHost;
    std::unique_ptr<sipua::DialogUsageManager> m_pDum;
    std::string m_SipServerAddress;
    bool m_bRegisterSent = false;
    bool m_bShutdownDone = false;
    std::unique_ptr<sipua::SipStack> m_pStack;
    std::shared_ptr<sipua::MasterProfile> m_Profile;
    std::unique_ptr<sipua::ClientAuthManager> m_pAuthManager; // null once handed over
    sipua::ClientRegistrationHandle m_hRegistration;
    bool m_bRelogin = false;
};

// The login form, while it exists.
extern CUserLogin* g_pLogin;
