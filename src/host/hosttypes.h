// Basic types shared by every layer of the monitor.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BoolType;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef char HostFnameStrType[1024];  // file names
typedef char ErrMsgStrType[2048];     // error texts
typedef int64_t HostHrtime_t;         // nanoseconds of the monotonic clock (pacing only)
typedef int PidType;
