// Writes one message through the program's global trace log and opens a settings hive that
// cannot be opened, then exits, so a test can check the banners that static start-up and exit
// write and the line the hive reports.
#include "app/trace/GlobalTrace.h"
#include "platform/core/Paths.h"
#include "platform/store/Registry.h"

int main() {
    WriteTraceMessage(g_pTrace.load(), "sonda", 7);
    plat::Registry unopenable(plat::JoinPath(plat::ConfigDir(), "no/such/registry.sqlite3"));
    return g_pTrace.load() == &g_Trace && !unopenable.IsOpen() ? 0 : 1;
}
