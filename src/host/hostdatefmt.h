// The host's date-and-time format, used for the time line of the archive header
// and shown by the banner when it is not one of the usual two.
#pragma once

#include "host/hosttypes.h"

// QL_CFTIME when it is usable (HostDateFormatUsable), otherwise the locale's
// date format followed by " %H:%M:%S %Z". Worked out on the first call; an
// unusable QL_CFTIME is reported once on standard error. The text lives as long
// as the process.
const char* HostDateTimeFormat();

// TRUE when fmt formats the current time into a non-empty text and names a
// month (%m, %b, %B or %h), a day (%d), an hour (%H, or %I with %p or %P),
// minutes (%M) and seconds (%S).
BoolType HostDateFormatUsable(const char* fmt);
