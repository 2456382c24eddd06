// TEMPORARY: weak stand-ins for two functions that the version texts and the
// sorted list provide, so that this part links before they land. A real
// definition replaces each; delete this file once both exist.
#include "buildinfo.h"
#include "host/utlexit.h"
#include "hoststats/sortedlist.h"

__attribute__((weak)) const char* VerQLVersion() { return TALLY_VERSION_NUMBER ", " TALLY_BUILD_DATE; }
__attribute__((weak)) void SortedList::add(int) { HostCallDebuggerMsg_fl("SortedList::add is not built yet", __FILE__, __LINE__); }
