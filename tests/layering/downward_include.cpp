// Compiled as a source of the archive folder, includes of its own folder and
// of the folder below it are found: the layering test builds it as the control.
#include "archive/hoststatwriter.h"
#include "host/utlexit.h"

int downwardIncludeProbe(const HostStatWriter& w) { return w.spaceUsed(); }
