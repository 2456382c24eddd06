// Positions of the 30 per-process operating-system figures inside
// HostProcessStatsSType::values, in record order (the order of the names that
// the header writes for every process type). Times are milliseconds, sizes
// kilobytes, shares whole percent; every other figure is a running total or a
// current count as the kernel keeps it.
#pragma once

#include "archive/hoststatwriter.h"

namespace procstat {
enum Index : int {
  UserTime = 0,
  SysTime,
  MajFlt,
  SwapCount,
  MsgSent,
  MsgRecv,
  SignalsReceived,
  MinorFaults,
  VolCSW,
  IVolCSW,
  InputBlocks,
  OutputBlocks,
  CharacterIO,
  LwpTotalCount,
  LwpCurCount,
  HeapKBytes,
  StackKBytes,
  TrapTime,
  TextFaultSleepTime,
  DataFaultSleepTime,
  KernelFaultSleepTime,
  LockWaitSleepTime,
  AllOtherSleepTime,
  WaitCpuTime,
  StoppedTime,
  SystemCalls,
  ImageKBytes,
  RSSKBytes,
  PercentCpuUsed,
  PercentMemoryUsed,
  Count
};
}  // namespace procstat

static_assert(procstat::Count == sizeof(HostProcessStatsSType::values) / sizeof(uint32_t),
              "one index per per-process figure");
