// TEMPORARY: a weak stand-in for the version text, so that the header links
// before the version module lands. The real definition replaces it; delete this
// file once it exists.
#include "buildinfo.h"
#include "host/vermsg.h"

__attribute__((weak)) const char* VerQLVersion() { return TALLY_VERSION_NUMBER ", " TALLY_BUILD_DATE; }
