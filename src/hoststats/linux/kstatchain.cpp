// Opening the layer, reading its files into snapshots, and keeping the chain
// of objects in step with the CPUs, disks and interfaces the host has.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "hoststats/linux/kstatimpl.h"

namespace {

const char* const kFilePaths[KF_COUNT] = {"/proc/stat",    "/proc/vmstat",     "/proc/meminfo", "/proc/uptime",
                                          "/proc/loadavg", "/proc/diskstats",  "/proc/net/dev", "/proc",
                                          "/proc/interrupts", "/proc/softirqs"};

bool startsWith(const std::string& s, const char* p) { return s.compare(0, strlen(p), p) == 0; }

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

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

// procfs files are opened once and read again from the start at each sample:
// procfs produces their text anew for every read from offset 0, and none of them
// can be removed or replaced. Files elsewhere (sysfs, a fixture tree) are opened
// at each read, so that a replaced or vanished file is seen as such.
bool KstatCtl::Impl::readText(const std::string& rel, std::string* text, bool oneRecord) {
  std::string p = path(rel.c_str());
  auto held = heldFds.find(p);
  int fd = held != heldFds.end() ? held->second : -1;
  if (fd < 0) {
    fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(p + ": " + strerror(errno), errno);
    struct statfs fs;
    if (fstatfs(fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC) held = heldFds.emplace(p, fd).first;
  }
  text->clear();
  char buf[16384];
  off_t offset = 0;
  for (;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      ::close(fd);
      if (held != heldFds.end()) heldFds.erase(held);
      return fail(p + ": " + strerror(e), e);
    }
    if (n == 0) break;
    text->append(buf, (size_t)n);
    offset += n;
    // A single record is produced whole for a read that can hold it; files of
    // many records (vmstat, diskstats, net/dev) hand out a page or so per read.
    if (oneRecord && (size_t)n < sizeof buf) break;
  }
  if (held == heldFds.end()) ::close(fd);
  return true;
}

KstatCtl::Impl::~Impl() {
  for (const auto& h : heldFds) ::close(h.second);
}

bool KstatCtl::Impl::refresh(KstatFile f) {
  snap[f].valid = false;
  std::string p = path(kFilePaths[f]);
  std::string err;
  bool ok;
  if (f == KF_UPTIME && root.empty()) {
    // The live host's clock without a read: /proc/uptime prints this clock.
    struct timespec ts;
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return fail(p + ": " + strerror(errno), errno);
    uptimeNs = (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
    ok = true;
  } else if (f == KF_PROCDIR) {
    if (!processCounter) processCounter = std::make_unique<ProcProcessCounter>(p);
    int errorNumber = 0;
    if (!processCounter->count(&processCount, &errorNumber)) return fail(p + ": " + strerror(errorNumber), errorNumber);
    ok = true;
  } else {
    bool oneRecord = f == KF_STAT || f == KF_MEMINFO || f == KF_UPTIME || f == KF_LOADAVG;
    if (!readText(kFilePaths[f], &text, oneRecord)) return false;
    switch (f) {
      case KF_STAT: ok = parseProcStat(text, &stat, &err); break;
      case KF_VMSTAT: ok = parseProcVmstat(text, &vmstat, &err); break;
      case KF_MEMINFO: ok = parseProcMeminfo(text, &meminfo, &err); break;
      case KF_UPTIME: ok = parseProcUptime(text, &uptimeNs, &err); break;
      case KF_LOADAVG: ok = parseProcLoadavg(text, &loadavg, &err); break;
      case KF_DISKSTATS: ok = parseProcDiskstats(text, &diskstats, &err); break;
      case KF_NETDEV: ok = parseProcNetDev(text, &netdev, &err); break;
      case KF_INTERRUPTS: ok = parseProcPerCpuCounts(text, &interrupts, &err); break;
      case KF_SOFTIRQS: ok = parseProcPerCpuCounts(text, &softirqs, &err); break;
      default: ok = false; break;
    }
  }
  if (!ok) return fail(p + ": " + err, EINVAL);
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

  // Block devices: whole disks are the names under /sys/block, the rest are
  // partitions. Loop and RAM disks are files and memory, not devices: skipped.
  std::map<std::string, DeviceInfo> seenDevices;
  std::vector<KstatIdentity> partitions;
  for (const ProcDiskStat& d : diskstats) {
    if (startsWith(d.name, "loop") || startsWith(d.name, "ram")) continue;
    auto it = devices.find(d.name);
    DeviceInfo info;
    if (it != devices.end()) {
      info = it->second;
    } else {
      std::string base = path("/sys/block/") + d.name;
      info.isDisk = fileExists(base);
      info.hasErrCounter = info.isDisk && fileExists(base + "/device/ioerr_cnt");
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

  // Interfaces: loopbacks (link type 772) publish packets only, like simple
  // interfaces; all others the full set.
  std::map<std::string, bool> seenLoopbacks;
  for (const ProcNetDev& n : netdev) {
    auto it = loopbacks.find(n.name);
    bool loop;
    if (it != loopbacks.end()) {
      loop = it->second;
    } else {
      std::string type;
      std::string saveErr = lastError;
      int saveErrno = lastErrno;
      if (readText("/sys/class/net/" + n.name + "/type", &type)) {
        loop = type == "772\n" || type == "772";
      } else {
        lastError = saveErr;  // no sysfs entry: judge by the name
        lastErrno = saveErrno;
        loop = n.name == "lo";
      }
    }
    seenLoopbacks[n.name] = loop;
    size_t digits = n.name.find_last_not_of("0123456789");
    int instance = digits + 1 < n.name.size() ? atoi(n.name.c_str() + digits + 1) : 0;
    ids->push_back({loop ? KS_NET_SIMPLE : KS_NET_COMPLEX, n.name, instance});
  }
  loopbacks.swap(seenLoopbacks);
  return true;
}

namespace {

struct NamedSpec {
  const char* name;
  KstatDataType type;
};

const NamedSpec kSystemMisc[] = {{"ncpus", KSTAT_DATA_UINT32},         {"nproc", KSTAT_DATA_UINT32},
                                 {"avenrun_1min", KSTAT_DATA_UINT32},  {"avenrun_5min", KSTAT_DATA_UINT32},
                                 {"avenrun_15min", KSTAT_DATA_UINT32}, {"boot_time", KSTAT_DATA_UINT32},
                                 {"clk_intr", KSTAT_DATA_UINT32}};
const NamedSpec kSystemPages[] = {{"physmem", KSTAT_DATA_UINT64},     {"freemem", KSTAT_DATA_UINT64},
                                  {"availrmem", KSTAT_DATA_UINT64},   {"pageslocked", KSTAT_DATA_UINT64},
                                  {"pagestotal", KSTAT_DATA_UINT64}};
const NamedSpec kSimpleNet[] = {{"ipackets", KSTAT_DATA_UINT32}, {"opackets", KSTAT_DATA_UINT32}};
const NamedSpec kComplexNet[] = {
    {"ipackets", KSTAT_DATA_UINT32},   {"ierrors", KSTAT_DATA_UINT32},   {"opackets", KSTAT_DATA_UINT32},
    {"oerrors", KSTAT_DATA_UINT32},    {"collisions", KSTAT_DATA_UINT32}, {"rbytes", KSTAT_DATA_UINT32},
    {"obytes", KSTAT_DATA_UINT32},     {"multircv", KSTAT_DATA_UINT32},  {"multixmt", KSTAT_DATA_UINT32},
    {"brdcstrcv", KSTAT_DATA_UINT32},  {"brdcstxmt", KSTAT_DATA_UINT32}, {"norcvbuf", KSTAT_DATA_UINT32},
    {"noxmtbuf", KSTAT_DATA_UINT32},   {"ipackets64", KSTAT_DATA_UINT64}, {"opackets64", KSTAT_DATA_UINT64},
    {"rbytes64", KSTAT_DATA_UINT64},   {"obytes64", KSTAT_DATA_UINT64}};
const NamedSpec kDiskErr[] = {{"Soft Errors", KSTAT_DATA_UINT32},      {"Hard Errors", KSTAT_DATA_UINT32},
                              {"Transport Errors", KSTAT_DATA_UINT32}, {"Media Error", KSTAT_DATA_UINT32},
                              {"Device Not Ready", KSTAT_DATA_UINT32}, {"No Device", KSTAT_DATA_UINT32},
                              {"Recoverable", KSTAT_DATA_UINT32},      {"Illegal Request", KSTAT_DATA_UINT32},
                              {"Predictive Failure Analysis", KSTAT_DATA_UINT32}};

template <size_t N>
void setNames(KstatSource* src, const NamedSpec (&items)[N]) {
  src->named.assign(N, KstatNamed());
  for (size_t i = 0; i < N; i++) {
    memset(&src->named[i], 0, sizeof(KstatNamed));
    copyName(src->named[i].name, items[i].name);
    src->named[i].dataType = items[i].type;
  }
}

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
    case KS_SYSTEM_MISC: ks->kind = KSTAT_KIND_NAMED; setNames(src, kSystemMisc); break;
    case KS_SYSTEM_PAGES: ks->kind = KSTAT_KIND_NAMED; cls = "pages"; setNames(src, kSystemPages); break;
    case KS_CPU: ks->kind = KSTAT_KIND_RAW; module = "cpu_stat"; name = "cpu_stat" + id.name; break;
    case KS_DISK: ks->kind = KSTAT_KIND_IO; module = driver.c_str(); cls = "disk"; break;
    case KS_PARTITION: ks->kind = KSTAT_KIND_IO; module = driver.c_str(); cls = "partition"; break;
    case KS_DISK_ERR:
      ks->kind = KSTAT_KIND_NAMED;
      module = "sderr";
      cls = "device_error";
      name = id.name + ",err";
      setNames(src, kDiskErr);
      break;
    case KS_NET_SIMPLE: ks->kind = KSTAT_KIND_NAMED; module = driver.c_str(); cls = "net"; setNames(src, kSimpleNet); break;
    case KS_NET_COMPLEX: ks->kind = KSTAT_KIND_NAMED; module = driver.c_str(); cls = "net"; setNames(src, kComplexNet); break;
  }
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
  auto impl = std::make_unique<Impl>();
  impl->root = root;
  while (!impl->root.empty() && impl->root.back() == '/') impl->root.pop_back();
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
const std::string& KstatCtl::root() const { return _impl->root; }
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
