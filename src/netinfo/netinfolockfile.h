// The record at the start of a registry lock file (52 bytes, little-endian),
// written by the registered process and read by lookups. Five NUL-terminated
// strings follow it: log file, product directory, command line, and the two
// configuration files (empty when not given).
#pragma once

#include <cstddef>
#include <cstdint>

// Registration kinds (the kind field). 3 is a shared page cache, registered by
// its shared cache monitor; 0 registers nothing.
enum NetInfoEnum { NI_UNKNOWN = 0, NI_KEEPER = 1, NI_CACHE = 3 };

struct NetInfoQl64_3xSType {
  uint32_t _port;         //  0 port, network byte order in the low 16 bits
  uint32_t ftok_key;      //  4 System V IPC key (kind 3 only)
  int32_t processId;      //  8 pid of the registered process
  int32_t kind;           // 12 NetInfoEnum
  uint32_t creationTime;  // 16 seconds since the epoch; 0 = unknown
  char creator[16];       // 20 NUL-padded, not necessarily terminated
  char version[16];       // 36 same convention
};

static_assert(sizeof(NetInfoQl64_3xSType) == 52, "lock-file record size");
static_assert(offsetof(NetInfoQl64_3xSType, ftok_key) == 4, "ftok_key");
static_assert(offsetof(NetInfoQl64_3xSType, processId) == 8, "processId");
static_assert(offsetof(NetInfoQl64_3xSType, kind) == 12, "kind");
static_assert(offsetof(NetInfoQl64_3xSType, creationTime) == 16, "creationTime");
static_assert(offsetof(NetInfoQl64_3xSType, creator) == 20, "creator");
static_assert(offsetof(NetInfoQl64_3xSType, version) == 36, "version");
