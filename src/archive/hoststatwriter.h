// The archive writer singleton: the text encoder with its page-aligned growing
// buffer, the host statistics state, the host type numbers and the table of open
// /proc files. Member functions are defined by subsystem:
//   archive/encoder.cpp      the typed write operations and the buffer
//   archive/header*.cpp      writeTypeCount, writeBasicStatNames, HostStatsProcessHeader
//   hoststats/               HostStatsInit/Close, collection and host records
//   hoststats/ (processes)   per-process figures and listed processes
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/hosttypes.h"

class ArchiveSink;
class TallyMgr;
struct HostStatsState;
struct ListedProcesses;
struct ProcessTracker;

// The 30 per-process operating-system figures of one process, in record order
// (positions named in hoststats/processstats.h), and the process's executable
// name, the instance name of its "Solaris_Process" record.
struct HostProcessStatsSType {
  uint32_t values[30];
  char name[32];
};

class HostStatWriter {
 public:
  // --- encoder ---
  char* rawBuffer = nullptr;  // the heap allocation; owned
  char* buffer = nullptr;     // rawBuffer moved up to the next 4096-byte boundary
  char* bufLimit = nullptr;   // buffer + bufferSize
  char* bufPtr = nullptr;     // next free byte; always holds a NUL
  BoolType quiet = FALSE;
  size_t bufferSize = 0;
  uint32_t sampleTimeStamp = 0;
  TallyMgr* mgr = nullptr;      // the manager that owns the writer; only stored here
  ArchiveSink* sink = nullptr;  // receives the text of every flush (the manager's output file)

  // --- collection switches (set by the command line) ---
  BoolType disableSystemStats = FALSE;
  BoolType monitorDisks = FALSE;
  BoolType monitorPartitions = FALSE;
  BoolType monitorNetworks = FALSE;
  BoolType monitorCpus = FALSE;
  BoolType monitorSystemPages = FALSE;

  // --- host type numbers (assigned while the header is written) ---
  uint32_t currentTypeCount = 0;
  uint32_t baseTypeCount = 0;
  uint32_t systemTypeCount = 0;
  uint32_t processTypeCount = 0;
  uint32_t cpuTypeCount = 0;
  uint32_t diskTypeCount = 0;
  uint32_t tcpTypeCount = 0;
  uint32_t networkTypeCount = 0;
  uint32_t complexNetworkTypeCount = 0;
  uint32_t partitionTypeCount = 0;
  uint32_t systemPagesTypeCount = 0;

  // --- host statistics state (hoststats) ---
  // Kernel-statistics handle, selections, baselines and host records
  // (hoststats/hoststatsstate.h). Created by HostStatsInit, or beforehand by a
  // caller that wants another filesystem root; lives as long as the writer.
  HostStatsState* hostStats = nullptr;

  // --- process tracking (hoststats, per-process figures) ---
  // The table of open /proc files and the /proc walk of listed users; created on
  // first use by the per-process functions and kept as long as the writer.
  ProcessTracker* procTracker = nullptr;
  // The processes listed with -Q and -U, those excluded and those already
  // recorded in this sample; handed in by the manager that owns the lists.
  ListedProcesses* listed = nullptr;
  // The manager's quiet flag (-q), read when a one-time warning is due.
  const BoolType* quietMode = nullptr;
  // Creates the process tracking reading below procRoot (tests hand in a fixture
  // tree); later calls change nothing. Called implicitly with "/proc".
  void initProcessTracking(const char* procRoot);

  // --- life cycle ---
  // Allocates the buffer and sets the host type numbers; once per writer.
  void init(TallyMgr* manager);

  // --- encoder (archive/encoder.cpp) ---
  int spaceUsed() const { return (int)(bufPtr - buffer); }
  int spaceLeft() const { return (int)(bufLimit - bufPtr); }
  int spaceLeftForData() const { return spaceLeft() - 2 > 0 ? spaceLeft() - 2 : 0; }
  BoolType isEmpty() const { return spaceUsed() == 0 ? TRUE : FALSE; }
  BoolType notEmpty() const { return isEmpty() ? FALSE : TRUE; }
  char lastCharacter() const { return bufPtr[-1]; }
  void setLastCharacter(char c) { bufPtr[-1] = c; }

  void writeCharacter(char c);
  void writeNewLine();
  void _writeString(const char* s, size_t len);
  void writeString(const char* s);
  // A name as one token (the instance names of records): every space, every
  // byte below 0x20 and DEL (0x7f) is written as '_'.
  void writeStringNoSpaces(const char* s);
  void writeStringNoSpaces(const char* s, size_t len);
  void writeArrayOfStrings(const char* const* names, int n);
  void writeSmallUInt(int v);
  void writeSmallNegativeInt(int v);
  void writeUInt64(uint64_t v);
  void writeUInt(uint32_t v);
  void writeInt64(int64_t v);
  void writeVectorU32(const uint32_t* values, int n);
  void writeVectorI64(const int64_t* values, int n);
  void writeTimeStamp();
  void writeStatsForPidWithInfo(const HostProcessStatsSType* stats);
  void writeEndOfRecord();
  void flushBuffer();
  void growIfNeeded(size_t n);
  void growBuffer(size_t newSize);
  void flushIfNeeded();
  void getSampleTime();

  // --- header (archive/) ---
  uint32_t writeTypeCount();
  void writeBasicStatNames();
  void HostStatsProcessHeader();

  // --- host statistics (hoststats/) ---
  BoolType HostStatsInit();
  void HostStatsClose();
  BoolType HostStatsGetStatsForSystem();
  void HostStatsWriteSystemHeader();
  void HostStatsWriteStatsForSystem();

  // --- per-process figures and listed processes (hoststats/) ---
  // Fills the 30 figures of processId; FALSE when they cannot be read.
  BoolType HostStatsGetStatsForProcess(int processId, HostProcessStatsSType* stats);
  // Records of processes listed with -Q or owned by users given with -U.
  void writeStatsForListedProcesses();
  // Drops the open /proc files of processes that have ended (at most every 2 s).
  void cleanupDeadPids();
};
