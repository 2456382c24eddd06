// The manager singleton: run settings, the five sorted lists, the output
// stream, the pacing state, and the links to the cache view and the writer.
// Its member functions are defined by subsystem:
//   tallyargs.cpp      command line (tallyParseArgs and its helpers)
//   tallystartup.cpp   TallyInit, startupCover, resolveCacheName, TallyAttach
//   tallyloop.cpp      TallySloop, SampleStatsToFile, pacing, liveness
//   tallyoutput.cpp    output file naming, opening, writing, flushing, closing
//   tallyshutdown.cpp  TallyShutdown, tallyExitHandler, TallyKeyBoardInt
//   tallyheader.cpp    printStatDescription (the header of each output file)
//   tallyrecord.cpp, tallycacherecords.cpp   the monitor's own and the cache records
//   tallyattach.cpp    AttachSharedCache, basicDetach (the cache view)
// The manager is the writer's output sink; the writer also gets a view of the
// listed-process lists and the quiet flag (connectWriter), never the manager itself.
#pragma once

#include <cstdint>
#include <ctime>

#include "archive/archivesink.h"
#include "host/hosttypes.h"
#include "host/syserror.h"
#include "hoststats/listedprocs.h"
#include "hoststats/sortedlist.h"
#include "shrpc/hostshrstate.h"

class HostStatWriter;
struct ShrPcStateSType;
struct ShrPcProcessTableEntrySType;

const int DEFAULT_INTERVAL_MS = 20000;
const int MAX_BUFFER_FLUSH_TIME = 60;
const int DEFAULT_LIST_SIZE = 64;

class TallyMgr : public ArchiveSink {
 public:
  HostShrMemStateType shrMemState{};
  HostHrtime_t startTime = 0;
  uint32_t tallyStats[4]{};
  SortedList sessionsToSample{};
  SortedList pidsToMonitor{};
  SortedList uidsToMonitor{};
  SortedList pidsToExclude{};
  SortedList pidsWrittenThisTime{};
  // The four lists above as the writer's per-process code sees them.
  ListedProcesses listed{&pidsToMonitor, &uidsToMonitor, &pidsToExclude, &pidsWrittenThisTime};
  HostFnameStrType actualName{};
  char err[132]{};
  ErrMsgStrType errBuf{};
  int currentNumberOfSamples = 0;
  time_t restartTime = 0;
  uint32_t* appStats = nullptr;
  int lastBufferFlushTime = 0;
  int sampleIntervalMs = 0;
  int sampleNumTimes = 0;
  int sampleHours = 0;
  int flushInterval = 0;
  int numAppStats = 0;
  BoolType TallyStartupDone = FALSE;
  HostFnameStrType sampleFileName{};
  BoolType restart = FALSE;
  BoolType isCompressed = FALSE;
  BoolType keeperOnly = FALSE;
  BoolType pageMgrOnly = FALSE;
  BoolType hostStatsOnly = FALSE;
  BoolType pgsOnly = FALSE;
  BoolType quietMode = FALSE;
  int restartCount = 0;
  BoolType useStdout = FALSE;
  PidType thisProcessPid = 0;
  HostErrSType hostErr{};
  void* outFile = nullptr;  // FILE* or gzFile (isCompressed); null while no file is open
  // Set when a write to the archive failed for good: the run is ending, and the
  // exit path closes the stream without writing (or reporting) again.
  BoolType outputFailed = FALSE;
  uint32_t timeWritingStats = 0;
  char keeperName[128]{};
  char cacheName[256]{};
  ShrPcStateSType* shrpcPtr = nullptr;
  HostStatWriter* statWriter = nullptr;
  int64_t errorCorrection = 0;
  HostHrtime_t paceGridPoint = 0;  // the start the last pause slept to; 0: none (TallyPace)

  // --- initialisation (tallystartup.cpp) ---
  // Every member has its initial value by construction; init() adds the defaults
  // that need work (the lists' storage, the attachment record's mutex).
  void init();
  void init(HostStatWriter* writer);
  // Makes writer this manager's: its flushes come here, and it reads the
  // listed-process lists and the quiet flag.
  void connectWriter(HostStatWriter* writer);
  void TallyInit();
  BoolType startupCover();
  BoolType resolveCacheName();
  BoolType TallyAttach(const char* name);

  // --- command line (tallyargs.cpp) ---
  void tallyParseArgs(int argc, const char** argv);
  BoolType doAllSystemStats();
  BoolType doMonitorCpus();
  BoolType doMonitorDisks();
  BoolType doMonitorNetworks();
  BoolType doMonitorSystemPages();
  BoolType doDisableSystemStats();
  BoolType doSetHostOnlyMode();
  BoolType validateHostOnlyMode();
  BoolType processListOfPids(const char* list);
  BoolType processListOfUsers(const char* list);

  // --- sampling loop (tallyloop.cpp) ---
  [[noreturn]] void TallySloop();
  BoolType SampleStatsToFile();
  BoolType tallyRestlessSleep(int64_t interval, HostHrtime_t t0);
  BoolType tallyRestlessSleepNoMonitor(int64_t interval, HostHrtime_t t0);
  BoolType shouldDie();
  BoolType cachewardenDied();

  // --- output file (tallyoutput.cpp) ---
  const char* TallyDataFile();
  void* basicOpenOutFile(BoolType compressed, int* errorNumber);
  BoolType openOutFile();
  void writeToFile(char* text, size_t length) override;
  void writeBufferToFile(char* text, size_t length);
  void flushOutFile() override;
  void closeOutFile();
  void postHostError(int errorNumber);
  void postHostError();

  // --- header and records (archive/) ---
  void printStatDescription();
  void writeTallyRecord(const char* name, uint32_t typeNum, const uint32_t* values32, int processId, int count32,
                        const int64_t* values64 = nullptr, int count64 = 0);
  void writeProcessStatsForPte(const ShrPcProcessTableEntrySType* entry);
  void writeSharedCounters();
  void writeStatsForTallyscope();
  void wroteProcess(int processId);
  void writeCacheProcessRecords();

  // --- cache view (shrpc/) ---
  BoolType AttachSharedCache();
  BoolType basicDetach(HostShrMemAccessor& acc, BoolType quiet);
};

// The two process-wide singletons; allocated on first call, never freed.
TallyMgr* TallyGetStatMgr();
HostStatWriter* TallyGetStatWriter();

// Shutdown path (tallyshutdown.cpp).
void TallyShutdown();
void tallyExitHandler();
void TallyKeyBoardInt(int sig);

// atoi with errno check (a number beyond int fails too); the value is stored
// even on failure.
BoolType doAtoi(const char* text, int* out);
void printArgError(const char* what, const char* value);
void printHostOnlyError(const char* flag);
int getIdForUser(char* name);
