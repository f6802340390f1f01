#pragma once
#include "platform/res/ResourceModule.h"

// The program's own module: the built-in skin (header, identity, font face, artwork) and the
// program's string table, linked into the program. Loaded from those bytes on first use and
// never freed; GUI thread.
plat::ResourceModule* ProgramModule();
