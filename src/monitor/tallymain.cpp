// The program's driver: the start-up steps in their fixed order, then the
// sampling loop. Every path ends in UtlExit.
#include <cstdio>

#include "archive/hoststatwriter.h"
#include "host/hostinit.h"
#include "host/hostsignal.h"
#include "host/netsocket.h"
#include "host/utlexit.h"
#include "host/vermsg.h"
#include "monitor/tallymgr.h"

int tallyMain(int argc, char** argv) {
  HostInit();
  UtlHeapInit();

  TallyMgr* manager = TallyGetStatMgr();
  HostStatWriter* writer = TallyGetStatWriter();

  // From here a fault or an interrupt runs the shutdown path.
  HostInstallFaultHandler(TallyShutdown, nullptr, TRUE);
  HostEnableKbInt(TallyKeyBoardInt);

  SysErrorSType err;
  if (!NetSocketInit(&err)) {
    printf("NetSocketInit failed %s\n", err.errMsg);
    UtlExit(3, FALSE);
    return 3;
  }

  writer->init(manager);
  manager->init(writer);
  manager->tallyParseArgs(argc, const_cast<const char**>(argv));
  manager->TallyInit();

  // The sampling loop opens the host statistics again and checks the result there.
  (void)writer->HostStatsInit();

  if (!manager->quietMode) {
    VerBannerTally(stderr);
    VerEndEdge(stderr);
  }
  if (!manager->startupCover()) {
    UtlExit(3, FALSE);
    return 3;
  }
  manager->TallySloop();
}
