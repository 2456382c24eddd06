// The host statistic records: one field per archive counter, in counter order.
// All fields are unsigned 32-bit except the CPU percentages; fields marked
// "float" hold the bit pattern of an IEEE 754 single-precision value.
#pragma once

#include <cstddef>
#include <cstdint>

const int HOST_BASE_STAT_COUNT = 5;
const int HOST_SYSTEM_STAT_COUNT = 82;
const int HOST_PROCESS_STAT_COUNT = 30;
const int HOST_CPU_STAT_COUNT = 68;
const int HOST_DISK_STAT_COUNT = 21;
const int HOST_PARTITION_STAT_COUNT = 12;
const int HOST_NETWORK_STAT_COUNT = 2;
const int HOST_COMPLEX_NETWORK_STAT_COUNT = 13;
const int HOST_TCP_STAT_COUNT = 30;
const int HOST_SYSTEM_PAGES_STAT_COUNT = 5;

// One CPU, or all CPUs together. Percentages are whole percent over the
// interval; the other 61 are the kernel's running totals.
struct HostCpuStatsSType {
  int32_t percentCpuActive, percentCpuWaiting, percentCpuIdle, percentCpuUser, percentCpuSystem;
  int32_t percentCpuIOWait, percentCpuSwapWait;
  uint32_t physicalBlockReads, physicalBlockWrites, logicalBlockReads, logicalBlockWrites, rawIOReads, rawIOWrites;
  uint32_t totalCSW, traps, interrupts, systemCalls, systemReads, systemWrites, systemForks, systemVForks;
  uint32_t systemExecs, messageCount, semaphoreOps, pathnameLookups, interruptsAsThreads, interruptsBlocked;
  uint32_t idleThread, totalIVolCSW, threadCreates, threadMigrates, crossCalls, failedMutexEnters;
  uint32_t failedReaderLocks, failedWriterLocks, physicalAsyncBlockWrites, procsInIOWait;
  uint32_t pageReclaims, pageFreeReclaims, pageIns, pagesPagedIn, pageOuts, pagesPagedOut, swapIns;
  uint32_t pagesSwappedIn, swapOuts, pagesSwappedOut, zeroFilledPages, pagesFreedAutomatically, pagesScanned;
  uint32_t pageDemonCycles, hATMinorFaults, userMinorFaults, majorPageFaults, copyOnWriteFaults;
  uint32_t protectionFaults, softwareLockFaults, systemMinorFaults, pagerRuns, execPagesPagedIn;
  uint32_t execPagesPagedOut, execPagesFreed, anonymousPagesPagedIn, anonymousPagesPagedOut;
  uint32_t anonymousPagesFreed, fileSystemPagesPagedIn, fileSystemPagesPagedOut, fileSystemPagesFreed;
};
static_assert(sizeof(HostCpuStatsSType) == HOST_CPU_STAT_COUNT * 4, "one field per CPU counter");
static_assert(offsetof(HostCpuStatsSType, physicalBlockReads) == 7 * 4, "61 totals follow 7 percentages");

struct HostSystemStatsSType {
  uint32_t numCpus, numProcesses;
  uint32_t encodedLoadAverage1, encodedLoadAverage5, encodedLoadAverage15;  // float
  uint32_t physicalMemory;                                                  // MB
  uint32_t schedulerRunCount, schedulerSwapCount, schedulerWaitCount;       // running totals
  uint32_t freeMemory, reservedSwap, allocatedSwap, unreservedSwap, unallocatedSwap;  // MB, interval averages
  HostCpuStatsSType cpuStats;  // all CPUs together
};
static_assert(sizeof(HostSystemStatsSType) == HOST_SYSTEM_STAT_COUNT * 4, "one field per system counter");
static_assert(offsetof(HostSystemStatsSType, cpuStats) == 14 * 4, "CPU figures follow 14 system figures");

// Disk and partition: the first twelve fields are shared.
struct HostDiskStatsSType {
  uint32_t readKBytes, writeKBytes, readOperations, writeOperations;  // running totals
  uint32_t waitQueueLength, waitQueueResponseTime, waitQueueServiceTime, waitQueueUtilization;          // float
  uint32_t activeQueueLength, activeQueueResponseTime, activeQueueServiceTime, activeQueueUtilization;  // float
  uint32_t softErrors, hardErrors, transportErrors, mediaErrors, deviceNotReady, noDevice, recoverable;
  uint32_t illegalRequest, predictiveFailureAnalysis;
  char name[32];
};
static_assert(offsetof(HostDiskStatsSType, name) == HOST_DISK_STAT_COUNT * 4, "one field per disk counter");

struct HostPartitionStatsSType {
  uint32_t readKBytes, writeKBytes, readOperations, writeOperations;
  uint32_t waitQueueLength, waitQueueResponseTime, waitQueueServiceTime, waitQueueUtilization;
  uint32_t activeQueueLength, activeQueueResponseTime, activeQueueServiceTime, activeQueueUtilization;
  char name[32];
};
static_assert(offsetof(HostPartitionStatsSType, name) == HOST_PARTITION_STAT_COUNT * 4, "partition counters");

struct HostNetworkStatsSType {
  uint32_t inputPackets, outputPackets;
  char name[32];
};
static_assert(offsetof(HostNetworkStatsSType, name) == HOST_NETWORK_STAT_COUNT * 4, "network counters");

struct HostComplexNetworkStatsSType {
  uint32_t inputPackets, inputErrors, outputPackets, outputErrors, collisions, inputBytes, outputBytes;
  uint32_t multicastInputPackets, multicastOutputPackets, broadcastInputPackets, broadcastOutputPackets;
  uint32_t inputPacketsDiscarded, outputPacketsDiscarded;
  char name[32];
};
static_assert(offsetof(HostComplexNetworkStatsSType, name) == HOST_COMPLEX_NETWORK_STAT_COUNT * 4,
              "complex network counters");

struct HostTcpStatsSType {
  uint32_t segments, connectionsEstablished, connectionsActive, connectionsPassive, connectionFailures;
  uint32_t connectionsReset, segmentsReceived, segmentsSent, segmentsRetransmitted, sentTcpBytes;
  uint32_t retransmittedTcpBytes, acksSent, delayedAcksSent, controlSegmentsSent, acksReceived, ackedBytes;
  uint32_t duplicateAcks, acksForUnsentData, receivedInorderBytes, receivedOutOfOrderBytes;
  uint32_t receivedDuplicateBytes, receivedPartialDuplicateBytes, retransmitTimeouts, retransmitTimeoutDrops;
  uint32_t keepAliveTimeouts, keepAliveProbes, keepAliveDrops, listenQueueFull, halfOpenQueueFull, halfOpenDrops;
};
static_assert(sizeof(HostTcpStatsSType) == HOST_TCP_STAT_COUNT * 4, "TCP counters");

struct HostSystemPagesStatsSType {
  uint32_t physicalMemory, freeMemory, unswappableMemory;  // MB
  uint32_t lockedPages, totalPages;                        // pages
};
static_assert(sizeof(HostSystemPagesStatsSType) == HOST_SYSTEM_PAGES_STAT_COUNT * 4, "system pages counters");

// The counters of a record as the run of 32-bit values the archive carries.
template <typename R>
const uint32_t* hostCounters(const R& record) {
  return reinterpret_cast<const uint32_t*>(&record);
}
