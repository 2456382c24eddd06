// The host statistics operations of the archive writer: opening and closing
// the kernel statistics, collecting each sample, and writing the host types
// into the header and the host records into the archive.
#include <cstdio>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "hoststats/hoststatnames.h"
#include "hoststats/hoststatsstate.h"

namespace {

HostStatsSwitches switchesOf(const HostStatWriter& w) {
  HostStatsSwitches sw;
  sw.monitorDisks = w.monitorDisks;
  sw.monitorPartitions = w.monitorPartitions;
  sw.monitorNetworks = w.monitorNetworks;
  sw.monitorCpus = w.monitorCpus;
  sw.monitorSystemPages = w.monitorSystemPages;
  return sw;
}

// One record: type id, time stamp, instance name, process id 0, session id 0,
// the counters, end of record.
void writeHostRecord(HostStatWriter& w, uint32_t typeId, const char* name, const uint32_t* counters, int count) {
  w.writeUInt(typeId);
  w.writeTimeStamp();
  w.writeStringNoSpaces(name);
  w.writeUInt(0);
  w.writeUInt(0);
  w.writeVectorU32(counters, count);
  w.writeEndOfRecord();
}

void writePerCpuStats(HostStatWriter& w, const HostStatsState& s) {
  // One record per CPU the system counts, but never beyond the CPUs tracked.
  uint32_t n = s.systemStats.numCpus;
  if (n > (uint32_t)s.numCpus) n = (uint32_t)s.numCpus;
  for (uint32_t i = 0; i < n; i++) {
    char name[24];
    snprintf(name, sizeof name, "Processor_%d", (int)(i + 1));
    writeHostRecord(w, w.cpuTypeCount, name, hostCounters(s.cpuStats[i]), HOST_CPU_STAT_COUNT);
  }
}

void writePerDiskStats(HostStatWriter& w, const HostStatsState& s) {
  for (int i = 0; i < s.numDisks; i++)
    writeHostRecord(w, w.diskTypeCount, s.diskStats[i].name, hostCounters(s.diskStats[i]), HOST_DISK_STAT_COUNT);
}

void writePartitionStats(HostStatWriter& w, const HostStatsState& s) {
  for (int i = 0; i < s.numPartitions; i++)
    writeHostRecord(w, w.partitionTypeCount, s.partitionStats[i].name, hostCounters(s.partitionStats[i]),
                    HOST_PARTITION_STAT_COUNT);
}

void writePerNetworkStats(HostStatWriter& w, const HostStatsState& s) {
  for (int i = 0; i < s.numNetworks; i++)
    writeHostRecord(w, w.networkTypeCount, s.networkStats[i].name, hostCounters(s.networkStats[i]),
                    HOST_NETWORK_STAT_COUNT);
}

void writeComplexNetworkStats(HostStatWriter& w, const HostStatsState& s) {
  for (int i = 0; i < s.numComplexNetworks; i++)
    writeHostRecord(w, w.complexNetworkTypeCount, s.complexNetworkStats[i].name,
                    hostCounters(s.complexNetworkStats[i]), HOST_COMPLEX_NETWORK_STAT_COUNT);
}

void writeTcpStats(HostStatWriter& w, const HostStatsState& s) {
  writeHostRecord(w, w.tcpTypeCount, "TCP", hostCounters(s.tcpStats), HOST_TCP_STAT_COUNT);
}

void writeSystemPagesStats(HostStatWriter& w, const HostStatsState& s) {
  writeHostRecord(w, w.systemPagesTypeCount, "SystemPages", hostCounters(s.systemPagesStats),
                  HOST_SYSTEM_PAGES_STAT_COUNT);
}

}  // namespace

BoolType HostStatWriter::HostStatsInit() {
  if (disableSystemStats) return TRUE;
  // The /proc directory and the table of open /proc files belong to the
  // process tracking, which sets them up when it first needs them.
  if (hostStats == nullptr) hostStats = new HostStatsState("/");
  return hostStats->open(switchesOf(*this));
}

void HostStatWriter::HostStatsClose() {
  if (hostStats != nullptr) hostStats->close();
}

BoolType HostStatWriter::HostStatsGetStatsForSystem() {
  if (hostStats == nullptr) return FALSE;
  return hostStats->collect(switchesOf(*this));
}

void HostStatWriter::HostStatsWriteSystemHeader() {
  if (disableSystemStats) return;
  UTL_GUARANTEE(baseTypeCount == 64);
  currentTypeCount = baseTypeCount;
  for (int t = 0; t < HostStatTypeCount; t++) {
    const HostStatTypeDesc& d = HostStatTypes[t];
    if (!d.present(*this)) continue;
    if (t > 0) writeString(",\n");
    writeString(d.typeName);
    writeString(" ( ");
    writeBasicStatNames();
    if (d.names != nullptr)
      writeArrayOfStrings(d.names, d.count);
    else
      HostStatsProcessHeader();
    writeString(d.closing);
    this->*(d.typeId) = writeTypeCount();
  }
}

void HostStatWriter::HostStatsWriteStatsForSystem() {
  if (disableSystemStats || hostStats == nullptr) return;
  const HostStatsState& s = *hostStats;
  writeHostRecord(*this, systemTypeCount, s.systemName, hostCounters(s.systemStats), HOST_SYSTEM_STAT_COUNT);
  if (monitorCpus) writePerCpuStats(*this, s);
  if (monitorDisks) writePerDiskStats(*this, s);
  if (monitorPartitions) writePartitionStats(*this, s);
  if (monitorNetworks) {
    writePerNetworkStats(*this, s);
    writeComplexNetworkStats(*this, s);
    writeTcpStats(*this, s);
  }
  if (monitorSystemPages) writeSystemPagesStats(*this, s);
}
