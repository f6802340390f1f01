#include "app/login/CallWindowFactory.h"

#include "app/trace/TraceFile.h"

CallWindow* MakeCallWindow(LoginForm&, CUserLogin&, CallWindow**) {
    AppTrace("MakeCallWindow: sin ventana");
    return nullptr;
}
