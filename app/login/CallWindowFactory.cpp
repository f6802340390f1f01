#include "app/login/CallWindowFactory.h"

#include "app/call/CMakeCall.h"
#include "app/login/CUserLogin.h"
#include "app/login/LoginForm.h"
#include "app/trace/TraceFile.h"

CallWindow* MakeCallWindow(LoginForm& form, CUserLogin& login, CallWindow** slot) {
    auto* window = new CMakeCall(form, form.PortTarget(), login, slot);
    if (!window->Make()) {
        AppTrace("MakeCallWindow: !Create");
        delete window;
        return nullptr;
    }
    return window;
}
