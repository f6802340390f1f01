#include "app/main/Cu7daxApp.h"

#include <cstdio>

#include "app/login/LoginForm.h"
#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"
#include "platform/ui/GtkRuntime.h"
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
    if (form.DoModal() < 0) {
        AppTrace("Cu7daxApp::InitInstance: !DoModal");
        m_nExitCode = 1;
    }
    return false;
}
