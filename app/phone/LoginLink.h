#pragma once
#include <string>

namespace sipua {
class DialogUsageManager;
}

// What the call window reaches of the login form: the SIP objects, the service's address,
// the signed-in user, the public host, the two ways out (the suspend logout and the exit
// question) and whether a hidden window can come back through the tray icon. GUI thread only.
class LoginLink {
public:
    virtual ~LoginLink() = default;
    virtual sipua::DialogUsageManager* GetDum() const = 0;
    virtual const std::string& GetSipServerAddress() const = 0;
    virtual std::string GetUserName() const = 0;
    virtual const std::string& GetPublicHost() const = 0;
    virtual void Logout() = 0;
    virtual void OnCancel() = 0;
    // Whether a notification area holds the program's tray icon, the only way back to a
    // hidden window. Without one the hide buttons minimise instead.
    virtual bool IsTrayIconEmbedded() const { return false; }
};
