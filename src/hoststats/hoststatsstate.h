// The host statistics state of the archive writer: the kernel statistics
// handle, the objects selected from its chain, the previous-sample baselines,
// and the host records filled each sample. HostStatWriter holds one
// (`hostStats`); its HostStats* operations delegate here.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "host/hosttypes.h"
#include "hoststats/hoststatrecords.h"
#include "hoststats/hosttable.h"
#include "hoststats/linux/kstat.h"

const int MAX_CPUS = 1024;
const int MAX_DISK = 1024;
const int MAX_PARTITION = 1024;
const int MAX_SIMPLE_NET = 32;
const int MAX_COMPLEX_NET = 32;
const int MAX_CPU_STATS = 5;

// CPU time states kept per CPU for percentages.
enum { CPU_STAT_IDLE = 0, CPU_STAT_USER = 1, CPU_STAT_SYSTEM = 2, CPU_STAT_IOWAIT = 3, CPU_STAT_SWAPWAIT = 4 };

// Accumulation slots of the CPU counters; 6 to 66 map one to one onto the
// HostCpuStatsSType totals from physicalBlockReads on.
enum CpuStatSlot {
  CPUSTAT_IDLE, CPUSTAT_USER, CPUSTAT_KERNEL, CPUSTAT_WIO, CPUSTAT_WSWAP, CPUSTAT_WPIO,
  CPUSTAT_BREAD, CPUSTAT_BWRITE, CPUSTAT_LREAD, CPUSTAT_LWRITE, CPUSTAT_PHREAD, CPUSTAT_PHWRITE,
  CPUSTAT_PSWITCH, CPUSTAT_TRAP, CPUSTAT_INTR, CPUSTAT_SYSCALL, CPUSTAT_SYSREAD, CPUSTAT_SYSWRITE,
  CPUSTAT_SYSFORK, CPUSTAT_SYSVFORK, CPUSTAT_SYSEXEC, CPUSTAT_MSG, CPUSTAT_SEMA, CPUSTAT_NAMEI,
  CPUSTAT_INTRTHREAD, CPUSTAT_INTRBLK, CPUSTAT_IDLETHREAD, CPUSTAT_INV_SWTCH, CPUSTAT_NTHREADS,
  CPUSTAT_CPUMIGRATE, CPUSTAT_XCALLS, CPUSTAT_MUTEX_ADENTERS, CPUSTAT_RW_RDFAILS, CPUSTAT_RW_WRFAILS,
  CPUSTAT_BAWRITE, CPUSTAT_IOWAIT,
  CPUSTAT_PGREC, CPUSTAT_PGFREC, CPUSTAT_PGIN, CPUSTAT_PGPGIN, CPUSTAT_PGOUT, CPUSTAT_PGPGOUT,
  CPUSTAT_SWAPIN, CPUSTAT_PGSWAPIN, CPUSTAT_SWAPOUT, CPUSTAT_PGSWAPOUT, CPUSTAT_ZFOD, CPUSTAT_DFREE,
  CPUSTAT_SCAN, CPUSTAT_REV, CPUSTAT_HAT_FAULT, CPUSTAT_AS_FAULT, CPUSTAT_MAJ_FAULT, CPUSTAT_COW_FAULT,
  CPUSTAT_PROT_FAULT, CPUSTAT_SOFTLOCK, CPUSTAT_KERNEL_ASFLT, CPUSTAT_PGRRUN, CPUSTAT_EXECPGIN,
  CPUSTAT_EXECPGOUT, CPUSTAT_EXECFREE, CPUSTAT_ANONPGIN, CPUSTAT_ANONPGOUT, CPUSTAT_ANONFREE,
  CPUSTAT_FSPGIN, CPUSTAT_FSPGOUT, CPUSTAT_FSFREE,
  CPUSTAT_COUNT
};

// The five CPU time states from the accumulation slots: the swap wait is the
// wait for swapping and for page I/O together.
inline void cpuStatesFromSlots(const uint32_t* slots, uint32_t* states) {
  states[CPU_STAT_IDLE] = slots[CPUSTAT_IDLE];
  states[CPU_STAT_USER] = slots[CPUSTAT_USER];
  states[CPU_STAT_SYSTEM] = slots[CPUSTAT_KERNEL];
  states[CPU_STAT_IOWAIT] = slots[CPUSTAT_WIO];
  states[CPU_STAT_SWAPWAIT] = slots[CPUSTAT_WSWAP] + slots[CPUSTAT_WPIO];
}
const int FIRST_CPUSTAT_TOWRITE = CPUSTAT_BREAD;
static_assert(CPUSTAT_COUNT == 67 && CPUSTAT_FSFREE - FIRST_CPUSTAT_TOWRITE + 1 == 61, "CPU slots");

// Destination numbers of the named-item tables.
enum { SYSTEM_PID, SYSTEM_ID, SYSTEM_CPUCOUNT, SYSTEM_PROCCOUNT, SYSTEM_LOADAV1, SYSTEM_LOADAV5,
       SYSTEM_LOADAV15, SYSTEM_PHYSMEM, SYSTEM_RUNQUE, SYSTEM_SWPQUE, SYSTEM_WAITING, SYSTEM_FREEMEM,
       SYSTEM_SWAPRESV, SYSTEM_SWAPALLOC, SYSTEM_SWAPAVAIL, SYSTEM_UNALLOCSWAP, SYSTEM_DATA_SIZE };
enum { SYSPAGES_PID, SYSPAGES_ID, SYSPAGES_PHYSMEM, SYSPAGES_FREEMEM, SYSPAGES_AVAILRMEM, SYSPAGES_LOCKED,
       SYSPAGES_IO, SYSPAGES_TOTAL, SYSPAGES_DATA_SIZE };
enum { SNET_PID, SNET_ID, SNET_IPACKETS, SNET_OPACKETS, SNET_DATA_SIZE };
enum { CNET_PID, CNET_ID, CNET_IPACKETS, CNET_IERRORS, CNET_OPACKETS, CNET_OERRORS, CNET_COLLISIONS,
       CNET_RBYTES, CNET_OBYTES, CNET_MULTIRCV, CNET_MULTIXMT, CNET_BRDCSTRCV, CNET_BRDCSTXMT,
       CNET_NORCVBUF, CNET_NOXMTBUF, CNET_DATA_SIZE };
enum { SDERR_SOFT_ERRORS, SDERR_HARD_ERRORS, SDERR_TRANSPORT_ERRORS, SDERR_MEDIA_ERROR,
       SDERR_DEVICE_NOT_READY, SDERR_NO_DEVICE, SDERR_RECOVERABLE, SDERR_ILLEGAL_REQUEST,
       SDERR_PREDICTIVE_FAILURE_ANALYSIS, SDERR_DATA_SIZE };

// Converts a kernel value before it is stored.
typedef uint32_t (*NamedItemFilter)(uint64_t);

// One row of a named-item table: binds a named value by name. srcIdx is the
// value's position in the object (-1 unresolved; the first row's srcIdx marks
// the whole table); a row without a name ends the table.
struct namedItem {
  const char* name;
  int srcIdx;
  int dstIdx;
  NamedItemFilter filter;
};

const int NAMED_TABLE_ROWS = 16;  // room for the largest table and its end row

// Page size in kilobytes for memPageFilter; set by HostStatsInit.
extern uint64_t localMemPageSizeKb;

// The single-precision bit pattern of a value.
uint32_t doubleBits(double value);
// Load average scaled by 256 -> float pattern of the load average.
uint32_t loadAvgFilter(uint64_t value);
// Pages -> megabytes.
uint32_t memPageFilter(uint64_t value);

// Resolves srcIdx of every row by name; FALSE (table unresolved) when a row has no match.
BoolType getNamedOffsets(const Kstat* object, namedItem* table);
// TRUE when the object has the layout the table was resolved against.
BoolType matchNamedOffsets(const Kstat* object, const namedItem* table);
// Copies the bound values into start .. limit (exclusive), one field per row.
void setNamedItemsInto(const Kstat* object, uint32_t* start, uint32_t* limit, const namedItem* table);

// Adds one CPU's record into 67 accumulation slots (wrapping).
void storeSolarisCpuStats(uint32_t* slots, const KstatCpuStat* cpuStat);
// Fills a CPU record from the slots and advances last (MAX_CPU_STATS states).
void computeCpuStats(HostCpuStatsSType* out, const uint32_t* slots, uint32_t* last);

struct diskkp_t {
  Kstat* iokp;
  Kstat* errkp;  // null when the disk has no error counters
};

// The collection switches of the writer, as the collection code reads them.
struct HostStatsSwitches {
  BoolType monitorDisks = FALSE;
  BoolType monitorPartitions = FALSE;
  BoolType monitorNetworks = FALSE;
  BoolType monitorCpus = FALSE;
  BoolType monitorSystemPages = FALSE;
};

struct HostStatsState {
  // root: the filesystem root the kernel figures are read below ("/" live).
  // pageSize: 0 for the system's page size.
  explicit HostStatsState(const std::string& root = "/", uint32_t pageSize = 0);
  ~HostStatsState();

  std::string root;
  uint32_t pageSizeOverride;

  uint32_t memoryPageSize = 4096;
  char systemName[64] = "system";
  int numCpus = 0, numDisks = 0, numPartitions = 0, numNetworks = 0, numComplexNetworks = 0;
  std::unique_ptr<KstatCtl> kc;
  Kstat* systemkp = nullptr;
  Kstat* sysinfokp = nullptr;
  Kstat* vmkp = nullptr;
  Kstat* syspageskp = nullptr;
  HostTable<Kstat*, MAX_CPUS> cpukps;
  Kstat* snetkps[MAX_SIMPLE_NET] = {};
  Kstat* cnetkps[MAX_COMPLEX_NET] = {};
  HostTable<Kstat*, MAX_PARTITION> partitionkps;
  HostTable<diskkp_t, MAX_DISK> diskkps;
  HostTable<KstatIo, MAX_DISK> prevDiskio;
  HostTable<KstatIo, MAX_PARTITION> prevPartitionio;
  KstatSysinfo lastsysinfo = {};
  KstatVminfo lastvminfo = {};
  uint32_t combinedCpus[CPUSTAT_COUNT] = {};
  HostTable<std::array<uint32_t, CPUSTAT_COUNT>, MAX_CPUS> eachCpuStats;
  uint32_t lastCombinedCpuStats[MAX_CPU_STATS] = {};
  HostTable<std::array<uint32_t, MAX_CPU_STATS>, MAX_CPUS> lastCpuStats;
  uint32_t physicalMemory = 0;  // MB
  uint32_t physicalPages = 0;
  KstatTcpMib nativeTcpStats = {};

  // The records written by the host records of each sample.
  HostSystemStatsSType systemStats = {};
  HostTable<HostCpuStatsSType, MAX_CPUS> cpuStats;
  HostTable<HostDiskStatsSType, MAX_DISK> diskStats;
  HostTable<HostPartitionStatsSType, MAX_PARTITION> partitionStats;
  HostNetworkStatsSType networkStats[MAX_SIMPLE_NET] = {};
  HostComplexNetworkStatsSType complexNetworkStats[MAX_COMPLEX_NET] = {};
  HostTcpStatsSType tcpStats = {};
  HostSystemPagesStatsSType systemPagesStats = {};

  // Named-item tables (srcIdx filled at run time).
  namedItem systemNamedData[NAMED_TABLE_ROWS];
  namedItem syspagesNamedData[NAMED_TABLE_ROWS];
  namedItem snetNamedData[NAMED_TABLE_ROWS];
  namedItem cnetNamedData[NAMED_TABLE_ROWS];
  namedItem sderrNamedData[NAMED_TABLE_ROWS];

  int cpuRowsInUse = 0;  // eachCpuStats rows that may hold figures
  // Sources that failed to read, by name ("module:name", "tcp"), with what was
  // said: a failure is reported once, when the source starts failing, and
  // forgotten when it reads again.
  std::map<std::string, std::string> failingSources;
  // A named object could not be read or bound while the selection was made:
  // the selection is made again at each sample until every object is taken.
  BoolType reselect = FALSE;

  // Opens the kernel statistics and takes the first readings (HostStatsInit
  // without the /proc bookkeeping of the process tracking).
  BoolType open(const HostStatsSwitches& sw);
  void close();
  BoolType updateKstatChain(const HostStatsSwitches& sw, BoolType force, BoolType* changed);
  void allocateStatMemory(const HostStatsSwitches& sw);
  BoolType readSystemStats(const HostStatsSwitches& sw);
  // Fills every record for this sample (HostStatsGetStatsForSystem).
  BoolType collect(const HostStatsSwitches& sw);
  BoolType collectSchedulerAndSwap();
  BoolType getTcpStats(KstatTcpMib* out);
  template <typename R>
  void getIoStats(const KstatIo& cur, KstatIo* prev, R* out);
  uint32_t cvtPagesToMB(uint64_t pages, uint32_t divisor) const;

 private:
  BoolType bindNamed(const Kstat* object, namedItem* table);
  // Reads an object; a failure is reported once until it reads again.
  BoolType readObject(Kstat* object);
  // Reads a named object while the selection is made and binds it with table;
  // a failure is reported and the selection is made again next sample.
  BoolType readAndBind(Kstat* object, namedItem* table);
  void reportFailure(const std::string& source, const std::string& message);
  void reportSuccess(const std::string& source);
};
