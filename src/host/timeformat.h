// The date-and-time format of the archive header and of the banner.
#pragma once

#include <cstddef>

#include "host/hosttypes.h"

// TRUE when fmt formats successfully and names a month (%m %b %B %h), the day
// (%d), the hour (%H, or %I with %p or %P), the minutes (%M) and the seconds (%S).
BoolType HostTimeFormatIsUsable(const char* fmt);

// Chooses the header's date-and-time format: cftime when it is set and usable,
// else the locale's date format followed by " %H:%M:%S %Z". Returns FALSE when
// cftime was given but refused (the caller reports that once).
BoolType HostChooseTimeFormat(const char* cftime, char* out, size_t outSize);
