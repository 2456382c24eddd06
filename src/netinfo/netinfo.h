// The cache registry: lock files of the global directory, read only and local only.
#pragma once

#include "host/hosttypes.h"
#include "host/syserror.h"

// A cache location argument: the location string "keepername~hostid".
struct ShrPcLocationArgType {
  char locationStr[1024];
};

// Finds the shared page cache on this host that serves keeperName; on success
// location->locationStr holds "keepername~hostid", on failure err->errMsg the reason.
BoolType NetInfoCacheNameForKeeper(const char* keeperName, ShrPcLocationArgType* location, SysErrorSType* err);
