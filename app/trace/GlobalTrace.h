#pragma once
#include "app/trace/TraceFile.h"

// The program's one trace log, built during static initialisation (before anything else of
// the program runs) and published as g_pTrace. It is never destroyed: at exit it is
// unpublished, then closed with its end banner, so a thread that still writes finds either no
// log or a closed one, never a freed lock. Only binaries that name g_Trace get it.
extern TraceFile& g_Trace;

// Builds the object g_Trace names: opens the log and, at exit, unpublishes and closes it.
// Called once, by g_Trace's definition.
TraceFile& MakeGlobalTrace();
