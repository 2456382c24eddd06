// Names of the 30 operating-system figures of one process, in the field order of
// HostProcessStatsSType. They follow the names of every cache type whose records
// belong to a process, and name the values of the per-process host records.
#pragma once

const int HOST_PROCESS_STAT_NAME_COUNT = 30;

extern const char* const HostProcessStatNames[HOST_PROCESS_STAT_NAME_COUNT];
