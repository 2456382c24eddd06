// Counter names of the host statistic types, in record order, and the table
// of host types that both the header and the records walk.
#pragma once

#include <cstdint>

#include "archive/stattype.h"
#include "host/hosttypes.h"
#include "hoststats/hoststatrecords.h"

class HostStatWriter;

// The five fixed field names are the catalogue's (archive/stattype.h).
static_assert(HOST_BASE_STAT_COUNT == STATTYPE_FIXED_COUNT, "host types share the fixed fields");
extern const char* const HostSystemStatNames[HOST_SYSTEM_STAT_COUNT];
extern const char* const HostCpuStatNames[HOST_CPU_STAT_COUNT];
extern const char* const HostDiskStatNames[HOST_DISK_STAT_COUNT];
extern const char* const HostPartitionStatNames[HOST_PARTITION_STAT_COUNT];
extern const char* const HostNetworkStatNames[HOST_NETWORK_STAT_COUNT];
extern const char* const HostComplexNetworkStatNames[HOST_COMPLEX_NETWORK_STAT_COUNT];
extern const char* const HostTcpStatNames[HOST_TCP_STAT_COUNT];
extern const char* const HostSystemPagesStatNames[HOST_SYSTEM_PAGES_STAT_COUNT];

// One host statistic type as the header declares it. `names` is null for the
// process type, whose names the archive's process header writes.
struct HostStatTypeDesc {
  const char* typeName;
  const char* const* names;
  int count;
  const char* closing;                 // text between the names and the type id
  uint32_t HostStatWriter::*typeId;    // where the id given to the type is kept
  BoolType (*present)(const HostStatWriter&);
};

extern const HostStatTypeDesc HostStatTypes[];
extern const int HostStatTypeCount;
