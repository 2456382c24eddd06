// Counter index and byte offset arithmetic over a process's statistics block.
#include "host/utlexit.h"
#include "shrpc/shrpclayout.h"

namespace {

// Counters after processId and sessionId that are 32-bit: the common ones and the kind's own.
const int MONITOR_K = SHRPC_NUM_COMMON_STATS + SHRPC_MONITOR_NUM_STATS32;  // 135
const int KEEPER_K = SHRPC_NUM_COMMON_STATS + SHRPC_KEEPER_NUM_STATS32;    // 237
const int ENVOY_K = SHRPC_NUM_COMMON_STATS + SHRPC_ENVOY_NUM_STATS32;      // 167

int byteOffsetForIndex(int index, int k, int numNamed, int first64) {
  UTL_GUARANTEE(index >= 0 && index < numNamed);
  if (index < k) return (int)offsetof(ShrPcStatsSType, cmn) + 4 * index;
  return ShrPcStatsSType::UNION_OFFSET + first64 + 8 * (index - k);
}

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

int ShrPcStatsSType::byteOffsetForMonitorStatIndex(int index) {
  return byteOffsetForIndex(index, MONITOR_K, MONITOR_NUM_NAMED_STATS, ShrPcMonitorStatSType::FIRST_64BIT_STAT_OFFSET);
}
int ShrPcStatsSType::byteOffsetForKeeperStatIndex(int index) {
  return byteOffsetForIndex(index, KEEPER_K, KEEPER_NUM_NAMED_STATS, ShrPcKeeperStatSType::FIRST_64BIT_STAT_OFFSET);
}
int ShrPcStatsSType::byteOffsetForEnvoyStatIndex(int index) {
  return byteOffsetForIndex(index, ENVOY_K, ENVOY_NUM_NAMED_STATS, ShrPcEnvoyStatSType::FIRST_64BIT_STAT_OFFSET);
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
