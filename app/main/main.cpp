// quorvex: the softphone. Its whole life is the login form's modal loop.
#include "app/main/Cu7daxApp.h"
#include "platform/core/ModuleVersion.h"

QUORVEX_VERSION_STAMP(QUORVEX_VERSION_TEXT);

int main() {
    theApp.InitInstance();
    return theApp.ExitCode();
}
