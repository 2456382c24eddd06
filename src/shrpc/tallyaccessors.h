// Accessor interface over the attached cache, exported by the product library for
// other programs; the monitor's own sampling does not use it.
#pragma once

#include "host/hosttypes.h"

// Instance numbers of the two objects that are not process table slots.
const int TALLY_INSTANCE_TALLY = 2147483647;
const int TALLY_INSTANCE_APP = 2147483646;

struct TallySampleDataSType;  // not used by this product

extern "C" {

typedef void (*TallyForeachCacheCallback)(const char* displayName, const char* registryName);

// No objects are listed: 0.
int TallyGetStatObjectNames(const char** names, int capacity);
// Always null.
const char* TallyGetObjectName(int object);
// Always 0.
int TallyGetObjectCounterNames(int object, const char** names, int capacity);
// Sets all `capacity` elements to -1. Kind 16 and 32 give one instance (the two
// constants above); any other kind stores the slots of the in-use process table
// entries of that kind with a process id (while the count is below capacity) and
// returns their full count, which may exceed capacity. Needs an attached cache
// for kinds other than 16 and 32 (0 without one).
int TallyGetObjectInstances(int kind, int* instances, int capacity);
// "Tally", "Application", or the processName of that slot (which must be below
// numProcesses of the attached cache). The text lives until the next call.
const char* TallyGetInstanceName(int instance);
// Always -1.
int TallySampleAdd(int object, int instance);
// Does nothing.
void TallySampleRemove(int sample);
// Always 0.
int TallyDoSample(TallySampleDataSType* data, int count);
// Calls cb(display name, registry name) for every live shared cache of this
// product version registered on this host. TRUE without a callback, and TRUE
// after the walk; FALSE (message in errText, cut to errTextSize) when the
// registry cannot be walked.
BoolType TallyForeachCache(TallyForeachCacheCallback cb, char* errText, int errTextSize);

}  // extern "C"
