#include "app/login/CallWindowFactory.h"

#include "app/call/CMakeCall.h"
#include "app/login/CUserLogin.h"
#include "app/login/LoginForm.h"
#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFiles.h"
#include "app/trace/TraceFile.h"
#include "skin/SkinResources.h"

namespace {

// The call window cannot be built from the current skin file: both forms are built from the
// program's own skin before the file goes (no control keeps a place inside it). The `Skin`
// setting stays, as at a start that gives way to the built-in skin.
void FallBackToBuiltInSkin(CMakeCall& window, LoginForm& form) {
    AppTrace("MakeCallWindow: el skin no tiene todos los controles: vuelve el incorporado");
    g_SkinModule = ProgramModule();
    GetUiFontFace();
    const bool windowBuilt = window.ApplySkin();
    if (!form.ApplySkin() || !windowBuilt) {
        AppTrace("MakeCallWindow: el skin incorporado no tiene todos los controles");
    }
    LoadedSkinModule().reset();
}

} // namespace

CallWindow* MakeCallWindow(LoginForm& form, CUserLogin& login, CallWindow** slot) {
    auto* window = new CMakeCall(form, form.PortTarget(), login, slot);
    if (!window->Make()) {
        AppTrace("MakeCallWindow: !Create");
        delete window;
        return nullptr;
    }
    if (!window->IsSkinBuilt() && g_SkinModule != ProgramModule()) {
        FallBackToBuiltInSkin(*window, form);
    }
    return window;
}
