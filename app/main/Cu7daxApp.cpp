#include "app/main/Cu7daxApp.h"

#include <cstdio>

#include "app/login/LoginForm.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/ui/GtkRuntime.h"
#include "platform/ui/TerminationSignal.h"
#include "skin/zel_Label.h"

bool Cu7daxApp::InitInstance() {
    plat::KeepGlOff();
    if (!plat::EnsureGtk()) {
        AppTrace("Cu7daxApp::InitInstance: no hay pantalla (DISPLAY)");
        std::fprintf(stderr, "quorvex: cannot open the display\n");
        m_nExitCode = 1;
        return false;
    }
    zel_Label::SetStringLoader(LoadCString);
    LoginForm form;
    // The end of the session (SIGTERM) or Ctrl+C ends the program as its exit timer does, once
    // the update worker has stopped: a download it was running has removed its partial file by
    // then, even when a modal dialog keeps the program from ending until it is answered.
    const plat::TerminationSignal ending([&form](int signal) {
        AppTrace("Cu7daxApp: senal de terminacion, fin del programa, signal=", signal);
        form.Update().Stop();
        form.Update().Join();
        form.EndDialog();
    });
    if (form.DoModal() < 0) {
        AppTrace("Cu7daxApp::InitInstance: !DoModal");
        m_nExitCode = 1;
    }
    return false;
}
