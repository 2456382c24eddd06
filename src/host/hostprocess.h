// Whether a process id names a live process.
#pragma once

#include "host/hosttypes.h"

// Probes with signal 0: success, or a refusal for lack of permission, means the
// process exists; an interrupted probe is repeated; any other error means it
// does not. pid must be above 0 (0 and negative ids name process groups).
BoolType HostProcessExists(int pid);
