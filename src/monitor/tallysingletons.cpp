// The two process-wide singletons. Allocated on first use and never freed: the
// fault, interrupt and exit handlers reach them at any point of the run.
#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"

TallyMgr* TallyGetStatMgr() {
  static TallyMgr* manager = nullptr;
  if (manager == nullptr) manager = static_cast<TallyMgr*>(UtlMallocHalt(sizeof(TallyMgr), "TallyMgr"));
  return manager;
}

HostStatWriter* TallyGetStatWriter() {
  static HostStatWriter* writer = nullptr;
  if (writer == nullptr) writer = static_cast<HostStatWriter*>(UtlMallocHalt(sizeof(HostStatWriter), "HostStatWriter"));
  return writer;
}
