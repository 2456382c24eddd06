// The time since boot: the clock of process start times, of the disk time
// stamps and of the once-a-second accumulations. /proc/uptime prints it; on
// the live host it is taken from the clock itself (CLOCK_BOOTTIME) without a
// read, below a fixture root from the tree's /proc/uptime, so fixtures control
// time. This is the one place that reads that clock.
#pragma once

#include <cstdint>
#include <string>

#include "hoststats/linux/procfiles.h"

// The boot clock in nanoseconds; false with *errorNumber when it cannot be read.
bool readBootClockNs(int64_t* ns, int* errorNumber);
// The boot clock in nanoseconds, or the monotonic clock should the boot clock
// be unreadable (kernels before 2.6.39).
int64_t bootClockNowNs();

// /proc/uptime: "<seconds> <idle seconds>", the first as nanoseconds.
bool parseProcUptime(const std::string& text, int64_t* uptimeNs, std::string* error);
// The uptime of the host below files' root: the boot clock on the live host,
// else <root>/proc/uptime read and parsed.
bool readUptime(ProcFiles& files, int64_t* uptimeNs, ProcError* error);
