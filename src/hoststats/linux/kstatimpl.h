// Internals of the kernel statistics layer shared by its source files; not for
// use outside src/hoststats/linux/.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hoststats/linux/diskstats.h"
#include "hoststats/linux/interrupts.h"
#include "hoststats/linux/kstat.h"
#include "hoststats/linux/loadavg.h"
#include "hoststats/linux/meminfo.h"
#include "hoststats/linux/netdev.h"
#include "hoststats/linux/proccount.h"
#include "hoststats/linux/procfiles.h"
#include "hoststats/linux/procstat.h"
#include "hoststats/linux/proctext.h"

// The files read, each parsed once per "snapshot".
enum KstatFile {
  KF_STAT,
  KF_VMSTAT,
  KF_MEMINFO,
  KF_UPTIME,
  KF_LOADAVG,
  KF_DISKSTATS,
  KF_NETDEV,
  KF_PROCDIR,
  KF_INTERRUPTS,
  KF_SOFTIRQS,
  KF_COUNT
};

enum KstatSourceType {
  KS_SYSINFO,
  KS_VMINFO,
  KS_SYSTEM_MISC,
  KS_SYSTEM_PAGES,
  KS_CPU,
  KS_DISK,
  KS_DISK_ERR,
  KS_PARTITION,
  KS_NET_SIMPLE,
  KS_NET_COMPLEX,
};

// What identifies an object across chain updates.
struct KstatIdentity {
  KstatSourceType type;
  std::string name;  // CPU number, device or interface name
  int instance;
  bool operator==(const KstatIdentity& o) const {
    return type == o.type && name == o.name && instance == o.instance;
  }
};

struct KstatSource {
  KstatIdentity id;
  bool firstCpu = false;           // carries the system-wide counters
  uint64_t seen[KF_COUNT] = {};    // snapshot generation of each file last used
  std::vector<uint8_t> bytes;      // raw and io records
  std::vector<KstatNamed> named;   // named values
  size_t cacheIndex = 0;           // where the device or interface was last found in its file
  int64_t lastAccumNs = -1;        // sysinfo, vminfo: uptime of the last accumulation (-1: none yet)
};

// Kilobytes in one page of pageSize bytes (at least 1): the divisor that turns
// the kilobyte figures of /proc/meminfo and /proc/vmstat into pages.
inline uint64_t kilobytesPerPage(uint32_t pageSize) { return pageSize / 1024 ? pageSize / 1024 : 1; }

struct KstatSnapshot {
  bool valid = false;
  uint64_t generation = 0;
};

struct KstatCtl::Impl {
  explicit Impl(const std::string& root) : files(root) {}
  ProcFiles files;  // below the root; its root() is "" for "/"
  uint32_t pageSize = 4096;
  KstatChainId chainId = 0;
  std::vector<std::unique_ptr<Kstat>> objects;  // chain order
  std::vector<KstatIdentity> identities;        // of `objects`
  std::string lastError;
  int lastErrno = 0;

  KstatSnapshot snap[KF_COUNT];
  ProcStat stat;
  ProcKeyValues vmstat, meminfo;
  int64_t uptimeNs = 0;
  ProcLoadavg loadavg;
  std::vector<ProcDiskStat> diskstats;
  std::vector<ProcNetDev> netdev;
  ProcPerCpuCounts interrupts, softirqs;
  uint64_t processCount = 0;
  std::unique_ptr<ProcProcessCounter> processCounter;  // of <root>/proc, made at its first count
  KstatSource physConsumer;  // physicalPages() as a reader of meminfo
  // Kept between samples so that parsing the same sections again reuses their names.
  ProcKeyValues tcp, tcpExt;

  struct DeviceInfo {
    bool isDisk = false;
    bool hasErrCounter = false;
  };
  std::map<std::string, DeviceInfo> devices;  // classification of block devices by name
  std::map<std::string, bool> loopbacks;      // interface name -> is a loopback

  std::string path(const char* rel) const { return files.path(rel); }
  bool fail(const std::string& what, int errorNumber);
  bool fail(const ProcError& error) { return fail(error.message, error.errorNumber); }
  // Reads and parses one file into the snapshot.
  bool refresh(KstatFile f);
  // Makes sure `src` sees a snapshot of f it has not used yet, or the current
  // one when it has not seen it.
  bool take(KstatSource* src, KstatFile f);

  bool scan(std::vector<KstatIdentity>* ids);
  void scanDisks(std::vector<KstatIdentity>* ids);
  void scanInterfaces(std::vector<KstatIdentity>* ids);
  void rebuild(const std::vector<KstatIdentity>& ids);
  bool readObject(Kstat* ks);
  // One reader per kind of object, each filling ks from the files it takes.
  bool readSysinfo(Kstat* ks);
  bool readVminfo(Kstat* ks);
  bool readSystemMisc(Kstat* ks);
  bool readSystemPages(Kstat* ks);
  bool readCpu(Kstat* ks);
  bool readIo(Kstat* ks);
  bool readDiskErrors(Kstat* ks);
  bool readNet(Kstat* ks);
};

// Leading name characters before the first digit ("sd" of "sda", "eth" of
// "eth0"); the whole name when that is empty.
std::string kstatDriverOf(const std::string& name);
