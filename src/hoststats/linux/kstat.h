// Kernel statistics objects built from the Linux procfs and sysfs.
//
// The host statistics code works on a chain of statistics objects, each with a
// kind (raw record, named values, or disk I/O record), a module, a name, a
// class and an instance number. This layer builds that chain from the files
// below a filesystem root (normally "/"; tests hand in a fixture tree), keeps
// it up to date as CPUs, disks and interfaces come and go, and refreshes the
// data of one object on request. It is the only code that opens /proc or /sys
// files for host figures. docs/hoststats-linux.md lists every figure and its
// source.
//
// Objects on the chain, in chain order:
//   raw   "unix" / "sysinfo" / "misc"        KstatSysinfo (once-a-second accumulations)
//   raw   "unix" / "vminfo" / "vm"           KstatVminfo  (once-a-second accumulations)
//   named "unix" / "system_misc" / "misc"    ncpus, nproc, avenrun_*, boot_time, clk_intr
//   named "unix" / "system_pages" / "pages"  physmem, freemem, availrmem, pageslocked, pagestotal
//   raw   "cpu_stat" / "cpu_stat<N>"         KstatCpuStat, one per online CPU, instance N
//   io    <driver> / <disk> / "disk"         KstatIo, each disk followed by its
//   named "sderr" / "<disk>,err" / "device_error"  error counters (SCSI disks only)
//   io    <driver> / <partition> / "partition"
//   named <driver> / <interface> / "net"     2 values for loopback interfaces, 13+ otherwise
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/hosttypes.h"

typedef int32_t KstatChainId;

enum KstatKind : uint8_t { KSTAT_KIND_RAW = 0, KSTAT_KIND_NAMED = 1, KSTAT_KIND_IO = 3 };

enum KstatDataType : uint8_t {
  KSTAT_DATA_CHAR = 0,
  KSTAT_DATA_INT32 = 1,
  KSTAT_DATA_UINT32 = 2,
  KSTAT_DATA_INT64 = 3,
  KSTAT_DATA_UINT64 = 4,
};

const int KSTAT_STRLEN = 32;  // names, modules and classes, NUL included

// One named value of a named object.
struct KstatNamed {
  char name[KSTAT_STRLEN];
  uint8_t dataType;  // KstatDataType
  union {
    char c[16];
    int32_t i32;
    uint32_t ui32;
    int64_t i64;
    uint64_t ui64;
  } value;
};

// The I/O record of a disk or partition. Byte counts and operation counts are
// running totals; times are nanoseconds. The run (active) queue carries what
// Linux measures: rtime is the time the device was busy, rlentime the
// integral of the number of requests in flight over time, rlastupdate the
// time of the read (system uptime). Linux keeps no separate wait queue, so the
// w* fields stay 0.
struct KstatIo {
  uint64_t nread;     // bytes read
  uint64_t nwritten;  // bytes written
  uint32_t reads;     // read operations completed
  uint32_t writes;    // write operations completed
  int64_t wtime;
  int64_t wlentime;
  int64_t wlastupdate;
  int64_t rtime;
  int64_t rlentime;
  int64_t rlastupdate;
  uint32_t wcnt;
  uint32_t rcnt;  // requests in flight now
};
static_assert(sizeof(KstatIo) == 80, "KstatIo layout");

// The record of one CPU. The tick counters (clock ticks, USER_HZ) and the
// interrupt counts (intr, intrthread: the CPU's columns of /proc/interrupts and
// /proc/softirqs) are this CPU's own; the other event, paging and fault
// counters are running totals kept system-wide by Linux and carried by the
// first online CPU's object only (0 on the others), so that sums over all CPUs
// are the system's totals. Counters Linux does not keep are 0. All values are
// the low 32 bits of the kernel's counters.
struct KstatCpuStat {
  uint32_t ticks[4];  // idle, user, kernel, wait (the last unused: 0)
  uint32_t wait[3];   // I/O wait, swap wait, physical I/O wait ticks
  uint32_t bread, bwrite, lread, lwrite, phread, phwrite, pswitch, trap, intr, syscall;
  uint32_t sysread, syswrite, sysfork, sysvfork, sysexec;
  uint32_t msg, sema, namei;
  uint32_t intrthread, intrblk, idlethread, inv_swtch, nthreads, cpumigrate, xcalls;
  uint32_t mutex_adenters, rw_rdfails, rw_wrfails;
  uint32_t bawrite;
  uint32_t iowait;  // threads blocked on I/O now (a current count)
  uint32_t pgrec, pgfrec, pgin, pgpgin, pgout, pgpgout, swapin, pgswapin, swapout, pgswapout;
  uint32_t zfod, dfree, scan, rev, hat_fault, as_fault, maj_fault, cow_fault, prot_fault;
  uint32_t softlock, kernel_asflt, pgrrun, execpgin, execpgout, execfree, anonpgin, anonpgout;
  uint32_t anonfree, fspgin, fspgout, fsfree;
};
const size_t KSTAT_CPU_STAT_SIZE = sizeof(KstatCpuStat);
static_assert(KSTAT_CPU_STAT_SIZE == 68 * 4, "KstatCpuStat layout");

// Scheduler accumulations: once per elapsed second `updates` grows by one and
// each other field by the figure of that second (running totals).
struct KstatSysinfo {
  uint32_t updates;
  uint32_t runque;  // runnable threads
  uint32_t runocc;  // seconds with at least one runnable thread
  uint32_t swpque;  // swapped-out runnable processes (none on Linux: 0)
  uint32_t swpocc;
  uint32_t waiting;  // threads blocked on I/O
};
static_assert(sizeof(KstatSysinfo) == 24, "KstatSysinfo layout");

// Memory accumulations in pages, once per elapsed second like KstatSysinfo.
struct KstatVminfo {
  uint64_t freemem;
  uint64_t swap_resv;
  uint64_t swap_alloc;
  uint64_t swap_avail;
  uint64_t swap_free;
  uint64_t updates;
};
static_assert(sizeof(KstatVminfo) == 48, "KstatVminfo layout");

// The TCP counters (running totals except tcpCurrEstab, a current count).
// Counters Linux does not keep are 0.
struct KstatTcpMib {
  uint32_t tcpActiveOpens, tcpPassiveOpens, tcpAttemptFails, tcpEstabResets, tcpCurrEstab;
  uint32_t tcpInSegs, tcpOutSegs, tcpRetransSegs;
  uint32_t tcpOutDataBytes, tcpRetransBytes;
  uint32_t tcpOutAck, tcpOutAckDelayed, tcpOutControl;
  uint32_t tcpInAckSegs, tcpInAckBytes, tcpInDupAck, tcpInAckUnsent;
  uint32_t tcpInDataInorderBytes, tcpInDataUnorderBytes, tcpInDataDupBytes, tcpInDataPartDupBytes;
  uint32_t tcpTimRetrans, tcpTimRetransDrop;
  uint32_t tcpTimKeepalive, tcpTimKeepaliveProbe, tcpTimKeepaliveDrop;
  uint32_t tcpListenDrop, tcpListenDropQ0, tcpHalfOpenDrop;
};

struct KstatSource;

// One statistics object. Owned by the KstatCtl; valid until a chain update
// that removes it (the chain id then changes).
struct Kstat {
  KstatKind kind;
  char module[KSTAT_STRLEN];
  char name[KSTAT_STRLEN];
  char className[KSTAT_STRLEN];
  int instance;
  // Null until the first successful read; then the record (raw, io) or the
  // array of ndata KstatNamed (named). A failed read keeps the previous data.
  void* data;
  size_t dataSize;  // bytes at data
  unsigned ndata;   // named values (named kind); 1 otherwise
  Kstat* next;      // null at the end of the chain

  KstatSource* source;  // the layer's own bookkeeping
};

// The open layer. Single-threaded.
class KstatCtl {
 public:
  ~KstatCtl();
  KstatCtl(const KstatCtl&) = delete;
  KstatCtl& operator=(const KstatCtl&) = delete;

  // Builds the chain from the files below root ("/" for the live host).
  // pageSize 0 means the system's page size. Null with *error and *errorNumber
  // set when a file needed to list the objects cannot be read or parsed.
  static std::unique_ptr<KstatCtl> open(const std::string& root, uint32_t pageSize, std::string* error,
                                        int* errorNumber);

  Kstat* chain() const;
  KstatChainId chainId() const;

  // Brings the chain up to date: the new chain id when CPUs, disks, partitions
  // or interfaces appeared or vanished, 0 when nothing changed, -1 on failure
  // (lastError, lastErrno; the chain stays as it was).
  KstatChainId chainUpdate();

  // Refreshes the object's data from its files: the chain id, or -1 on failure
  // (lastError names the file and what was wrong; the old data stay).
  // Objects read one after the other share one reading of each file; a file is
  // read again when an object that already took figures from it asks again.
  KstatChainId read(Kstat* ks);

  // The TCP counters from /proc/net/snmp and /proc/net/netstat.
  BoolType readTcpMib(KstatTcpMib* out);

  // Physical memory in pages (MemTotal).
  BoolType physicalPages(uint64_t* pages);

  uint32_t pageSize() const;
  const std::string& root() const;
  const std::string& lastError() const;
  int lastErrno() const;

 private:
  struct Impl;
  explicit KstatCtl(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> _impl;
};

