// Compiled as a source of the archive folder, this include of the monitor (a
// higher folder) must not be found: the layering test builds it and expects
// the compiler to refuse exactly this line.
#include "archive/hoststatwriter.h"
#include "monitor/tallymgr.h"

int upwardIncludeProbe() { return DEFAULT_LIST_SIZE; }
