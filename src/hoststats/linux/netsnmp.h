// /proc/net/snmp and /proc/net/netstat: the TCP counters.
#pragma once

#include <string>

#include "hoststats/linux/kstat.h"
#include "hoststats/linux/procfiles.h"
#include "hoststats/linux/proctext.h"

// The pair of lines "<prefix>: names..." / "<prefix>: values..." of either
// file. Values may be negative (e.g. Tcp MaxConn -1); they are kept as their
// two's-complement bits.
bool parseProcSnmpSection(const std::string& text, const char* prefix, ProcKeyValues* out, std::string* error);

// The TCP counters from the Tcp section of /proc/net/snmp (each required) and
// the TcpExt section of /proc/net/netstat (absent ones are 0). tcp and ext
// keep the sections' names between calls.
bool readTcpCounters(ProcFiles& files, ProcKeyValues* tcp, ProcKeyValues* ext, KstatTcpMib* out, ProcError* error);
