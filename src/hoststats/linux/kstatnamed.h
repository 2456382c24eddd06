// The named values of the named objects: one table per kind of object, whose
// rows give each value's name, data type and source. The same rows create the
// values when an object is made and fill them at each read, so a name and its
// figure cannot drift apart. Internal to linux/.
#pragma once

#include <cstdint>

#include "hoststats/linux/loadavg.h"
#include "hoststats/linux/meminfo.h"
#include "hoststats/linux/netdev.h"
#include "hoststats/linux/procstat.h"

struct KstatSource;

// What "system_misc" is made of.
struct SystemMiscInputs {
  const ProcStat& stat;
  uint64_t processCount;
  const ProcLoadavg& loadavg;
  int64_t uptimeNs;
};
// What "system_pages" is made of: meminfo figures and the kilobytes of a page.
struct SystemPagesInputs {
  const MeminfoFigures& mem;
  uint64_t kbPerPage;
};

// Creates src's named values (all 0) for its kind; nothing for raw and I/O objects.
void bindNamedValues(KstatSource* src);
// Fill the values bound above from their sources.
void fillSystemMisc(KstatSource* src, const SystemMiscInputs& in);
void fillSystemPages(KstatSource* src, const SystemPagesInputs& in);
void fillNetwork(KstatSource* src, const ProcNetDev& line);
void fillDiskErrors(KstatSource* src, uint64_t ioerrCount);
