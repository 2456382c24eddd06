// Initialisation of the socket layer. The monitor's registry look-ups are all
// local, so it only needs the layer ready (SIGPIPE handling and the like).
#pragma once

#include "host/syserror.h"

BoolType NetSocketInit(SysErrorSType* err);
