#pragma once
#include <string>

// What the update client needs of the login form that owns it. GUI thread only.
class UpdateHost {
public:
    virtual void SetTimer(unsigned id, unsigned ms) = 0;
    virtual void KillTimer(unsigned id) = 0;
    // Shows a message box owned by the main call window when it exists, else by the form, with
    // the product name as caption; the button pressed.
    virtual int ShowMessageText(const std::string& text, unsigned flags) = 0;
    // After "download completed": with a call window, hide it, start the exit timer 1004, set
    // the exiting flag, remove the registration's bindings (when still reachable) and the tray
    // icon; without one, hide the form and end its dialog.
    virtual void EndProgramForUpdate() = 0;

protected:
    ~UpdateHost() = default;
};
