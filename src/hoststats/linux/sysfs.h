// What sysfs tells about block devices and interfaces: whether a name of
// /proc/diskstats is a whole disk and has an error counter, and whether an
// interface is a loopback.
#pragma once

#include <cstdint>
#include <string>

#include "hoststats/linux/procfiles.h"

// A name with a /sys/block/<name> entry is a whole disk; others are partitions.
bool sysBlockIsDisk(const ProcFiles& files, const std::string& name);
// SCSI disks count the commands that ended in error in device/ioerr_cnt.
bool sysBlockHasErrorCounter(const ProcFiles& files, const std::string& disk);
// /sys/block/<disk>/device/ioerr_cnt (decimal or 0x hexadecimal).
bool readDiskErrorCount(ProcFiles& files, const std::string& disk, uint64_t* count, ProcError* error);
// Link type 772 in /sys/class/net/<name>/type; by the name "lo" when sysfs
// has no entry.
bool sysNetIsLoopback(ProcFiles& files, const std::string& name);
