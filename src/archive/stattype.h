// The catalogue of the cache statistic types: type name, type number, field
// names, and the arithmetic that maps a counter to its place in a process's
// statistics block.
//
// Counter indices count from the first name after the five fixed fields, so
// "LocalPageCacheHits" is index 0 in every kind. A statistics block starts with
// processId and sessionId (bytes 0 and 4), the 36 common 32-bit counters from
// byte 8, and the kind-specific block from byte 152, whose 32-bit counters come
// first and whose 64-bit counters start at an 8-byte aligned offset.
#pragma once

#include "host/hosttypes.h"

struct StatTypeSType {
  const char* name;              // type name in the header
  int id;                        // type number: a single bit, equal to the process kind
  int ctrCount;                  // names in ctrTable
  BoolType hasPid;               // records belong to a process: the 30 process figures follow when host stats are on
  const char* const* ctrTable;   // field names in record order
};

const int StatTypeCount = 6;
// Shrpc 1, Kpr 2, Pgsvr 4, Envoy 8, Tally 16, AppStat 32; the header lists them in this order.
extern const StatTypeSType StatTypeTable[StatTypeCount];

// Fixed fields at the front of every type's names: StatTypeNum, Time,
// ProcessName, ProcessId, SessionId.
const int STATTYPE_FIXED_COUNT = 5;
extern const char* const BasicStatNames[STATTYPE_FIXED_COUNT];

// Byte offset of the kind-specific block within a statistics block.
const int STATTYPE_UNION_OFFSET = 152;

// The three kinds whose statistics have a 64-bit part.
enum StatTypeKind { STATTYPE_KIND_MONITOR = 0, STATTYPE_KIND_KEEPER = 1, STATTYPE_KIND_ENVOY = 2 };

// Name to counter index: exact, case-sensitive search of the kind's names after
// the fixed fields. FALSE (index unchanged) when the name is not a counter of the kind.
BoolType StatTypeIndexForMonitorStat(const char* name, int* index);
BoolType StatTypeIndexForKeeperStat(const char* name, int* index);
BoolType StatTypeIndexForEnvoyStat(const char* name, int* index);

// Named counters of the kind: 154, 302, 223.
int StatTypeCounterCount(StatTypeKind kind);

// Counter index to byte offset within the statistics block: 8 + 4 * index for
// the 32-bit counters, 152 + first64 + 8 * (index - count32) for the 64-bit ones.
// An index outside the kind's counters is a guarantee failure.
int StatTypeByteOffsetForIndex(StatTypeKind kind, int index);

// TRUE when the byte offset within the statistics block falls on the kind's
// 64-bit part. A 64-bit place must be 8-byte aligned, any place 4-byte aligned
// (guarantees).
BoolType StatTypeOffsetIs64Bit(StatTypeKind kind, int byteOffset);
