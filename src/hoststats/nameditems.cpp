// Binding the named values of kernel statistics objects to record fields.
#include <cstring>

#include "host/utlexit.h"
#include "hoststats/hoststatsstate.h"

uint64_t localMemPageSizeKb = 4;

uint32_t doubleBits(double value) {
  float f = (float)value;
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

uint32_t loadAvgFilter(uint64_t value) { return doubleBits((double)value / 256.0); }

uint32_t memPageFilter(uint64_t value) { return (uint32_t)((value * localMemPageSizeKb) >> 10); }

namespace {

const namedItem kSystemNamedData[] = {
    {"ncpus", -1, SYSTEM_CPUCOUNT, nullptr},
    {"nproc", -1, SYSTEM_PROCCOUNT, nullptr},
    {"avenrun_1min", -1, SYSTEM_LOADAV1, loadAvgFilter},
    {"avenrun_5min", -1, SYSTEM_LOADAV5, loadAvgFilter},
    {"avenrun_15min", -1, SYSTEM_LOADAV15, loadAvgFilter},
    {nullptr, -1, -1, nullptr}};

const namedItem kSyspagesNamedData[] = {
    {"physmem", -1, SYSPAGES_PHYSMEM, memPageFilter},
    {"freemem", -1, SYSPAGES_FREEMEM, memPageFilter},
    {"availrmem", -1, SYSPAGES_AVAILRMEM, memPageFilter},
    {"pageslocked", -1, SYSPAGES_LOCKED, nullptr},
    {"pagestotal", -1, SYSPAGES_TOTAL, nullptr},
    {nullptr, -1, -1, nullptr}};

const namedItem kSnetNamedData[] = {
    {"ipackets", -1, SNET_IPACKETS, nullptr}, {"opackets", -1, SNET_OPACKETS, nullptr}, {nullptr, -1, -1, nullptr}};

const namedItem kCnetNamedData[] = {
    {"ipackets", -1, CNET_IPACKETS, nullptr},   {"ierrors", -1, CNET_IERRORS, nullptr},
    {"opackets", -1, CNET_OPACKETS, nullptr},   {"oerrors", -1, CNET_OERRORS, nullptr},
    {"collisions", -1, CNET_COLLISIONS, nullptr}, {"rbytes", -1, CNET_RBYTES, nullptr},
    {"obytes", -1, CNET_OBYTES, nullptr},       {"multircv", -1, CNET_MULTIRCV, nullptr},
    {"multixmt", -1, CNET_MULTIXMT, nullptr},   {"brdcstrcv", -1, CNET_BRDCSTRCV, nullptr},
    {"brdcstxmt", -1, CNET_BRDCSTXMT, nullptr}, {"norcvbuf", -1, CNET_NORCVBUF, nullptr},
    {"noxmtbuf", -1, CNET_NOXMTBUF, nullptr},   {nullptr, -1, -1, nullptr}};

const namedItem kSderrNamedData[] = {
    {"Soft Errors", -1, SDERR_SOFT_ERRORS, nullptr},
    {"Hard Errors", -1, SDERR_HARD_ERRORS, nullptr},
    {"Transport Errors", -1, SDERR_TRANSPORT_ERRORS, nullptr},
    {"Media Error", -1, SDERR_MEDIA_ERROR, nullptr},
    {"Device Not Ready", -1, SDERR_DEVICE_NOT_READY, nullptr},
    {"No Device", -1, SDERR_NO_DEVICE, nullptr},
    {"Recoverable", -1, SDERR_RECOVERABLE, nullptr},
    {"Illegal Request", -1, SDERR_ILLEGAL_REQUEST, nullptr},
    {"Predictive Failure Analysis", -1, SDERR_PREDICTIVE_FAILURE_ANALYSIS, nullptr},
    {nullptr, -1, -1, nullptr}};

template <size_t N>
void copyTable(namedItem* dst, const namedItem (&src)[N]) {
  static_assert(N <= NAMED_TABLE_ROWS, "table too long");
  for (size_t i = 0; i < N; i++) dst[i] = src[i];
}

bool isInteger(uint8_t type) {
  return type == KSTAT_DATA_INT32 || type == KSTAT_DATA_UINT32 || type == KSTAT_DATA_INT64 ||
         type == KSTAT_DATA_UINT64;
}

const KstatNamed* namedValues(const Kstat* object) { return static_cast<const KstatNamed*>(object->data); }

}  // namespace

HostStatsState::HostStatsState(const std::string& rootDir, uint32_t pageSize)
    : root(rootDir), pageSizeOverride(pageSize) {
  copyTable(systemNamedData, kSystemNamedData);
  copyTable(syspagesNamedData, kSyspagesNamedData);
  copyTable(snetNamedData, kSnetNamedData);
  copyTable(cnetNamedData, kCnetNamedData);
  copyTable(sderrNamedData, kSderrNamedData);
}

HostStatsState::~HostStatsState() = default;

BoolType getNamedOffsets(const Kstat* object, namedItem* table) {
  const KstatNamed* kn = namedValues(object);
  for (namedItem* row = table; row->name != nullptr; row++) {
    row->srcIdx = -1;
    for (unsigned i = 0; kn != nullptr && i < object->ndata; i++) {
      if (isInteger(kn[i].dataType) && strcmp(kn[i].name, row->name) == 0) {
        row->srcIdx = (int)i;
        break;
      }
    }
    if (row->srcIdx == -1) {
      table[0].srcIdx = -1;
      return FALSE;
    }
  }
  return TRUE;
}

BoolType matchNamedOffsets(const Kstat* object, const namedItem* table) {
  const KstatNamed* kn = namedValues(object);
  for (const namedItem* row = table; row->name != nullptr; row++) {
    if (kn == nullptr || row->srcIdx < 0 || (unsigned)row->srcIdx >= object->ndata) return FALSE;
    if (strcmp(kn[row->srcIdx].name, row->name) != 0) return FALSE;
  }
  return TRUE;
}

void setNamedItemsInto(const Kstat* object, uint32_t* start, uint32_t* limit, const namedItem* table) {
  if (object == nullptr) return;
  const KstatNamed* kn = namedValues(object);
  const namedItem* row = table;
  uint32_t* dst = start;
  for (; row->dstIdx != -1 && dst < limit; row++, dst++) {
    UTL_GUARANTEE(row->srcIdx != -1);
    if (kn == nullptr || (unsigned)row->srcIdx >= object->ndata) continue;  // not read yet
    const KstatNamed& v = kn[row->srcIdx];
    uint64_t value = v.value.ui32;
    if (value == 0) value = v.value.ui64;
    *dst = row->filter ? row->filter(value) : (uint32_t)value;
  }
  UTL_GUARANTEE(row->dstIdx == -1 && dst <= limit);
}
