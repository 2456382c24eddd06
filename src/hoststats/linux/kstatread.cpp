// Filling one object from its files. docs/hoststats-linux.md gives the source
// of every figure.
#include <cerrno>
#include <cstring>

#include "hoststats/linux/kstatimpl.h"
#include "hoststats/linux/kstatnamed.h"
#include "hoststats/linux/netsnmp.h"
#include "hoststats/linux/sysfs.h"
#include "hoststats/linux/vmstat.h"

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
  MeminfoFigures m;
  if (!meminfoFigures(meminfo, MEMINFO_FREE | MEMINFO_SWAP | MEMINFO_COMMIT, &m, &err))
    return fail(path("/proc/meminfo") + ": " + err, EINVAL);
  uint64_t kbPerPage = kilobytesPerPage(pageSize);
  KstatVminfo* vi = rawRecord<KstatVminfo>(ks);
  uint64_t secs = elapsedSeconds(src, uptimeNs);
  vi->updates += secs;
  vi->freemem += m.memAvailable / kbPerPage * secs;
  vi->swap_resv += m.committedAs / kbPerPage * secs;
  vi->swap_alloc += (m.swapTotal > m.swapFree ? m.swapTotal - m.swapFree : 0) / kbPerPage * secs;
  vi->swap_avail += (m.commitLimit > m.committedAs ? m.commitLimit - m.committedAs : 0) / kbPerPage * secs;
  vi->swap_free += m.swapFree / kbPerPage * secs;
  publishRaw(ks);
  return true;
}

bool KstatCtl::Impl::readSystemMisc(Kstat* ks) {
  KstatSource* src = ks->source;
  if (!take(src, KF_STAT) || !take(src, KF_LOADAVG) || !take(src, KF_PROCDIR) || !take(src, KF_UPTIME))
    return false;
  fillSystemMisc(src, {stat, processCount, loadavg, uptimeNs});
  publishNamed(ks);
  return true;
}

bool KstatCtl::Impl::readSystemPages(Kstat* ks) {
  KstatSource* src = ks->source;
  std::string err;
  if (!take(src, KF_MEMINFO)) return false;
  MeminfoFigures m;
  if (!meminfoFigures(meminfo, MEMINFO_TOTAL | MEMINFO_FREE | MEMINFO_UNEVICTABLE | MEMINFO_MLOCKED, &m, &err))
    return fail(path("/proc/meminfo") + ": " + err, EINVAL);
  fillSystemPages(src, {m, kilobytesPerPage(pageSize)});
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
    VmstatFigures v;
    if (!vmstatFigures(vmstat, &v, &err)) return fail(path("/proc/vmstat") + ": " + err, EINVAL);
    uint64_t kbPerPage = kilobytesPerPage(pageSize);
    cs.pswitch = (uint32_t)stat.ctxt;
    cs.sysfork = (uint32_t)stat.processes;
    cs.iowait = (uint32_t)stat.procsBlocked;
    cs.pgpgin = (uint32_t)(v.pgpgin / kbPerPage);  // vmstat counts kilobytes
    cs.pgpgout = (uint32_t)(v.pgpgout / kbPerPage);
    cs.pgswapin = (uint32_t)v.pswpin;
    cs.pgswapout = (uint32_t)v.pswpout;
    cs.anonpgin = (uint32_t)v.pswpin;
    cs.anonpgout = (uint32_t)v.pswpout;
    cs.dfree = (uint32_t)v.pgstealKswapd;
    cs.scan = (uint32_t)(v.pgscanKswapd + v.pgscanDirect);
    cs.pgrrun = (uint32_t)v.pageoutrun;
    cs.maj_fault = (uint32_t)v.pgmajfault;
    cs.as_fault = (uint32_t)(v.pgfault >= v.pgmajfault ? v.pgfault - v.pgmajfault : 0);
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
  ProcError error;
  uint64_t count;
  if (!readDiskErrorCount(files, src->id.name, &count, &error)) return fail(error);
  fillDiskErrors(src, count);
  publishNamed(ks);
  return true;
}

bool KstatCtl::Impl::readNet(Kstat* ks) {
  KstatSource* src = ks->source;
  if (!take(src, KF_NETDEV)) return false;
  const ProcNetDev* n = findLine(netdev, src);
  if (n == nullptr) return fail(path("/proc/net/dev") + ": " + src->id.name + " is gone", ENXIO);
  fillNetwork(src, *n);
  publishNamed(ks);
  return true;
}

BoolType KstatCtl::readTcpMib(KstatTcpMib* out) {
  Impl& im = *_impl;
  ProcError error;
  if (!readTcpCounters(im.files, &im.tcp, &im.tcpExt, out, &error)) return im.fail(error) ? TRUE : FALSE;
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
