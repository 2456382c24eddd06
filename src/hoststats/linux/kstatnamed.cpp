#include "hoststats/linux/kstatnamed.h"

#include <cstring>

#include "hoststats/linux/kstatimpl.h"

namespace {

// One named value: its name, type, and how it is taken from In; a null get is
// a figure Linux does not give (0).
template <typename In>
struct NamedField {
  const char* name;
  KstatDataType type;
  uint64_t (*get)(const In& in);
};

const KstatDataType U32 = KSTAT_DATA_UINT32;
const KstatDataType U64 = KSTAT_DATA_UINT64;

const NamedField<SystemMiscInputs> kSystemMisc[] = {
    {"ncpus", U32, [](const SystemMiscInputs& in) -> uint64_t { return in.stat.cpus.size(); }},
    {"nproc", U32, [](const SystemMiscInputs& in) { return in.processCount; }},
    {"avenrun_1min", U32, [](const SystemMiscInputs& in) -> uint64_t { return in.loadavg.avenrun[0]; }},
    {"avenrun_5min", U32, [](const SystemMiscInputs& in) -> uint64_t { return in.loadavg.avenrun[1]; }},
    {"avenrun_15min", U32, [](const SystemMiscInputs& in) -> uint64_t { return in.loadavg.avenrun[2]; }},
    {"boot_time", U32, [](const SystemMiscInputs& in) { return in.stat.btime; }},
    // 100 Hz clock ticks since boot
    {"clk_intr", U32, [](const SystemMiscInputs& in) { return (uint64_t)(in.uptimeNs / 10000000); }},
};

const NamedField<SystemPagesInputs> kSystemPages[] = {
    {"physmem", U64, [](const SystemPagesInputs& in) { return in.mem.memTotal / in.kbPerPage; }},
    {"freemem", U64, [](const SystemPagesInputs& in) { return in.mem.memAvailable / in.kbPerPage; }},
    // memory that can still be locked
    {"availrmem", U64,
     [](const SystemPagesInputs& in) {
       return (in.mem.memTotal > in.mem.unevictable ? in.mem.memTotal - in.mem.unevictable : 0) / in.kbPerPage;
     }},
    {"pageslocked", U64, [](const SystemPagesInputs& in) { return in.mem.mlocked / in.kbPerPage; }},
    {"pagestotal", U64, [](const SystemPagesInputs& in) { return in.mem.memTotal / in.kbPerPage; }},
};

// An interface value; loopback interfaces publish only the rows marked so.
struct NetField {
  NamedField<ProcNetDev> field;
  bool loopback;
};
template <uint64_t ProcNetDev::*counter>
uint64_t net(const ProcNetDev& n) {
  return n.*counter;
}
const NetField kNetwork[] = {
    {{"ipackets", U32, net<&ProcNetDev::rxPackets>}, true},
    {{"ierrors", U32, net<&ProcNetDev::rxErrs>}, false},
    {{"opackets", U32, net<&ProcNetDev::txPackets>}, true},
    {{"oerrors", U32, net<&ProcNetDev::txErrs>}, false},
    {{"collisions", U32, net<&ProcNetDev::txColls>}, false},
    {{"rbytes", U32, net<&ProcNetDev::rxBytes>}, false},
    {{"obytes", U32, net<&ProcNetDev::txBytes>}, false},
    {{"multircv", U32, net<&ProcNetDev::rxMulticast>}, false},
    {{"multixmt", U32, nullptr}, false},
    {{"brdcstrcv", U32, nullptr}, false},
    {{"brdcstxmt", U32, nullptr}, false},
    {{"norcvbuf", U32, net<&ProcNetDev::rxDrop>}, false},
    {{"noxmtbuf", U32, net<&ProcNetDev::txDrop>}, false},
    {{"ipackets64", U64, net<&ProcNetDev::rxPackets>}, false},
    {{"opackets64", U64, net<&ProcNetDev::txPackets>}, false},
    {{"rbytes64", U64, net<&ProcNetDev::rxBytes>}, false},
    {{"obytes64", U64, net<&ProcNetDev::txBytes>}, false},
};

const NamedField<uint64_t> kDiskErrors[] = {
    {"Soft Errors", U32, nullptr},
    {"Hard Errors", U32, [](const uint64_t& ioerrCount) { return ioerrCount; }},  // commands that ended in error
    {"Transport Errors", U32, nullptr},
    {"Media Error", U32, nullptr},
    {"Device Not Ready", U32, nullptr},
    {"No Device", U32, nullptr},
    {"Recoverable", U32, nullptr},
    {"Illegal Request", U32, nullptr},
    {"Predictive Failure Analysis", U32, nullptr},
};

template <typename In>
void bind(KstatSource* src, const NamedField<In>& f) {
  KstatNamed kn;
  memset(&kn, 0, sizeof kn);
  size_t n = strlen(f.name) < (size_t)KSTAT_STRLEN - 1 ? strlen(f.name) : (size_t)KSTAT_STRLEN - 1;
  memcpy(kn.name, f.name, n);
  kn.dataType = f.type;
  src->named.push_back(kn);
}

template <typename In>
void fill(KstatNamed* kn, const NamedField<In>& f, const In& in) {
  if (f.get == nullptr) return;
  uint64_t value = f.get(in);
  if (kn->dataType == KSTAT_DATA_UINT64 || kn->dataType == KSTAT_DATA_INT64)
    kn->value.ui64 = value;
  else
    kn->value.ui32 = (uint32_t)value;
}

template <typename In, size_t N>
void bindAll(KstatSource* src, const NamedField<In> (&table)[N]) {
  for (const NamedField<In>& f : table) bind(src, f);
}

template <typename In, size_t N>
void fillAll(KstatSource* src, const NamedField<In> (&table)[N], const In& in) {
  for (size_t i = 0; i < N; i++) fill(&src->named[i], table[i], in);
}

}  // namespace

void bindNamedValues(KstatSource* src) {
  src->named.clear();
  switch (src->id.type) {
    case KS_SYSTEM_MISC: bindAll(src, kSystemMisc); break;
    case KS_SYSTEM_PAGES: bindAll(src, kSystemPages); break;
    case KS_DISK_ERR: bindAll(src, kDiskErrors); break;
    case KS_NET_SIMPLE:
    case KS_NET_COMPLEX:
      for (const NetField& f : kNetwork)
        if (f.loopback || src->id.type == KS_NET_COMPLEX) bind(src, f.field);
      break;
    default: break;
  }
}

void fillSystemMisc(KstatSource* src, const SystemMiscInputs& in) { fillAll(src, kSystemMisc, in); }
void fillSystemPages(KstatSource* src, const SystemPagesInputs& in) { fillAll(src, kSystemPages, in); }
void fillDiskErrors(KstatSource* src, uint64_t ioerrCount) { fillAll(src, kDiskErrors, ioerrCount); }

void fillNetwork(KstatSource* src, const ProcNetDev& line) {
  size_t i = 0;
  for (const NetField& f : kNetwork)
    if (f.loopback || src->id.type == KS_NET_COMPLEX) fill(&src->named[i++], f.field, line);
}
