// TEMPORARY: weak stand-ins for the encoder operations and sorted-list functions
// that the records of listed processes use, so that this part links before they
// land. A real definition replaces each; delete this file once all exist.
#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "hoststats/sortedlist.h"

#define PENDING(name) HostCallDebuggerMsg_fl(name " is not built yet", __FILE__, __LINE__)

__attribute__((weak)) void HostStatWriter::writeUInt(uint32_t) { PENDING("writeUInt"); }
__attribute__((weak)) void HostStatWriter::writeTimeStamp() { PENDING("writeTimeStamp"); }
__attribute__((weak)) void HostStatWriter::writeString(const char*) { PENDING("writeString"); }
__attribute__((weak)) void HostStatWriter::writeStatsForPidWithInfo(const HostProcessStatsSType*) {
  PENDING("writeStatsForPidWithInfo");
}
__attribute__((weak)) void HostStatWriter::writeEndOfRecord() { PENDING("writeEndOfRecord"); }
__attribute__((weak)) void SortedList::add(int) { PENDING("SortedList::add"); }
__attribute__((weak)) void SortedList::sortIfNeeded() { PENDING("SortedList::sortIfNeeded"); }
__attribute__((weak)) BoolType SortedList::hasEntry(int) const { PENDING("SortedList::hasEntry"); }
