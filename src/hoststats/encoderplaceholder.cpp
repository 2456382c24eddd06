// TEMPORARY: weak stand-ins for the archive encoder operations the host
// records use, so that the host statistics link and can be tested before the
// encoder is built. They append to the writer's buffer with the same token
// rules (one space after each token, records closed by a newline) but never
// grow or flush it. The real (strong) definitions replace them; this file goes
// away once the encoder has landed.
#include <cstdio>
#include <cstring>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"

#define WEAK __attribute__((weak))

namespace {

void append(HostStatWriter& w, const char* s, size_t n) {
  UTL_GUARANTEE(w.bufPtr != nullptr && w.bufPtr + n + 2 < w.bufLimit);
  memcpy(w.bufPtr, s, n);
  w.bufPtr += n;
  if (w.bufPtr[-1] != '\n') *w.bufPtr++ = ' ';
  *w.bufPtr = '\0';
}

}  // namespace

WEAK void HostStatWriter::writeCharacter(char c) {
  UTL_GUARANTEE(bufPtr != nullptr && bufPtr + 3 < bufLimit);
  *bufPtr++ = c;
  *bufPtr++ = ' ';
  *bufPtr = '\0';
}

WEAK void HostStatWriter::writeNewLine() { writeCharacter('\n'); }

WEAK void HostStatWriter::writeString(const char* s) { append(*this, s, strlen(s)); }

WEAK void HostStatWriter::writeStringNoSpaces(const char* s) {
  char tmp[1024];
  size_t n = strlen(s);
  UTL_GUARANTEE(n < sizeof tmp);
  for (size_t i = 0; i < n; i++) tmp[i] = s[i] == ' ' ? '_' : s[i];
  append(*this, tmp, n);
}

WEAK void HostStatWriter::writeArrayOfStrings(const char* const* names, int n) {
  for (int i = 0; i < n; i++) {
    writeString(names[i]);
    if ((i + 1) % 5 == 0 && i + 1 < n) writeNewLine();
  }
}

WEAK void HostStatWriter::writeUInt64(uint64_t v) {
  char tmp[24];
  int n = snprintf(tmp, sizeof tmp, "%llu", (unsigned long long)v);
  append(*this, tmp, (size_t)n);
}

WEAK void HostStatWriter::writeUInt(uint32_t v) { writeUInt64(v); }

WEAK void HostStatWriter::writeVectorU32(const uint32_t* values, int n) {
  for (int i = 0; i < n; i++) writeUInt(values[i]);
}

WEAK void HostStatWriter::writeTimeStamp() { writeUInt(sampleTimeStamp); }

WEAK void HostStatWriter::writeEndOfRecord() {
  if (notEmpty() && lastCharacter() == ' ')
    setLastCharacter('\n');
  else
    writeCharacter('\n');
}

WEAK uint32_t HostStatWriter::writeTypeCount() {
  UTL_GUARANTEE(currentTypeCount < 2147483648u);
  uint32_t id = currentTypeCount;
  writeUInt(id);
  currentTypeCount *= 2;
  return id;
}

WEAK void HostStatWriter::writeBasicStatNames() {
  static const char* const names[5] = {"StatTypeNum", "Time", "ProcessName", "ProcessId", "SessionId"};
  writeArrayOfStrings(names, 5);
  writeString("\n");
}
