// Writes one message through the program's global trace log and exits, so a test can check
// the banners that static start-up and exit write.
#include "app/trace/GlobalTrace.h"

int main() {
    WriteTraceMessage(g_pTrace.load(), "sonda", 7);
    return g_pTrace.load() == &g_Trace ? 0 : 1;
}
