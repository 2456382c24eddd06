// Filling one object from its files. docs/hoststats-linux.md gives the source
// of every figure.
#include <cerrno>
#include <cstring>

#include "hoststats/linux/kstatimpl.h"

namespace {

const int64_t NS_PER_SEC = 1000000000;
const int64_t NS_PER_MS = 1000000;

template <typename T>
T* rawRecord(Kstat* ks) {
  KstatSource* src = ks->source;
  if (src->bytes.size() != sizeof(T)) src->bytes.assign(sizeof(T), 0);
  return reinterpret_cast<T*>(src->bytes.data());
}

// The line of the device or interface that src names, looked for first where it
// was last found (lines keep their order between samples), else by a walk that
// remembers the new place. Null when it is gone.
template <typename Line>
const Line* findLine(const std::vector<Line>& lines, KstatSource* src) {
  if (src->cacheIndex < lines.size() && lines[src->cacheIndex].name == src->id.name) return &lines[src->cacheIndex];
  for (size_t i = 0; i < lines.size(); i++) {
    if (lines[i].name == src->id.name) {
      src->cacheIndex = i;
      return &lines[i];
    }
  }
  return nullptr;
}

void publishRaw(Kstat* ks) {
  ks->data = ks->source->bytes.data();
  ks->dataSize = ks->source->bytes.size();
}

void publishNamed(Kstat* ks) {
  ks->data = ks->source->named.data();
  ks->dataSize = ks->source->named.size() * sizeof(KstatNamed);
  ks->ndata = (unsigned)ks->source->named.size();
}

void setNamed(Kstat* ks, size_t index, uint64_t value) {
  KstatNamed& kn = ks->source->named[index];
  if (kn.dataType == KSTAT_DATA_UINT64 || kn.dataType == KSTAT_DATA_INT64)
    kn.value.ui64 = value;
  else
    kn.value.ui32 = (uint32_t)value;
}

// Whole seconds since the object's last accumulation; the fraction is carried
// to the next read so that no time is lost or counted twice.
uint64_t elapsedSeconds(KstatSource* src, int64_t nowNs) {
  if (src->lastAccumNs < 0 || nowNs < src->lastAccumNs) {
    src->lastAccumNs = nowNs;  // first read, or the clock went back: start again
    return 0;
  }
  uint64_t secs = (uint64_t)((nowNs - src->lastAccumNs) / NS_PER_SEC);
  src->lastAccumNs += (int64_t)secs * NS_PER_SEC;
  return secs;
}

}  // namespace

bool KstatCtl::Impl::readObject(Kstat* ks) {
  switch (ks->source->id.type) {
    case KS_SYSINFO:
      return readSysinfo(ks);
    case KS_VMINFO:
      return readVminfo(ks);
    case KS_SYSTEM_MISC:
      return readSystemMisc(ks);
    case KS_SYSTEM_PAGES:
      return readSystemPages(ks);
    case KS_CPU:
      return readCpu(ks);
    case KS_DISK:
    case KS_PARTITION:
      return readIo(ks);
    case KS_DISK_ERR:
      return readDiskErrors(ks);
    case KS_NET_SIMPLE:
    case KS_NET_COMPLEX:
      return readNet(ks);
  }
  return fail("unknown object", EINVAL);
}

bool KstatCtl::Impl::readSysinfo(Kstat* ks) {
  KstatSource* src = ks->source;
  if (!take(src, KF_STAT) || !take(src, KF_UPTIME)) return false;
  KstatSysinfo* si = rawRecord<KstatSysinfo>(ks);
  uint32_t secs = (uint32_t)elapsedSeconds(src, uptimeNs);
  si->updates += secs;
  si->runque += (uint32_t)stat.procsRunning * secs;
  si->runocc += stat.procsRunning > 0 ? secs : 0;
  si->waiting += (uint32_t)stat.procsBlocked * secs;
  publishRaw(ks);
  return true;
}

bool KstatCtl::Impl::readVminfo(Kstat* ks) {
  KstatSource* src = ks->source;
  std::string err;
  if (!take(src, KF_MEMINFO) || !take(src, KF_UPTIME)) return false;
  uint64_t memFree, swapTotal, swapFree, commitLimit, committed;
  if (!procLookup(meminfo, "MemFree", &memFree, &err) || !procLookup(meminfo, "SwapTotal", &swapTotal, &err) ||
      !procLookup(meminfo, "SwapFree", &swapFree, &err) ||
      !procLookup(meminfo, "CommitLimit", &commitLimit, &err) ||
      !procLookup(meminfo, "Committed_AS", &committed, &err))
    return fail(path("/proc/meminfo") + ": " + err, EINVAL);
  uint64_t avail = procLookupOptional(meminfo, "MemAvailable");
  if (avail == 0) avail = memFree;  // kernels before 3.14 have no MemAvailable
  uint64_t kbPerPage = kilobytesPerPage(pageSize);
  KstatVminfo* vi = rawRecord<KstatVminfo>(ks);
  uint64_t secs = elapsedSeconds(src, uptimeNs);
  vi->updates += secs;
  vi->freemem += avail / kbPerPage * secs;
  vi->swap_resv += committed / kbPerPage * secs;
  vi->swap_alloc += (swapTotal > swapFree ? swapTotal - swapFree : 0) / kbPerPage * secs;
  vi->swap_avail += (commitLimit > committed ? commitLimit - committed : 0) / kbPerPage * secs;
  vi->swap_free += swapFree / kbPerPage * secs;
  publishRaw(ks);
  return true;
}

bool KstatCtl::Impl::readSystemMisc(Kstat* ks) {
  KstatSource* src = ks->source;
  if (!take(src, KF_STAT) || !take(src, KF_LOADAVG) || !take(src, KF_PROCDIR) || !take(src, KF_UPTIME))
    return false;
  setNamed(ks, 0, stat.cpus.size());
  setNamed(ks, 1, processCount);
  for (int i = 0; i < 3; i++) setNamed(ks, 2 + i, loadavg.avenrun[i]);
  setNamed(ks, 5, stat.btime);
  setNamed(ks, 6, (uint64_t)(uptimeNs / (NS_PER_SEC / 100)));  // 100 Hz clock ticks since boot
  publishNamed(ks);
  return true;
}

bool KstatCtl::Impl::readSystemPages(Kstat* ks) {
  KstatSource* src = ks->source;
  std::string err;
  if (!take(src, KF_MEMINFO)) return false;
  uint64_t total, memFree, unevictable, mlocked;
  if (!procLookup(meminfo, "MemTotal", &total, &err) || !procLookup(meminfo, "MemFree", &memFree, &err) ||
      !procLookup(meminfo, "Unevictable", &unevictable, &err) ||
      !procLookup(meminfo, "Mlocked", &mlocked, &err))
    return fail(path("/proc/meminfo") + ": " + err, EINVAL);
  uint64_t avail = procLookupOptional(meminfo, "MemAvailable");
  if (avail == 0) avail = memFree;
  uint64_t kbPerPage = kilobytesPerPage(pageSize);
  setNamed(ks, 0, total / kbPerPage);
  setNamed(ks, 1, avail / kbPerPage);
  setNamed(ks, 2, (total > unevictable ? total - unevictable : 0) / kbPerPage);
  setNamed(ks, 3, mlocked / kbPerPage);
  setNamed(ks, 4, total / kbPerPage);
  publishNamed(ks);
  return true;
}

bool KstatCtl::Impl::readCpu(Kstat* ks) {
  KstatSource* src = ks->source;
  std::string err;
  if (!take(src, KF_STAT) || !take(src, KF_INTERRUPTS) || !take(src, KF_SOFTIRQS)) return false;
  const ProcStatCpu* c = nullptr;
  for (const ProcStatCpu& x : stat.cpus)
    if (x.cpu == src->id.instance) c = &x;
  if (c == nullptr) return fail(path("/proc/stat") + ": cpu" + src->id.name + " is offline", ENXIO);
  KstatCpuStat cs;
  memset(&cs, 0, sizeof cs);
  cs.ticks[0] = (uint32_t)c->idle;
  cs.ticks[1] = (uint32_t)(c->user + c->nice);
  cs.ticks[2] = (uint32_t)(c->system + c->irq + c->softirq);
  cs.wait[0] = (uint32_t)c->iowait;
  // Interrupts are counted per CPU in the columns of /proc/interrupts and
  // /proc/softirqs.
  cs.intr = (uint32_t)interrupts.totalFor(c->cpu);
  cs.intrthread = (uint32_t)softirqs.totalFor(c->cpu);
  if (src->firstCpu) {
    if (!take(src, KF_VMSTAT)) return false;
    uint64_t pgpgin, pgpgout, pswpin, pswpout, pgfault, pgmajfault;
    if (!procLookup(vmstat, "pgpgin", &pgpgin, &err) || !procLookup(vmstat, "pgpgout", &pgpgout, &err) ||
        !procLookup(vmstat, "pswpin", &pswpin, &err) || !procLookup(vmstat, "pswpout", &pswpout, &err) ||
        !procLookup(vmstat, "pgfault", &pgfault, &err) || !procLookup(vmstat, "pgmajfault", &pgmajfault, &err))
      return fail(path("/proc/vmstat") + ": " + err, EINVAL);
    uint64_t kbPerPage = kilobytesPerPage(pageSize);
    cs.pswitch = (uint32_t)stat.ctxt;
    cs.sysfork = (uint32_t)stat.processes;
    cs.iowait = (uint32_t)stat.procsBlocked;
    cs.pgpgin = (uint32_t)(pgpgin / kbPerPage);  // vmstat counts kilobytes
    cs.pgpgout = (uint32_t)(pgpgout / kbPerPage);
    cs.pgswapin = (uint32_t)pswpin;
    cs.pgswapout = (uint32_t)pswpout;
    cs.anonpgin = (uint32_t)pswpin;
    cs.anonpgout = (uint32_t)pswpout;
    cs.dfree = (uint32_t)procLookupOptional(vmstat, "pgsteal_kswapd");
    cs.scan = (uint32_t)(procLookupOptional(vmstat, "pgscan_kswapd") + procLookupOptional(vmstat, "pgscan_direct"));
    cs.pgrrun = (uint32_t)procLookupOptional(vmstat, "pageoutrun");
    cs.maj_fault = (uint32_t)pgmajfault;
    cs.as_fault = (uint32_t)(pgfault >= pgmajfault ? pgfault - pgmajfault : 0);
  }
  *rawRecord<KstatCpuStat>(ks) = cs;
  publishRaw(ks);
  return true;
}

bool KstatCtl::Impl::readIo(Kstat* ks) {
  KstatSource* src = ks->source;
  if (!take(src, KF_DISKSTATS) || !take(src, KF_UPTIME)) return false;
  const ProcDiskStat* d = findLine(diskstats, src);
  if (d == nullptr) return fail(path("/proc/diskstats") + ": " + src->id.name + " is gone", ENXIO);
  KstatIo* io = rawRecord<KstatIo>(ks);
  io->nread = d->sectorsRead * 512;  // diskstats sectors are always 512 bytes
  io->nwritten = d->sectorsWritten * 512;
  io->reads = (uint32_t)d->readsCompleted;
  io->writes = (uint32_t)d->writesCompleted;
  io->rtime = (int64_t)d->msDoingIo * NS_PER_MS;
  io->rlentime = (int64_t)d->weightedMsDoingIo * NS_PER_MS;
  io->rlastupdate = uptimeNs;
  io->rcnt = (uint32_t)d->inFlight;
  publishRaw(ks);
  return true;
}

bool KstatCtl::Impl::readDiskErrors(Kstat* ks) {
  KstatSource* src = ks->source;
  std::string text;
  if (!readText("/sys/block/" + src->id.name + "/device/ioerr_cnt", &text)) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(text.c_str(), &end, 0);
  while (end && (*end == '\n' || *end == ' ')) end++;
  if (errno != 0 || end == text.c_str() || end == nullptr || *end != '\0')
    return fail(path("/sys/block/") + src->id.name + "/device/ioerr_cnt: not a number", EINVAL);
  setNamed(ks, 1, v);  // "Hard Errors": commands that ended in error
  publishNamed(ks);
  return true;
}

bool KstatCtl::Impl::readNet(Kstat* ks) {
  KstatSource* src = ks->source;
  if (!take(src, KF_NETDEV)) return false;
  const ProcNetDev* n = findLine(netdev, src);
  if (n == nullptr) return fail(path("/proc/net/dev") + ": " + src->id.name + " is gone", ENXIO);
  if (src->id.type == KS_NET_SIMPLE) {
    setNamed(ks, 0, n->rxPackets);
    setNamed(ks, 1, n->txPackets);
  } else {
    const uint64_t v[17] = {n->rxPackets, n->rxErrs,  n->txPackets, n->txErrs, n->txColls, n->rxBytes,
                            n->txBytes,   n->rxMulticast, 0,         0,         0,         n->rxDrop,
                            n->txDrop,    n->rxPackets, n->txPackets, n->rxBytes, n->txBytes};
    for (size_t i = 0; i < 17; i++) setNamed(ks, i, v[i]);
  }
  publishNamed(ks);
  return true;
}

BoolType KstatCtl::readTcpMib(KstatTcpMib* out) {
  Impl& im = *_impl;
  std::string err;
  const ProcKeyValues& tcp = im.tcp;
  const ProcKeyValues& ext = im.tcpExt;
  if (!im.readText("/proc/net/snmp", &im.snmpText, true)) return FALSE;
  if (!parseProcSnmpSection(im.snmpText, "Tcp", &im.tcp, &err))
    return im.fail(im.path("/proc/net/snmp") + ": " + err, EINVAL);
  if (!im.readText("/proc/net/netstat", &im.netstatText, true)) return FALSE;
  if (!parseProcSnmpSection(im.netstatText, "TcpExt", &im.tcpExt, &err))
    return im.fail(im.path("/proc/net/netstat") + ": " + err, EINVAL);

  static const char* const required[] = {"ActiveOpens", "PassiveOpens", "AttemptFails", "EstabResets",
                                         "CurrEstab",   "InSegs",       "OutSegs",      "RetransSegs"};
  uint64_t r[8];
  for (int i = 0; i < 8; i++)
    if (!procLookup(tcp, required[i], &r[i], &err)) return im.fail(im.path("/proc/net/snmp") + ": Tcp: " + err, EINVAL);
  KstatTcpMib m;
  memset(&m, 0, sizeof m);
  m.tcpActiveOpens = (uint32_t)r[0];
  m.tcpPassiveOpens = (uint32_t)r[1];
  m.tcpAttemptFails = (uint32_t)r[2];
  m.tcpEstabResets = (uint32_t)r[3];
  m.tcpCurrEstab = (uint32_t)r[4];
  m.tcpInSegs = (uint32_t)r[5];
  m.tcpOutSegs = (uint32_t)r[6];
  m.tcpRetransSegs = (uint32_t)r[7];
  // TcpExt counters come and go with kernel versions: absent ones are 0.
  auto x = [&ext](const char* k) { return (uint32_t)procLookupOptional(ext, k); };
  m.tcpOutAckDelayed = x("DelayedACKs");
  m.tcpInAckSegs = x("TCPPureAcks") + x("TCPHPAcks");
  m.tcpTimRetrans = x("TCPTimeouts");
  m.tcpTimRetransDrop = x("TCPAbortOnTimeout");
  m.tcpTimKeepaliveProbe = x("TCPKeepAlive");
  m.tcpListenDrop = x("ListenOverflows");
  m.tcpListenDropQ0 = x("TCPReqQFullDoCookies") + x("TCPReqQFullDrop");
  m.tcpHalfOpenDrop = x("TCPReqQFullDrop");
  *out = m;
  return TRUE;
}

BoolType KstatCtl::physicalPages(uint64_t* pages) {
  Impl& im = *_impl;
  if (!im.take(&im.physConsumer, KF_MEMINFO)) return FALSE;
  uint64_t total;
  std::string err;
  if (!procLookup(im.meminfo, "MemTotal", &total, &err)) return im.fail(im.path("/proc/meminfo") + ": " + err, EINVAL);
  uint64_t kbPerPage = kilobytesPerPage(im.pageSize);
  *pages = total / kbPerPage;
  return TRUE;
}
