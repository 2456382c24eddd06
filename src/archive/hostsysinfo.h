// The machine description and the local time text of the archive header.
#pragma once

#include <sys/utsname.h>

#include <cstddef>

#include "host/hosttypes.h"

// "<node> <hardware> (<system> <release> <version>)" from uname, cut to size - 1.
// A system that reports an empty system name is described by the platform text.
// Failing to identify the host is a guarantee failure.
void HostGetSystemName(char* buf, size_t size);

// The description for a given identification (SunOS 5.x is shown as Solaris 2.x).
void HostDescribeSystem(const struct utsname* u, char* buf, size_t size);

// The current local time in the format chosen (HostChooseTimeFormat) once per process from QL_CFTIME
// (a refused value is reported once on standard error).
void HostFormatHeaderTime(char* buf, size_t size);
