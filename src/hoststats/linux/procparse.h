// Pure parsers of the procfs texts the kernel statistics layer reads. Each
// takes the whole file text and fills a plain structure, or returns false with
// a message saying which line or field was wrong. A figure missing from a text
// or malformed is an error, never a zero; figures that older kernels do not
// print (the optional fields below) are 0 and flagged as such.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One "cpuN" line of /proc/stat, in clock ticks.
struct ProcStatCpu {
  int cpu = 0;
  uint64_t user = 0, nice = 0, system = 0, idle = 0;
  uint64_t iowait = 0, irq = 0, softirq = 0, steal = 0;  // absent on very old kernels: 0
};

struct ProcStat {
  std::vector<ProcStatCpu> cpus;  // the online CPUs, in file order
  uint64_t ctxt = 0;              // context switches
  uint64_t intrTotal = 0;         // interrupts (first field of "intr")
  uint64_t softirqTotal = 0;      // soft interrupts (first field of "softirq")
  uint64_t processes = 0;         // forks since boot
  uint64_t procsRunning = 0;
  uint64_t procsBlocked = 0;
  uint64_t btime = 0;  // boot time, seconds since the epoch
};
bool parseProcStat(const std::string& text, ProcStat* out, std::string* error);

// "name value" lines (/proc/vmstat) or "Name: value [kB]" lines (/proc/meminfo).
typedef std::vector<std::pair<std::string, uint64_t>> ProcKeyValues;
bool parseProcVmstat(const std::string& text, ProcKeyValues* out, std::string* error);
bool parseProcMeminfo(const std::string& text, ProcKeyValues* out, std::string* error);
// Looks a key up; false with an error naming the key when it is absent.
bool procLookup(const ProcKeyValues& kv, const char* key, uint64_t* value, std::string* error);
// Looks a key up; 0 when absent.
uint64_t procLookupOptional(const ProcKeyValues& kv, const char* key);

// /proc/uptime: seconds since boot, as nanoseconds.
bool parseProcUptime(const std::string& text, int64_t* uptimeNs, std::string* error);

// /proc/loadavg: the three load averages scaled by 256 (rounded), and the
// number of scheduling entities.
struct ProcLoadavg {
  uint32_t avenrun[3] = {0, 0, 0};
  uint64_t runnable = 0;
  uint64_t threads = 0;
};
bool parseProcLoadavg(const std::string& text, ProcLoadavg* out, std::string* error);

// One line of /proc/diskstats.
struct ProcDiskStat {
  unsigned major = 0, minor = 0;
  std::string name;
  uint64_t readsCompleted = 0, readsMerged = 0, sectorsRead = 0, msReading = 0;
  uint64_t writesCompleted = 0, writesMerged = 0, sectorsWritten = 0, msWriting = 0;
  uint64_t inFlight = 0, msDoingIo = 0, weightedMsDoingIo = 0;
};
bool parseProcDiskstats(const std::string& text, std::vector<ProcDiskStat>* out, std::string* error);

// One interface of /proc/net/dev.
struct ProcNetDev {
  std::string name;
  uint64_t rxBytes = 0, rxPackets = 0, rxErrs = 0, rxDrop = 0, rxFifo = 0, rxFrame = 0, rxCompressed = 0,
           rxMulticast = 0;
  uint64_t txBytes = 0, txPackets = 0, txErrs = 0, txDrop = 0, txFifo = 0, txColls = 0, txCarrier = 0,
           txCompressed = 0;
};
bool parseProcNetDev(const std::string& text, std::vector<ProcNetDev>* out, std::string* error);

// The pair of lines "<prefix>: names..." / "<prefix>: values..." of /proc/net/snmp
// or /proc/net/netstat. Values may be negative (e.g. Tcp MaxConn -1); they are
// kept as their two's-complement bits.
bool parseProcSnmpSection(const std::string& text, const char* prefix, ProcKeyValues* out, std::string* error);

// /proc/interrupts or /proc/softirqs: per CPU, the sum of its column over the
// rows. The header line names a column per online CPU ("CPU0 CPU1 ..."); each
// row is "<label>: <one count per column> [description]". Rows with fewer counts
// than columns are system-wide (ERR and MIS of /proc/interrupts) and are left
// out, as are ERR and MIS on a one-CPU host.
struct ProcPerCpuCounts {
  std::vector<int> cpus;          // CPU number of each column
  std::vector<uint64_t> totals;   // column sums, one per entry of cpus
  // The sum of cpu's column; 0 when it has no column (offline).
  uint64_t totalFor(int cpu) const;
};
bool parseProcPerCpuCounts(const std::string& text, ProcPerCpuCounts* out, std::string* error);

// Strict unsigned decimal of a whole token; false on anything else.
bool parseU64Token(const char* begin, const char* end, uint64_t* value);
