// The file version of libTamsor.so, read back by the program's trace-log banner.
#include "platform/core/ModuleVersion.h"

QUORVEX_VERSION_STAMP(TAMSOR_VERSION_TEXT);
