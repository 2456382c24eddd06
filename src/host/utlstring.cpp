#include "host/utlstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/utlexit.h"

namespace {
const size_t MIN_DEST_SIZE = 9;

void stringOverflow(const char* op, size_t need, size_t size) {
  fprintf(stderr, "%s: text of %zu bytes does not fit a buffer of %zu bytes\n", op, need, size);
  HostCallDebuggerMsg_fl("UTL_GUARANTEE failed", __FILE__, __LINE__);
}
}  // namespace

void UtlStrCpy(char* dst, const char* src, size_t dstSize) {
  UTL_GUARANTEE(dstSize >= MIN_DEST_SIZE);
  size_t len = strlen(src);
  if (len >= dstSize) stringOverflow("UtlStrCpy", len + 1, dstSize);
  memmove(dst, src, len + 1);
}

void UtlStrCat(char* dst, const char* src, size_t dstSize) {
  UTL_GUARANTEE(dstSize >= MIN_DEST_SIZE);
  size_t have = strnlen(dst, dstSize);
  UTL_GUARANTEE(have < dstSize);
  size_t len = strlen(src);
  if (have + len >= dstSize) stringOverflow("UtlStrCat", have + len + 1, dstSize);
  memmove(dst + have, src, len + 1);
}

int UtlSnprintf(char* dst, size_t dstSize, const char* fmt, ...) {
  UTL_GUARANTEE(dstSize >= MIN_DEST_SIZE);
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(dst, dstSize, fmt, ap);
  va_end(ap);
  UTL_GUARANTEE(n >= 0);
  if ((size_t)n >= dstSize) stringOverflow("UtlSnprintf", (size_t)n + 1, dstSize);
  return n;
}

void UtlStrCpyCut(char* dst, const char* src, size_t dstSize) {
  if (dstSize == 0) return;
  size_t len = strnlen(src, dstSize - 1);
  memcpy(dst, src, len);
  dst[len] = '\0';
}
