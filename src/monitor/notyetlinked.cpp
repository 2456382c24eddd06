// TEMPORARY while the subsystems are being built in parallel: weak definitions of
// the cross-subsystem entry points so that every branch links. A real definition
// anywhere in the library replaces the weak one. Calling one that is still weak
// reports it and is an internal error. This file goes away once all have landed.
#include <cstdio>

#include "archive/hoststatwriter.h"
#include "host/netsocket.h"
#include "host/utlexit.h"
#include "host/hostsignal.h"
#include "monitor/tallymgr.h"
#include "netinfo/netinfo.h"

#define NOT_YET(name)                                          \
  do {                                                         \
    fprintf(stderr, "[Error] %s is not built yet\n", name);    \
    HostCallDebuggerMsg_fl("UTL_GUARANTEE failed", __FILE__, __LINE__); \
  } while (0)
#define WEAK __attribute__((weak))

WEAK BoolType NetInfoCacheNameForKeeper(const char*, ShrPcLocationArgType*, SysErrorSType*) { NOT_YET("NetInfoCacheNameForKeeper"); }
WEAK BoolType NetSocketInit(SysErrorSType*) { NOT_YET("NetSocketInit"); }
WEAK BoolType TallyMgr::AttachSharedCache() { NOT_YET("AttachSharedCache"); }
WEAK BoolType TallyMgr::basicDetach(HostShrMemAccessor&, BoolType) { NOT_YET("basicDetach"); }
WEAK void TallyMgr::printStatDescription() { NOT_YET("printStatDescription"); }
WEAK void TallyMgr::writeTallyRecord(const char*, uint32_t, const uint32_t*, int, int, const int64_t*, int) { NOT_YET("writeTallyRecord"); }
WEAK void TallyMgr::writeSharedCounters() { NOT_YET("writeSharedCounters"); }
WEAK void TallyMgr::writeStatsForTallyscope() { NOT_YET("writeStatsForTallyscope"); }
WEAK void TallyMgr::writeCacheProcessRecords() { NOT_YET("writeCacheProcessRecords"); }
WEAK BoolType TallyMgr::shouldDie() { NOT_YET("shouldDie"); }
WEAK void TallyMgr::closeOutFile() { NOT_YET("closeOutFile"); }
WEAK void TallyMgr::writeToFile(char*, size_t) { NOT_YET("writeToFile"); }
WEAK void TallyMgr::flushOutFile() { NOT_YET("flushOutFile"); }
WEAK const char* TallyMgr::TallyDataFile() { NOT_YET("TallyDataFile"); }
WEAK void TallyMgr::TallySloop() { NOT_YET("TallySloop"); }
WEAK void TallyShutdown() { NOT_YET("TallyShutdown"); }
WEAK void tallyExitHandler() { NOT_YET("tallyExitHandler"); }
WEAK void TallyKeyBoardInt(int) { NOT_YET("TallyKeyBoardInt"); }
WEAK void HostStatWriter::init(TallyMgr*) { NOT_YET("HostStatWriter::init"); }
WEAK void HostStatWriter::_basicInit() { NOT_YET("HostStatWriter::_basicInit"); }
WEAK void HostStatWriter::flushBuffer() { NOT_YET("flushBuffer"); }
WEAK BoolType HostStatWriter::HostStatsInit() { NOT_YET("HostStatsInit"); }
WEAK void HostStatWriter::HostStatsClose() { NOT_YET("HostStatsClose"); }
WEAK BoolType HostStatWriter::HostStatsGetStatsForSystem() { NOT_YET("HostStatsGetStatsForSystem"); }
WEAK void HostStatWriter::HostStatsWriteSystemHeader() { NOT_YET("HostStatsWriteSystemHeader"); }
WEAK void HostStatWriter::HostStatsWriteStatsForSystem() { NOT_YET("HostStatsWriteStatsForSystem"); }
WEAK BoolType HostStatWriter::HostStatsGetStatsForProcess(int, HostProcessStatsSType*) { NOT_YET("HostStatsGetStatsForProcess"); }
WEAK void HostStatWriter::HostStatsProcessHeader() { NOT_YET("HostStatsProcessHeader"); }
WEAK void HostStatWriter::writeStatsForListedProcesses() { NOT_YET("writeStatsForListedProcesses"); }
WEAK void HostStatWriter::cleanupDeadPids() { NOT_YET("cleanupDeadPids"); }
WEAK void HostStatWriter::getSampleTime() { NOT_YET("getSampleTime"); }
WEAK void HostInstallFaultHandler(void (*)(), void (*)(), BoolType) { NOT_YET("HostInstallFaultHandler"); }
WEAK void HostEnableKbInt(void (*)(int)) { NOT_YET("HostEnableKbInt"); }
