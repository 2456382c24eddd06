// Counter index and byte offset arithmetic over a process's statistics block.
#include "archive/stattype.h"
#include "host/utlexit.h"
#include "shrpc/shrpclayout.h"

namespace {

uintptr_t statAddrForOffset(const ShrPcStatsSType* block, int byteOffset, BoolType* is64,
                            BoolType (*isOffsetOf64BitStat)(int)) {
  UTL_GUARANTEE(byteOffset >= 0 && byteOffset < (int)sizeof(ShrPcStatsSType) && byteOffset % 4 == 0);
  *is64 = FALSE;
  if (byteOffset >= ShrPcStatsSType::UNION_OFFSET && isOffsetOf64BitStat(byteOffset - ShrPcStatsSType::UNION_OFFSET)) {
    UTL_GUARANTEE(byteOffset % 8 == 0);
    *is64 = TRUE;
  }
  return (uintptr_t)block + (uintptr_t)byteOffset;
}

int64_t statForOffset(uintptr_t addr, BoolType is64) {
  if (is64) return *(const volatile int64_t*)addr;
  return (int64_t)(int32_t)*(const volatile uint32_t*)addr;
}

}  // namespace

static_assert(ShrPcStatsSType::MONITOR_NUM_NAMED_STATS == 154, "monitor named counters");
static_assert(ShrPcStatsSType::KEEPER_NUM_NAMED_STATS == 302, "keeper named counters");
static_assert(ShrPcStatsSType::ENVOY_NUM_NAMED_STATS == 223, "envoy named counters");

// The index arithmetic belongs to the statistic catalogue; both must place the
// kind-specific block alike.
static_assert(ShrPcStatsSType::UNION_OFFSET == STATTYPE_UNION_OFFSET, "kind-specific block offset");

int ShrPcStatsSType::byteOffsetForMonitorStatIndex(int index) {
  return StatTypeByteOffsetForIndex(STATTYPE_KIND_MONITOR, index);
}
int ShrPcStatsSType::byteOffsetForKeeperStatIndex(int index) {
  return StatTypeByteOffsetForIndex(STATTYPE_KIND_KEEPER, index);
}
int ShrPcStatsSType::byteOffsetForEnvoyStatIndex(int index) {
  return StatTypeByteOffsetForIndex(STATTYPE_KIND_ENVOY, index);
}

uintptr_t ShrPcStatsSType::monitorStatAddrForOffset(int byteOffset, BoolType* is64) const {
  return statAddrForOffset(this, byteOffset, is64, ShrPcMonitorStatSType::isOffsetOf64BitStat);
}
uintptr_t ShrPcStatsSType::keeperStatAddrForOffset(int byteOffset, BoolType* is64) const {
  return statAddrForOffset(this, byteOffset, is64, ShrPcKeeperStatSType::isOffsetOf64BitStat);
}
uintptr_t ShrPcStatsSType::envoyStatAddrForOffset(int byteOffset, BoolType* is64) const {
  return statAddrForOffset(this, byteOffset, is64, ShrPcEnvoyStatSType::isOffsetOf64BitStat);
}

int64_t ShrPcStatsSType::monitorStatForOffset(int byteOffset) const {
  BoolType is64;
  uintptr_t addr = monitorStatAddrForOffset(byteOffset, &is64);
  return statForOffset(addr, is64);
}
int64_t ShrPcStatsSType::keeperStatForOffset(int byteOffset) const {
  BoolType is64;
  uintptr_t addr = keeperStatAddrForOffset(byteOffset, &is64);
  return statForOffset(addr, is64);
}
int64_t ShrPcStatsSType::envoyStatForOffset(int byteOffset) const {
  BoolType is64;
  uintptr_t addr = envoyStatAddrForOffset(byteOffset, &is64);
  return statForOffset(addr, is64);
}
