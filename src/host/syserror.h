// Error records passed by pointer to operations that can fail, and the text of
// an operating-system error number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/hosttypes.h"

// One operating-system error number.
struct HostErrSType {
  int theErrno;
  void initialize() { theErrno = 0; }
};

enum SysErrEType { SYS_ERR_NONE = 0, SYS_ERR_OS = 1 };
enum SysErrCategoryEType { SYS_ERR_CATEG_ERRNO = 0, SYS_ERR_CATEG_HOSTNAME = 1 };

// An error with its message. errFlags: high 32 bits the error number; low 32
// bits 0 ordinary, 1 interrupted, 5 interrupted after a termination signal,
// 2 would block.
struct SysErrorSType {
  int64_t errFlags;
  SysErrEType errCode;
  int eaiError;
  SysErrCategoryEType categ;
  char errMsg[1024];

  SysErrorSType() { initialize(); }
  void initialize();
  // Stores e; FALSE when e means interrupted or would-block, TRUE for a real error.
  BoolType setErrNum(int e);
  // setErrNum, category 0, errCode from e (0 when e is -1).
  BoolType setErr(int e);
  // "<errMsg> failed with <text of the error number>" when errCode is set.
  void finishMsg();
  int errNum() const { return (int)(errFlags >> 32); }
};

// "errno=%d," followed by the table entry for the number; empty for 0. Cut to size.
void HostGetErrMsg(const HostErrSType* err, char* buffer, size_t size);
