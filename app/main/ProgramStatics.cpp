// The program's static objects, in the order they are built before main (and destroyed,
// reversed, after it): the account's address of record, the account's balance, the trace log,
// the application object. They live in this one file because C++ orders static construction
// only within a file. The library has stand-ins for the first three, for binaries without this
// file; the program's link takes these, so the stand-ins are never linked.
#include "app/call/AccountBalance.h"
#include "app/login/CUserLogin.h"
#include "app/main/Cu7daxApp.h"
#include "app/trace/GlobalTrace.h"

sipua::NameAddr g_UserAor;
AccountBalance g_Balance;
TraceFile& g_Trace = MakeGlobalTrace();
Cu7daxApp theApp;
