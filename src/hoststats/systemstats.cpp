// Reading the selected kernel statistics objects each sample and turning their
// counters into the host records: running totals copied, percentages, queue
// figures and memory averages computed over the interval since the previous
// collection.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "host/utlexit.h"
#include "hoststats/hoststatsstate.h"

namespace {

void copyObjectName(char* dst, const Kstat* ks) {
  size_t n = strnlen(ks->name, 31);
  memcpy(dst, ks->name, n);
  dst[n] = '\0';
}

}  // namespace

void storeSolarisCpuStats(uint32_t* slots, const KstatCpuStat* cs) {
  slots[CPUSTAT_IDLE] += cs->ticks[0];
  slots[CPUSTAT_USER] += cs->ticks[1];
  slots[CPUSTAT_KERNEL] += cs->ticks[2];
  slots[CPUSTAT_WIO] += cs->wait[0];
  slots[CPUSTAT_WSWAP] += cs->wait[1];
  slots[CPUSTAT_WPIO] += cs->wait[2];
  // bread .. fsfree lie in slot order after the wait counters.
  static_assert(offsetof(KstatCpuStat, fsfree) - offsetof(KstatCpuStat, bread) == 60 * 4, "cpu_stat order");
  const uint32_t* totals = &cs->bread;
  for (int s = FIRST_CPUSTAT_TOWRITE; s < CPUSTAT_COUNT; s++) slots[s] += totals[s - FIRST_CPUSTAT_TOWRITE];
}

// The TCP record from the MIB counters.
static void tcpStatsFromMib(const KstatTcpMib& m, HostTcpStatsSType* out) {
  HostTcpStatsSType& t = *out;
  t.segments = m.tcpInSegs + m.tcpOutSegs;
  t.connectionsEstablished = m.tcpCurrEstab;
  t.connectionsActive = m.tcpActiveOpens;
  t.connectionsPassive = m.tcpPassiveOpens;
  t.connectionFailures = m.tcpAttemptFails;
  t.connectionsReset = m.tcpEstabResets;
  t.segmentsReceived = m.tcpInSegs;
  t.segmentsSent = m.tcpOutSegs;
  t.segmentsRetransmitted = m.tcpRetransSegs;
  t.sentTcpBytes = m.tcpOutDataBytes;
  t.retransmittedTcpBytes = m.tcpRetransBytes;
  t.acksSent = m.tcpOutAck;
  t.delayedAcksSent = m.tcpOutAckDelayed;
  t.controlSegmentsSent = m.tcpOutControl;
  t.acksReceived = m.tcpInAckSegs;
  t.ackedBytes = m.tcpInAckBytes;
  t.duplicateAcks = m.tcpInDupAck;
  t.acksForUnsentData = m.tcpInAckUnsent;
  t.receivedInorderBytes = m.tcpInDataInorderBytes;
  t.receivedOutOfOrderBytes = m.tcpInDataUnorderBytes;
  t.receivedDuplicateBytes = m.tcpInDataDupBytes;
  t.receivedPartialDuplicateBytes = m.tcpInDataPartDupBytes;
  t.retransmitTimeouts = m.tcpTimRetrans;
  t.retransmitTimeoutDrops = m.tcpTimRetransDrop;
  t.keepAliveTimeouts = m.tcpTimKeepalive;
  t.keepAliveProbes = m.tcpTimKeepaliveProbe;
  t.keepAliveDrops = m.tcpTimKeepaliveDrop;
  t.listenQueueFull = m.tcpListenDrop;
  t.halfOpenQueueFull = m.tcpListenDropQ0;
  t.halfOpenDrops = m.tcpHalfOpenDrop;
}

void computeCpuStats(HostCpuStatsSType* out, const uint32_t* slots, uint32_t* last) {
  uint32_t state[MAX_CPU_STATS];
  cpuStatesFromSlots(slots, state);
  uint32_t delta[MAX_CPU_STATS];
  uint32_t total = 0;
  for (int s = 0; s < MAX_CPU_STATS; s++) {
    delta[s] = state[s] - last[s];
    total += delta[s];
    last[s] = state[s];
  }
  if (total == 0) total = 1;
  uint32_t half = total >> 1;
  uint32_t pct[MAX_CPU_STATS];
  for (int s = 0; s < MAX_CPU_STATS; s++) pct[s] = (half + delta[s] * 100) / total;
  out->percentCpuActive = (int32_t)(pct[CPU_STAT_USER] + pct[CPU_STAT_SYSTEM]);
  out->percentCpuWaiting = (int32_t)(pct[CPU_STAT_IOWAIT] + pct[CPU_STAT_SWAPWAIT]);
  out->percentCpuIdle = (int32_t)pct[CPU_STAT_IDLE];
  out->percentCpuUser = (int32_t)pct[CPU_STAT_USER];
  out->percentCpuSystem = (int32_t)pct[CPU_STAT_SYSTEM];
  out->percentCpuIOWait = (int32_t)pct[CPU_STAT_IOWAIT];
  out->percentCpuSwapWait = (int32_t)pct[CPU_STAT_SWAPWAIT];
  memcpy(&out->physicalBlockReads, &slots[FIRST_CPUSTAT_TOWRITE], 61 * sizeof(uint32_t));
}

uint32_t HostStatsState::cvtPagesToMB(uint64_t pages, uint32_t divisor) const {
  UTL_GUARANTEE(memoryPageSize > 0);
  return (uint32_t)(((pages / divisor) * (uint64_t)memoryPageSize) >> 20);
}

template <typename R>
void HostStatsState::getIoStats(const KstatIo& cur, KstatIo* prev, R* out) {
  out->readKBytes = (uint32_t)(cur.nread >> 10);
  out->writeKBytes = (uint32_t)(cur.nwritten >> 10);
  out->readOperations = cur.reads;
  out->writeOperations = cur.writes;
  uint32_t ops = (cur.reads - prev->reads) + (cur.writes - prev->writes);

  struct Queue {
    int64_t lastupdate, lentime, time, prevLastupdate, prevLentime, prevTime;
    uint32_t *length, *response, *service, *utilization;
  };
  Queue queues[2] = {
      {cur.wlastupdate, cur.wlentime, cur.wtime, prev->wlastupdate, prev->wlentime, prev->wtime,
       &out->waitQueueLength, &out->waitQueueResponseTime, &out->waitQueueServiceTime, &out->waitQueueUtilization},
      {cur.rlastupdate, cur.rlentime, cur.rtime, prev->rlastupdate, prev->rlentime, prev->rtime,
       &out->activeQueueLength, &out->activeQueueResponseTime, &out->activeQueueServiceTime,
       &out->activeQueueUtilization}};
  bool advanced = false;
  for (Queue& q : queues) {
    int64_t dt = q.lastupdate - q.prevLastupdate;
    if (dt > 0) {
      advanced = true;
      double length = (double)(q.lentime - q.prevLentime) / (double)dt;
      double busy = (double)(q.time - q.prevTime) / (double)dt;
      double throughput = (double)ops * 1000000.0 / (double)dt;  // operations per millisecond
      *q.length = doubleBits(length);
      *q.response = doubleBits(throughput > 0 ? length / throughput : 0.0);
      *q.service = doubleBits(throughput > 0 ? busy / throughput : 0.0);
      *q.utilization = doubleBits(busy * 100.0);
    } else {
      *q.length = *q.response = *q.service = *q.utilization = doubleBits(0.0);
    }
  }
  if (advanced) *prev = cur;
}

template void HostStatsState::getIoStats(const KstatIo&, KstatIo*, HostDiskStatsSType*);
template void HostStatsState::getIoStats(const KstatIo&, KstatIo*, HostPartitionStatsSType*);

BoolType HostStatsState::readObject(Kstat* object) {
  const std::string source = std::string(object->module) + ":" + object->name;
  if (kc->read(object) != -1) {
    reportSuccess(source);
    return TRUE;
  }
  // The old figures stay; say once what went wrong rather than every sample.
  reportFailure(source, kc->lastError());
  return FALSE;
}

BoolType HostStatsState::getTcpStats(KstatTcpMib* out) {
  KstatTcpMib fresh;
  if (!kc->readTcpMib(&fresh)) {
    reportFailure("tcp", kc->lastError());
    return FALSE;
  }
  reportSuccess("tcp");
  *out = fresh;
  return TRUE;
}

BoolType HostStatsState::readSystemStats(const HostStatsSwitches& sw) {
  BoolType changed;
  if (!kc || !updateKstatChain(sw, reselect, &changed)) return FALSE;
  if (changed) allocateStatMemory(sw);

  if (systemkp) {
    uint64_t pages;
    if (kc->physicalPages(&pages) && (uint32_t)pages != physicalPages) {
      physicalPages = (uint32_t)pages;
      physicalMemory = physicalPages / (1048576 / memoryPageSize);
    }
    readObject(systemkp);
  }
  if (sysinfokp) {
    readObject(sysinfokp);
    if (vmkp) readObject(vmkp);
  }
  if (sw.monitorDisks) {
    for (int i = 0; i < numDisks; i++) {
      readObject(diskkps[i].iokp);
      if (diskkps[i].errkp) readObject(diskkps[i].errkp);
    }
  }
  if (sw.monitorNetworks) {
    for (int i = 0; i < numNetworks; i++) readObject(snetkps[i]);
    for (int i = 0; i < numComplexNetworks; i++) readObject(cnetkps[i]);
  }
  if (sw.monitorDisks)
    for (int i = 0; i < numPartitions; i++) readObject(partitionkps[i]);
  if (sw.monitorSystemPages && syspageskp) readObject(syspageskp);

  memset(combinedCpus, 0, sizeof combinedCpus);
  int rows = cpuRowsInUse > numCpus ? cpuRowsInUse : numCpus;
  for (int i = 0; i < rows; i++) eachCpuStats[i].fill(0);
  cpuRowsInUse = numCpus;
  for (int i = 0; i < numCpus; i++) {
    Kstat* ks = cpukps[i];
    if (!readObject(ks)) continue;
    if (ks->dataSize >= KSTAT_CPU_STAT_SIZE) {
      const KstatCpuStat* cs = static_cast<const KstatCpuStat*>(ks->data);
      storeSolarisCpuStats(combinedCpus, cs);
      if (sw.monitorCpus) storeSolarisCpuStats(eachCpuStats[i].data(), cs);
    } else {
      fprintf(stderr, "incorrect size for cpu%d. Expected %d, got %d.\n", ks->instance, (int)KSTAT_CPU_STAT_SIZE,
              (int)ks->dataSize);
    }
  }
  if (sw.monitorNetworks) getTcpStats(&nativeTcpStats);
  return TRUE;
}

// The scheduler queues, free memory and swap over the seconds since the last
// sample; FALSE when an object has an unexpected size.
BoolType HostStatsState::collectSchedulerAndSwap() {
  // An object never read yet (its failure reported) has no figures to give.
  if (!sysinfokp || !sysinfokp->data) return TRUE;
  if (sysinfokp->dataSize < sizeof(KstatSysinfo)) {
    fprintf(stderr, "incorrect size for sysinfo. Expected %d, got %d\n", (int)sizeof(KstatSysinfo),
            (int)sysinfokp->dataSize);
    return FALSE;
  }
  KstatSysinfo si;
  memcpy(&si, sysinfokp->data, sizeof si);
  uint32_t seconds = si.updates - lastsysinfo.updates;
  if (seconds == 0) seconds = 1;
  systemStats.schedulerRunCount = si.runque;
  systemStats.schedulerSwapCount = si.swpque;
  systemStats.schedulerWaitCount = si.waiting;
  lastsysinfo = si;

  if (vmkp && vmkp->data) {
    if (vmkp->dataSize != 40 && vmkp->dataSize != 48) {
      fprintf(stderr, "incorrect size for vminfo. Expected %d or %d, got %d.\n", 40, 48, (int)vmkp->dataSize);
      return FALSE;
    }
    KstatVminfo vi;
    memcpy(&vi, vmkp->data, 40);
    systemStats.freeMemory = cvtPagesToMB(vi.freemem - lastvminfo.freemem, seconds);
    systemStats.reservedSwap = cvtPagesToMB(vi.swap_resv - lastvminfo.swap_resv, seconds);
    systemStats.allocatedSwap = cvtPagesToMB(vi.swap_alloc - lastvminfo.swap_alloc, seconds);
    systemStats.unreservedSwap = cvtPagesToMB(vi.swap_avail - lastvminfo.swap_avail, seconds);
    systemStats.unallocatedSwap = cvtPagesToMB(vi.swap_free - lastvminfo.swap_free, seconds);
    memcpy(&lastvminfo, &vi, 40);
  }
  return TRUE;
}

BoolType HostStatsState::collect(const HostStatsSwitches& sw) {
  memset(&systemStats, 0, sizeof systemStats);
  if (!kc || !readSystemStats(sw)) return FALSE;

  if (systemkp)
    setNamedItemsInto(systemkp, &systemStats.numCpus, reinterpret_cast<uint32_t*>(&systemStats.cpuStats),
                      systemNamedData);
  systemStats.physicalMemory = physicalMemory;

  if (!collectSchedulerAndSwap()) return FALSE;

  computeCpuStats(&systemStats.cpuStats, combinedCpus, lastCombinedCpuStats);
  if (sw.monitorCpus)
    for (int i = 0; i < numCpus; i++) computeCpuStats(&cpuStats[i], eachCpuStats[i].data(), lastCpuStats[i].data());

  if (sw.monitorDisks) {
    for (int i = 0; i < numDisks; i++) {
      Kstat* io = diskkps[i].iokp;
      copyObjectName(diskStats[i].name, io);
      if (io->data) getIoStats(*static_cast<const KstatIo*>(io->data), &prevDiskio[i], &diskStats[i]);
      if (diskkps[i].errkp)
        setNamedItemsInto(diskkps[i].errkp, &diskStats[i].softErrors,
                          reinterpret_cast<uint32_t*>(diskStats[i].name), sderrNamedData);
    }
    for (int i = 0; i < numPartitions; i++) {
      Kstat* io = partitionkps[i];
      copyObjectName(partitionStats[i].name, io);
      if (io->data) getIoStats(*static_cast<const KstatIo*>(io->data), &prevPartitionio[i], &partitionStats[i]);
    }
  }

  if (sw.monitorNetworks) {
    for (int i = 0; i < numNetworks; i++) {
      HostNetworkStatsSType& n = networkStats[i];
      if (strcmp(snetkps[i]->name, "lo0") == 0)
        strcpy(n.name, "loopback");
      else
        copyObjectName(n.name, snetkps[i]);
      setNamedItemsInto(snetkps[i], &n.inputPackets, reinterpret_cast<uint32_t*>(n.name), snetNamedData);
    }
    for (int i = 0; i < numComplexNetworks; i++) {
      HostComplexNetworkStatsSType& n = complexNetworkStats[i];
      copyObjectName(n.name, cnetkps[i]);
      setNamedItemsInto(cnetkps[i], &n.inputPackets, reinterpret_cast<uint32_t*>(n.name), cnetNamedData);
    }
    tcpStatsFromMib(nativeTcpStats, &tcpStats);
  }

  if (sw.monitorSystemPages && syspageskp) {
    // Destinations 2..4 and 5, 7: the table's rows fill the five fields in order.
    setNamedItemsInto(syspageskp, &systemPagesStats.physicalMemory,
                      &systemPagesStats.physicalMemory + HOST_SYSTEM_PAGES_STAT_COUNT, syspagesNamedData);
  }
  return TRUE;
}

BoolType HostStatsState::open(const HostStatsSwitches& sw) {
  close();
  std::string error;
  int errorNumber = 0;
  kc = KstatCtl::open(root, pageSizeOverride, &error, &errorNumber);
  if (!kc) {
    fprintf(stderr, "kstat_open failed with: %d\n", errorNumber);
    fprintf(stderr, "[Error] %s\n", error.c_str());
    return FALSE;
  }
  BoolType changed;
  if (!updateKstatChain(sw, TRUE, &changed)) return FALSE;

  char host[256];
  if (gethostname(host, sizeof host) == 0) {
    host[sizeof host - 1] = '\0';
    size_t n = strnlen(host, sizeof systemName - 1);
    memcpy(systemName, host, n);
    systemName[n] = '\0';
    if (n == 0) strcpy(systemName, "system");
  } else {
    strcpy(systemName, "system");
  }
  memoryPageSize = kc->pageSize();
  localMemPageSizeKb = memoryPageSize >> 10;

  if (!readSystemStats(sw)) return FALSE;
  if (sysinfokp && sysinfokp->data) {
    memcpy(&lastsysinfo, sysinfokp->data, sizeof lastsysinfo);
    if (vmkp && vmkp->data) memcpy(&lastvminfo, vmkp->data, sizeof lastvminfo);
  }
  cpuStatesFromSlots(combinedCpus, lastCombinedCpuStats);
  allocateStatMemory(sw);
  return TRUE;
}

void HostStatsState::close() {
  kc.reset();
  systemkp = sysinfokp = vmkp = syspageskp = nullptr;
  numCpus = numDisks = numPartitions = numNetworks = numComplexNetworks = 0;
}
