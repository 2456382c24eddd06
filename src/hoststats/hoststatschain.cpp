// Selecting the kernel statistics objects to read, and seeding the baselines
// that rates and percentages are computed against.
#include <cstdio>
#include <cstring>

#include "host/utlexit.h"
#include "hoststats/hoststatsstate.h"

BoolType HostStatsState::bindNamed(const Kstat* object, namedItem* table) {
  if (table[0].srcIdx == -1) return getNamedOffsets(object, table);
  return matchNamedOffsets(object, table);
}

namespace {

std::string sourceName(const Kstat* ks) { return std::string(ks->module) + ":" + ks->name; }

}  // namespace

void HostStatsState::reportFailure(const std::string& source, const std::string& message) {
  if (failingSources.count(source)) return;
  // Objects fed by one file fail with one message: it is said once.
  bool said = false;
  for (const auto& f : failingSources) said = said || f.second == message;
  failingSources.emplace(source, message);
  if (!said) fprintf(stderr, "[Error] host statistics: %s\n", message.c_str());
}

void HostStatsState::reportSuccess(const std::string& source) {
  if (!failingSources.empty()) failingSources.erase(source);
}

BoolType HostStatsState::readAndBind(Kstat* object, namedItem* table) {
  if (kc->read(object) == -1) {
    reportFailure(sourceName(object), kc->lastError());
    reselect = TRUE;
    return FALSE;
  }
  if (!bindNamed(object, table)) {
    reportFailure(sourceName(object), std::string(object->name) + ": its named values are not those expected");
    reselect = TRUE;
    return FALSE;
  }
  reportSuccess(sourceName(object));
  return TRUE;
}

BoolType HostStatsState::updateKstatChain(const HostStatsSwitches& sw, BoolType force, BoolType* changed) {
  *changed = FALSE;
  if (!kc) return FALSE;
  KstatChainId id = kc->chainUpdate();
  if (id == 0 && !force) return TRUE;
  if (id == -1) {
    fprintf(stderr, "kstat_chain_update failed with: %d\n", kc->lastErrno());
    fprintf(stderr, "[Error] %s\n", kc->lastError().c_str());
    return FALSE;
  }

  *changed = TRUE;
  reselect = FALSE;
  systemkp = sysinfokp = vmkp = syspageskp = nullptr;
  numCpus = numNetworks = numComplexNetworks = numDisks = numPartitions = 0;
  systemNamedData[0].srcIdx = -1;
  syspagesNamedData[0].srcIdx = -1;
  snetNamedData[0].srcIdx = -1;
  cnetNamedData[0].srcIdx = -1;
  sderrNamedData[0].srcIdx = -1;

  for (Kstat* ks = kc->chain(); ks != nullptr; ks = ks->next) {
    switch (ks->kind) {
      case KSTAT_KIND_RAW:
        if (strcmp(ks->name, "sysinfo") == 0) {
          sysinfokp = ks;
        } else if (strcmp(ks->name, "vminfo") == 0) {
          vmkp = ks;
        } else if (strcmp(ks->module, "cpu_stat") == 0) {
          if (numCpus == MAX_CPUS)
            fprintf(stderr, "Ignoring cpu stats for cpu %d.\n", ks->instance);
          else
            cpukps[numCpus++] = ks;
        }
        break;

      case KSTAT_KIND_NAMED:
        // An object that cannot be read or bound now is reported, and looked
        // at again at the next sample rather than left out for the run.
        if (strcmp(ks->name, "system_misc") == 0) {
          if (systemNamedData[0].srcIdx == -1 && readAndBind(ks, systemNamedData)) systemkp = ks;
        } else if (sw.monitorSystemPages && strcmp(ks->name, "system_pages") == 0) {
          if (syspagesNamedData[0].srcIdx == -1 && readAndBind(ks, syspagesNamedData)) syspageskp = ks;
        } else if (sw.monitorNetworks && strcmp(ks->className, "net") == 0) {
          // The layout of every interface is known before its read: simple ones
          // publish two values.
          if (ks->ndata == 2) {
            if (numNetworks < MAX_SIMPLE_NET && readAndBind(ks, snetNamedData)) snetkps[numNetworks++] = ks;
          } else if (numComplexNetworks < MAX_COMPLEX_NET && strcmp(ks->name, "zero_copy") != 0 &&
                     strcmp(ks->name, "mac") != 0) {
            if (readAndBind(ks, cnetNamedData)) cnetkps[numComplexNetworks++] = ks;
          }
        } else if (sw.monitorDisks && strcmp(ks->className, "device_error") == 0 &&
                   strcmp(ks->module, "sderr") == 0 && numDisks > 0) {
          diskkp_t& d = diskkps[numDisks - 1];
          if (d.errkp == nullptr && d.iokp->instance == ks->instance && readAndBind(ks, sderrNamedData))
            d.errkp = ks;
        }
        break;

      case KSTAT_KIND_IO:
        if (!sw.monitorDisks) break;
        if (strcmp(ks->className, "disk") == 0) {
          if (strcmp(ks->module, "fd") != 0 && numDisks < MAX_DISK) diskkps[numDisks++] = {ks, nullptr};
        } else if (strcmp(ks->className, "partition") == 0) {
          if (numPartitions < MAX_PARTITION) partitionkps[numPartitions++] = ks;
        }
        break;
    }
  }
  return TRUE;
}

void HostStatsState::allocateStatMemory(const HostStatsSwitches& sw) {
  // A host without disks writes no disk records rather than stopping.
  if (sw.monitorDisks) {
    for (int i = 0; i < numDisks; i++) {
      UTL_GUARANTEE(diskkps[i].iokp != nullptr);
      if (diskkps[i].iokp->data != nullptr) memcpy(&prevDiskio[i], diskkps[i].iokp->data, sizeof(KstatIo));
    }
    for (int i = 0; i < numPartitions; i++) {
      UTL_GUARANTEE(partitionkps[i] != nullptr);
      if (partitionkps[i]->data != nullptr) memcpy(&prevPartitionio[i], partitionkps[i]->data, sizeof(KstatIo));
    }
  }
  if (sw.monitorCpus) {
    UTL_GUARANTEE(numCpus > 0);
    for (int i = 0; i < numCpus; i++) {
      cpuStatesFromSlots(eachCpuStats[i].data(), lastCpuStats[i].data());
    }
  }
}
