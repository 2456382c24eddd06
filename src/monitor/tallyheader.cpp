// The header of each output file: this machine's name and the time of day go
// into the archive header, which is flushed to the file at once.
#include <cstdio>

#include "archive/header.h"
#include "archive/hoststatwriter.h"
#include "archive/hostsysinfo.h"
#include "host/vermsg.h"
#include "monitor/tallymgr.h"

void TallyMgr::printStatDescription() {
  char machine[128];
  HostGetSystemName(machine, sizeof(machine));
  char timeText[100];
  HostFormatHeaderTime(timeText, sizeof(timeText));
  TallyWriteStatDescription(statWriter, VerQLVersion(), machine, timeText);
  statWriter->flushBuffer();
}
