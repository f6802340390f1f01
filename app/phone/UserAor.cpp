// The address of record for binaries without the program's own static objects (tests). The
// program defines it in app/main/ProgramStatics.cpp, in its place among the other static
// objects, and this file is then never linked: it must define nothing else.
#include "app/phone/UserAor.h"

sipua::NameAddr g_UserAor;
