// The global trace log for binaries without the program's own static objects (tools, tests).
// The program defines g_Trace in app/main/ProgramStatics.cpp, in its place among the other
// static objects, and this file is then never linked: it must define nothing else.
#include "app/trace/GlobalTrace.h"

TraceFile& g_Trace = MakeGlobalTrace();
