// The two process-wide singletons. Allocated on first use and never freed: the
// fault, interrupt and exit handlers reach them at any point of the run. Each
// is constructed in its allocation, so every member has its initial value.
#include <new>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"

TallyMgr* TallyGetStatMgr() {
  static TallyMgr* manager = nullptr;
  if (manager == nullptr) manager = new (UtlMallocHalt(sizeof(TallyMgr), "TallyMgr")) TallyMgr();
  return manager;
}

HostStatWriter* TallyGetStatWriter() {
  static HostStatWriter* writer = nullptr;
  if (writer == nullptr) writer = new (UtlMallocHalt(sizeof(HostStatWriter), "HostStatWriter")) HostStatWriter();
  return writer;
}
