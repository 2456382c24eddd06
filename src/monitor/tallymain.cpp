#include <cstdio>

#include "buildinfo.h"

// Start-up driver; the full sequence of start-up steps is being built.
int tallyMain(int argc, char** argv) {
  (void)argc;
  printf("%s %s BUILD: %s\n", "tallyscope", TALLY_VERSION_NUMBER, TALLY_BUILD_ID);
  (void)argv;
  return 0;
}
