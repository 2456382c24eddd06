// Opening the layer, reading its files into snapshots, and keeping the chain
// of objects in step with the CPUs, disks and interfaces the host has.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "hoststats/linux/kstatimpl.h"
#include "hoststats/linux/kstatnamed.h"
#include "hoststats/linux/sysfs.h"
#include "hoststats/linux/uptime.h"
#include "hoststats/linux/vmstat.h"

namespace {

bool startsWith(const std::string& s, const char* p) { return s.compare(0, strlen(p), p) == 0; }

void copyName(char* dst, const std::string& src) {
  size_t n = src.size() < (size_t)KSTAT_STRLEN - 1 ? src.size() : (size_t)KSTAT_STRLEN - 1;
  memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

}  // namespace

std::string kstatDriverOf(const std::string& name) {
  // Disks of the SCSI, virtio, Xen and IDE drivers are named <driver><letters>[<partition>].
  for (const char* p : {"xvd", "sd", "vd", "hd"}) {
    size_t n = strlen(p);
    if (startsWith(name, p) && name.size() > n && name[n] >= 'a' && name[n] <= 'z') return p;
  }
  size_t digit = name.find_first_of("0123456789");
  if (digit != std::string::npos && digit > 0) return name.substr(0, digit);
  return name;
}

bool KstatCtl::Impl::fail(const std::string& what, int errorNumber) {
  lastError = what;
  lastErrno = errorNumber;
  return false;
}

bool KstatCtl::Impl::refresh(KstatFile f) {
  snap[f].valid = false;
  ProcError error;
  bool ok = false;
  switch (f) {
    case KF_STAT: ok = readProcStat(files, &stat, &error); break;
    case KF_VMSTAT: ok = readProcVmstat(files, &vmstat, &error); break;
    case KF_MEMINFO: ok = readProcMeminfo(files, &meminfo, &error); break;
    case KF_UPTIME: ok = readUptime(files, &uptimeNs, &error); break;
    case KF_LOADAVG: ok = readProcLoadavg(files, &loadavg, &error); break;
    case KF_DISKSTATS: ok = readProcDiskstats(files, &diskstats, &error); break;
    case KF_NETDEV: ok = readProcNetDev(files, &netdev, &error); break;
    case KF_INTERRUPTS: ok = readProcPerCpuCounts(files, "/proc/interrupts", &interrupts, &error); break;
    case KF_SOFTIRQS: ok = readProcPerCpuCounts(files, "/proc/softirqs", &softirqs, &error); break;
    case KF_PROCDIR: {
      if (!processCounter) processCounter = std::make_unique<ProcProcessCounter>(path("/proc"));
      int errorNumber = 0;
      ok = processCounter->count(&processCount, &errorNumber) ||
           error.set(path("/proc") + ": " + strerror(errorNumber), errorNumber);
      break;
    }
    case KF_COUNT: break;
  }
  if (!ok) return fail(error);
  snap[f].valid = true;
  snap[f].generation++;
  return true;
}

bool KstatCtl::Impl::take(KstatSource* src, KstatFile f) {
  if (!snap[f].valid || src->seen[f] == snap[f].generation) {
    if (!refresh(f)) return false;
  }
  src->seen[f] = snap[f].generation;
  return true;
}

// Lists the objects the host has now, in chain order.
bool KstatCtl::Impl::scan(std::vector<KstatIdentity>* ids) {
  if (!refresh(KF_STAT) || !refresh(KF_DISKSTATS) || !refresh(KF_NETDEV)) return false;
  ids->clear();
  ids->push_back({KS_SYSINFO, "sysinfo", 0});
  ids->push_back({KS_VMINFO, "vminfo", 0});
  ids->push_back({KS_SYSTEM_MISC, "system_misc", 0});
  ids->push_back({KS_SYSTEM_PAGES, "system_pages", 0});
  std::vector<int> cpus;
  for (const ProcStatCpu& c : stat.cpus) cpus.push_back(c.cpu);
  std::sort(cpus.begin(), cpus.end());
  for (int c : cpus) ids->push_back({KS_CPU, std::to_string(c), c});

  scanDisks(ids);
  scanInterfaces(ids);
  return true;
}

// Block devices: whole disks are the names under /sys/block, the rest are
// partitions, listed after all disks. Loop and RAM disks are files and memory,
// not devices: skipped.
void KstatCtl::Impl::scanDisks(std::vector<KstatIdentity>* ids) {
  std::map<std::string, DeviceInfo> seenDevices;
  std::vector<KstatIdentity> partitions;
  for (const ProcDiskStat& d : diskstats) {
    if (startsWith(d.name, "loop") || startsWith(d.name, "ram")) continue;
    auto it = devices.find(d.name);
    DeviceInfo info;
    if (it != devices.end()) {
      info = it->second;
    } else {
      info.isDisk = sysBlockIsDisk(files, d.name);
      info.hasErrCounter = info.isDisk && sysBlockHasErrorCounter(files, d.name);
    }
    seenDevices[d.name] = info;
    if (info.isDisk) {
      ids->push_back({KS_DISK, d.name, (int)d.minor});
      if (info.hasErrCounter) ids->push_back({KS_DISK_ERR, d.name, (int)d.minor});
    } else {
      partitions.push_back({KS_PARTITION, d.name, (int)d.minor});
    }
  }
  devices.swap(seenDevices);
  ids->insert(ids->end(), partitions.begin(), partitions.end());
}

// Interfaces: loopbacks publish packets only, like simple interfaces; all
// others the full set.
void KstatCtl::Impl::scanInterfaces(std::vector<KstatIdentity>* ids) {
  std::map<std::string, bool> seenLoopbacks;
  for (const ProcNetDev& n : netdev) {
    auto it = loopbacks.find(n.name);
    bool loop = it != loopbacks.end() ? it->second : sysNetIsLoopback(files, n.name);
    seenLoopbacks[n.name] = loop;
    size_t digits = n.name.find_last_not_of("0123456789");
    int instance = digits + 1 < n.name.size() ? atoi(n.name.c_str() + digits + 1) : 0;
    ids->push_back({loop ? KS_NET_SIMPLE : KS_NET_COMPLEX, n.name, instance});
  }
  loopbacks.swap(seenLoopbacks);
}

namespace {

std::unique_ptr<Kstat> makeObject(const KstatIdentity& id) {
  auto ks = std::make_unique<Kstat>();
  memset(ks.get(), 0, sizeof(Kstat));
  auto* src = new KstatSource();
  src->id = id;
  ks->source = src;
  ks->instance = id.instance;
  ks->ndata = 1;
  const char* module = "unix";
  const char* cls = "misc";
  std::string name = id.name;
  std::string driver = kstatDriverOf(id.name);
  switch (id.type) {
    case KS_SYSINFO: ks->kind = KSTAT_KIND_RAW; break;
    case KS_VMINFO: ks->kind = KSTAT_KIND_RAW; cls = "vm"; break;
    case KS_SYSTEM_MISC: ks->kind = KSTAT_KIND_NAMED; break;
    case KS_SYSTEM_PAGES: ks->kind = KSTAT_KIND_NAMED; cls = "pages"; break;
    case KS_CPU: ks->kind = KSTAT_KIND_RAW; module = "cpu_stat"; name = "cpu_stat" + id.name; break;
    case KS_DISK: ks->kind = KSTAT_KIND_IO; module = driver.c_str(); cls = "disk"; break;
    case KS_PARTITION: ks->kind = KSTAT_KIND_IO; module = driver.c_str(); cls = "partition"; break;
    case KS_DISK_ERR:
      ks->kind = KSTAT_KIND_NAMED;
      module = "sderr";
      cls = "device_error";
      name = id.name + ",err";
      break;
    case KS_NET_SIMPLE: ks->kind = KSTAT_KIND_NAMED; module = driver.c_str(); cls = "net"; break;
    case KS_NET_COMPLEX: ks->kind = KSTAT_KIND_NAMED; module = driver.c_str(); cls = "net"; break;
  }
  bindNamedValues(src);
  if (ks->kind == KSTAT_KIND_NAMED) ks->ndata = (unsigned)src->named.size();
  copyName(ks->module, module);
  copyName(ks->name, name);
  copyName(ks->className, cls);
  return ks;
}

}  // namespace

// Keeps the objects that are still there (with their data and accumulations)
// and creates the new ones, in the order of `ids`.
void KstatCtl::Impl::rebuild(const std::vector<KstatIdentity>& ids) {
  std::vector<std::unique_ptr<Kstat>> next;
  next.reserve(ids.size());
  bool firstCpu = true;
  for (const KstatIdentity& id : ids) {
    std::unique_ptr<Kstat> ks;
    for (auto& old : objects) {
      if (old && old->source->id == id) {
        ks = std::move(old);
        break;
      }
    }
    if (!ks) ks = makeObject(id);
    ks->source->firstCpu = id.type == KS_CPU && firstCpu;
    if (id.type == KS_CPU) firstCpu = false;
    next.push_back(std::move(ks));
  }
  for (auto& old : objects)
    if (old) delete old->source;
  objects.swap(next);
  for (size_t i = 0; i < objects.size(); i++) objects[i]->next = i + 1 < objects.size() ? objects[i + 1].get() : nullptr;
  identities = ids;
  chainId++;
}

KstatCtl::KstatCtl(std::unique_ptr<Impl> impl) : _impl(std::move(impl)) {}

KstatCtl::~KstatCtl() {
  for (auto& ks : _impl->objects) delete ks->source;
}

std::unique_ptr<KstatCtl> KstatCtl::open(const std::string& root, uint32_t pageSize, std::string* error,
                                         int* errorNumber) {
  auto impl = std::make_unique<Impl>(root);
  if (pageSize == 0) {
    long ps = sysconf(_SC_PAGESIZE);
    pageSize = ps > 0 ? (uint32_t)ps : 4096;
  }
  impl->pageSize = pageSize;
  std::vector<KstatIdentity> ids;
  if (!impl->scan(&ids)) {
    *error = impl->lastError;
    *errorNumber = impl->lastErrno;
    return nullptr;
  }
  impl->rebuild(ids);
  return std::unique_ptr<KstatCtl>(new KstatCtl(std::move(impl)));
}

Kstat* KstatCtl::chain() const { return _impl->objects.empty() ? nullptr : _impl->objects[0].get(); }
KstatChainId KstatCtl::chainId() const { return _impl->chainId; }
uint32_t KstatCtl::pageSize() const { return _impl->pageSize; }
const std::string& KstatCtl::root() const { return _impl->files.root(); }
const std::string& KstatCtl::lastError() const { return _impl->lastError; }
int KstatCtl::lastErrno() const { return _impl->lastErrno; }

KstatChainId KstatCtl::chainUpdate() {
  std::vector<KstatIdentity> ids;
  if (!_impl->scan(&ids)) return -1;
  if (ids == _impl->identities) return 0;
  _impl->rebuild(ids);
  return _impl->chainId;
}

KstatChainId KstatCtl::read(Kstat* ks) {
  if (ks == nullptr || ks->source == nullptr) {
    _impl->fail("read of an object that is not on the chain", EINVAL);
    return -1;
  }
  return _impl->readObject(ks) ? _impl->chainId : -1;
}
