#include "hoststats/hoststatnames.h"

#include "archive/hoststatwriter.h"
#include "hoststats/listedprocs.h"


#define HOST_CPU_NAMES                                                                                          \
  "PercentCpuActive", "PercentCpuWaiting", "PercentCpuIdle", "PercentCpuUser", "PercentCpuSystem",             \
      "PercentCpuIOWait", "PercentCpuSwapWait", "PhysicalBlockReads", "PhysicalBlockWrites",                   \
      "LogicalBlockReads", "LogicalBlockWrites", "RawIOReads", "RawIOWrites", "TotalCSW", "Traps", "Interrupts", \
      "SystemCalls", "SystemReads", "SystemWrites", "SystemForks", "SystemVForks", "SystemExecs",               \
      "MessageCount", "SemaphoreOps", "PathnameLookups", "InterruptsAsThreads", "InterruptsBlocked",            \
      "IdleThread", "TotalIVolCSW", "ThreadCreates", "ThreadMigrates", "CrossCalls", "FailedMutexEnters",       \
      "FailedReaderLocks", "FailedWriterLocks", "PhysicalAsyncBlockWrites", "ProcsInIOWait", "PageReclaims",    \
      "PageFreeReclaims", "PageIns", "PagesPagedIn", "PageOuts", "PagesPagedOut", "SwapIns", "PagesSwappedIn",  \
      "SwapOuts", "PagesSwappedOut", "ZeroFilledPages", "PagesFreedAutomatically", "PagesScanned",              \
      "PageDemonCycles", "HATMinorFaults", "UserMinorFaults", "MajorPageFaults", "CopyOnWriteFaults",           \
      "ProtectionFaults", "SoftwareLockFaults", "SystemMinorFaults", "PagerRuns", "ExecPagesPagedIn",           \
      "ExecPagesPagedOut", "ExecPagesFreed", "AnonymousPagesPagedIn", "AnonymousPagesPagedOut",                 \
      "AnonymousPagesFreed", "FileSystemPagesPagedIn", "FileSystemPagesPagedOut", "FileSystemPagesFreed"

const char* const HostCpuStatNames[HOST_CPU_STAT_COUNT] = {HOST_CPU_NAMES};

const char* const HostSystemStatNames[HOST_SYSTEM_STAT_COUNT] = {
    "CPUs",           "Processes",       "LoadAverage1",       "LoadAverage5",       "LoadAverage15",
    "PhysicalMemory", "SchedulerRunCount", "SchedulerSwapCount", "SchedulerWaitCount", "FreeMemory",
    "ReservedSwap",   "AllocatedSwap",   "UnreservedSwap",     "UnallocatedSwap",    HOST_CPU_NAMES};

#define HOST_PARTITION_NAMES                                                                              \
  "ReadKBytes", "WriteKBytes", "ReadOperations", "WriteOperations", "WaitQueueLength",                    \
      "WaitQueueResponseTime", "WaitQueueServiceTime", "WaitQueueUtilization", "ActiveQueueLength",       \
      "ActiveQueueResponseTime", "ActiveQueueServiceTime", "ActiveQueueUtilization"

const char* const HostDiskStatNames[HOST_DISK_STAT_COUNT] = {
    HOST_PARTITION_NAMES, "SoftErrors",     "HardErrors",     "TransportErrors",          "MediaErrors",
    "DeviceNotReady",     "NoDevice",       "Recoverable",    "IllegalRequest",           "PredictiveFailureAnalysis"};

const char* const HostPartitionStatNames[HOST_PARTITION_STAT_COUNT] = {HOST_PARTITION_NAMES};

const char* const HostNetworkStatNames[HOST_NETWORK_STAT_COUNT] = {"InputPackets", "OutputPackets"};

const char* const HostComplexNetworkStatNames[HOST_COMPLEX_NETWORK_STAT_COUNT] = {
    "InputPackets",          "InputErrors",           "OutputPackets",          "OutputErrors",
    "Collisions",            "InputBytes",            "OutputBytes",            "MulticastInputPackets",
    "MulticastOutputPackets", "BroadcastInputPackets", "BroadcastOutputPackets", "InputPacketsDiscarded",
    "OutputPacketsDiscarded"};

const char* const HostTcpStatNames[HOST_TCP_STAT_COUNT] = {
    "Segments",           "ConnectionsEstablished",   "ConnectionsActive",     "ConnectionsPassive",
    "ConnectionFailures", "ConnectionsReset",         "SegmentsReceived",      "SegmentsSent",
    "SegmentsRetransmitted", "SentTcpBytes",          "RetransmittedTcpBytes", "AcksSent",
    "DelayedAcksSent",    "ControlSegmentsSent",      "AcksReceived",          "AckedBytes",
    "DuplicateAcks",      "AcksForUnsentData",        "ReceivedInorderBytes",  "ReceivedOutOfOrderBytes",
    "ReceivedDuplicateBytes", "ReceivedPartialDuplicateBytes", "RetransmitTimeouts", "RetransmitTimeoutDrops",
    "KeepAliveTimeouts",  "KeepAliveProbes",          "KeepAliveDrops",        "ListenQueueFull",
    "HalfOpenQueueFull",  "HalfOpenDrops"};

const char* const HostSystemPagesStatNames[HOST_SYSTEM_PAGES_STAT_COUNT] = {
    "PhysicalMemory", "FreeMemory", "UnswappableMemory", "LockedPages", "TotalPages"};

namespace {

BoolType always(const HostStatWriter&) { return TRUE; }
// Processes listed with -Q or owners listed with -U.
BoolType listedProcesses(const HostStatWriter& w) {
  return w.listed != nullptr && monitorNonQlProcesses(*w.listed) ? TRUE : FALSE;
}
BoolType cpus(const HostStatWriter& w) { return w.monitorCpus; }
BoolType disks(const HostStatWriter& w) { return w.monitorDisks; }
BoolType partitions(const HostStatWriter& w) { return w.monitorPartitions; }
BoolType networks(const HostStatWriter& w) { return w.monitorNetworks; }
BoolType systemPages(const HostStatWriter& w) { return w.monitorSystemPages; }

}  // namespace

const HostStatTypeDesc HostStatTypes[] = {
    {"Solaris_x86_System", HostSystemStatNames, HOST_SYSTEM_STAT_COUNT, "\n)", &HostStatWriter::systemTypeCount,
     always},
    {"Solaris_Process", nullptr, HOST_PROCESS_STAT_COUNT, "\n )", &HostStatWriter::processTypeCount,
     listedProcesses},
    {"x86_CPU", HostCpuStatNames, HOST_CPU_STAT_COUNT, "\n  )", &HostStatWriter::cpuTypeCount, cpus},
    {"HardDisk", HostDiskStatNames, HOST_DISK_STAT_COUNT, "\n  )", &HostStatWriter::diskTypeCount, disks},
    {"DiskPartition", HostPartitionStatNames, HOST_PARTITION_STAT_COUNT, "\n  )", &HostStatWriter::partitionTypeCount,
     partitions},
    {"Network", HostNetworkStatNames, HOST_NETWORK_STAT_COUNT, "\n  )", &HostStatWriter::networkTypeCount, networks},
    {"ComplexNetwork", HostComplexNetworkStatNames, HOST_COMPLEX_NETWORK_STAT_COUNT, "\n  )",
     &HostStatWriter::complexNetworkTypeCount, networks},
    {"TCP", HostTcpStatNames, HOST_TCP_STAT_COUNT, "\n  )", &HostStatWriter::tcpTypeCount, networks},
    {"SystemPages", HostSystemPagesStatNames, HOST_SYSTEM_PAGES_STAT_COUNT, "\n  )",
     &HostStatWriter::systemPagesTypeCount, systemPages},
};
const int HostStatTypeCount = sizeof(HostStatTypes) / sizeof(HostStatTypes[0]);
