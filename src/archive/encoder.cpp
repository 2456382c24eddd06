// The archive text encoder: typed write operations that append tokens to one
// page-aligned text area, each token followed by one space. Every sampled value
// passes through here, so the number paths keep the write cursor in registers
// and never allocate or call formatted printing.
#include <cstdint>
#include <cstring>

#include "archive/archivesink.h"
#include "archive/decimal.h"
#include "archive/hoststatwriter.h"
#include "host/utlexit.h"

namespace {

const size_t INITIAL_BUFFER_SIZE = 1048576;
const uintptr_t BUFFER_ALIGNMENT = 4096;
// Longest number token: a sign and 19 digits or 20 digits, its space and the NUL.
const size_t NUMBER_RESERVE = 22;

// A name is one token: a space would split it, a newline or any other control
// byte would split or forge a line (any process writes its own name in the
// cache), and readers stop at a tab. Each such byte is written as '_'.
inline bool isNameSeparator(char c) { return (unsigned char)c <= 0x20 || c == 0x7f; }

const char kSmallNegatives[10][3] = {"-0", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9"};

// The write position held in locals while a run of numbers is encoded: stores
// through char pointers may alias the writer's own fields, so working on
// bufPtr directly would reload it after every byte.
//
// With at least FAST_ROOM bytes left no token can grow or flush the buffer, and
// the digit writers may store their 8-byte groups freely. Closer to the end each
// token goes through the writer's own operations, which apply the exact rules:
// a single digit flushes when 2 bytes or fewer are left and never grows, a
// longer token grows the area when it does not fit.
const ptrdiff_t FAST_ROOM = NUMBER_RESERVE + 2;

class Cursor {
 public:
  explicit Cursor(HostStatWriter* w) : w_(w), p_(w->bufPtr), limit_(w->bufLimit) {}

  inline void putU64(uint64_t v) {
    if (__builtin_expect(limit_ - p_ < FAST_ROOM, 0)) {
      nearTheEnd(v, false);
      return;
    }
    if (v < 10) {  // most counters: a fixed-length token keeps the next one independent
      p_[0] = (char)('0' + v);
      p_[1] = ' ';
      p_ += 2;
      return;
    }
    p_ = decimal::writeU64(p_, v);
    *p_++ = ' ';
  }

  inline void putI64(int64_t v) {
    if (__builtin_expect(limit_ - p_ < FAST_ROOM, 0)) {
      if (v >= 0) {
        nearTheEnd((uint64_t)v, false);
      } else {
        nearTheEnd(0 - (uint64_t)v, true);
      }
      return;
    }
    if ((uint64_t)v + 9 < 19) {  // -9 to 9: a fixed-length token
      if (v >= 0) {
        p_[0] = (char)('0' + v);
        p_[1] = ' ';
        p_ += 2;
      } else {
        p_[0] = '-';
        p_[1] = (char)('0' - v);
        p_[2] = ' ';
        p_ += 3;
      }
      return;
    }
    uint64_t magnitude = (uint64_t)v;
    if (v < 0) {
      *p_++ = '-';
      magnitude = 0 - magnitude;
    }
    p_ = decimal::writeU64(p_, magnitude);
    *p_++ = ' ';
  }

  inline void finish() {
    *p_ = '\0';
    w_->bufPtr = p_;
    UTL_GUARANTEE(p_ < limit_);
  }

 private:
  void nearTheEnd(uint64_t magnitude, bool negative) {
    *p_ = '\0';
    w_->bufPtr = p_;
    if (!negative && magnitude < 10) {
      w_->writeCharacter((char)('0' + magnitude));
    } else if (negative && magnitude < 10) {
      w_->_writeString(kSmallNegatives[magnitude], 2);
    } else {
      w_->growIfNeeded(NUMBER_RESERVE);
      w_->flushIfNeeded();
      char* p = w_->bufPtr;
      if (negative) *p++ = '-';
      p = decimal::writeU64(p, magnitude);
      *p++ = ' ';
      *p = '\0';
      w_->bufPtr = p;
    }
    p_ = w_->bufPtr;
    limit_ = w_->bufLimit;
  }

  HostStatWriter* w_;
  char* p_;
  char* limit_;
};

}  // namespace

void HostStatWriter::init(TallyMgr* manager) {
  mgr = manager;
  growBuffer(INITIAL_BUFFER_SIZE);
  baseTypeCount = 64;
  systemTypeCount = 0;
  processTypeCount = 0;
  cpuTypeCount = 0;
  diskTypeCount = 0;
  tcpTypeCount = 0;
  networkTypeCount = 0;
  complexNetworkTypeCount = 0;
  partitionTypeCount = 0;
  systemPagesTypeCount = 0;
}

// --- buffer management ---

void HostStatWriter::growBuffer(size_t newSize) {
  UTL_GUARANTEE(newSize > bufferSize);
  char* raw = (char*)UtlMallocHalt(newSize + BUFFER_ALIGNMENT, "HostStatWriter buffer");
  char* area = (char*)(((uintptr_t)raw + BUFFER_ALIGNMENT - 1) & ~(BUFFER_ALIGNMENT - 1));
  int used = spaceUsed();
  if (used > 0) memcpy(area, buffer, (size_t)used);
  area[used] = '\0';
  if (rawBuffer != nullptr) UtlFree(rawBuffer);
  rawBuffer = raw;
  buffer = area;
  bufLimit = area + newSize;
  bufPtr = area + used;
  bufferSize = newSize;
}

// Doubles until the write fits. No write of this program comes near the initial
// size, so in practice this is at most one doubling.
void HostStatWriter::growIfNeeded(size_t n) {
  while (n > (size_t)spaceLeftForData()) {
    UTL_GUARANTEE(bufferSize != 0);
    growBuffer(2 * bufferSize);
  }
}

void HostStatWriter::flushIfNeeded() {
  if (spaceLeft() > 2) return;
  flushBuffer();
  UTL_GUARANTEE(isEmpty());
}

void HostStatWriter::flushBuffer() {
  UTL_GUARANTEE(sink != nullptr);
  int used = spaceUsed();
  if (used > 0) {
    sink->writeToFile(buffer, (size_t)used);
    bufPtr = buffer;
    *bufPtr = '\0';
  }
  sink->flushOutFile();
}

// --- characters and strings ---

void HostStatWriter::writeCharacter(char c) {
  flushIfNeeded();
  bufPtr[0] = c;
  bufPtr[1] = ' ';
  bufPtr[2] = '\0';
  bufPtr += 2;
  UTL_GUARANTEE(bufPtr < bufLimit);
}

void HostStatWriter::writeNewLine() { writeCharacter('\n'); }

void HostStatWriter::_writeString(const char* s, size_t len) {
  growIfNeeded(len);
  flushIfNeeded();
  memcpy(bufPtr, s, len);
  bufPtr += len;
  // A text that ends its line gets no separator after it.
  if (bufPtr == buffer || bufPtr[-1] != '\n') *bufPtr++ = ' ';
  *bufPtr = '\0';
  UTL_GUARANTEE(bufPtr < bufLimit);
}

void HostStatWriter::writeString(const char* s) {
  UTL_GUARANTEE(s != nullptr);
  _writeString(s, strlen(s));
}

void HostStatWriter::writeStringNoSpaces(const char* s) {
  UTL_GUARANTEE(s != nullptr);
  writeStringNoSpaces(s, strlen(s));
}

void HostStatWriter::writeStringNoSpaces(const char* s, size_t len) {
  UTL_GUARANTEE(s != nullptr);
  growIfNeeded(len);
  flushIfNeeded();
  char* p = bufPtr;
  for (size_t i = 0; i < len; i++) p[i] = isNameSeparator(s[i]) ? '_' : s[i];
  p += len;
  if (p == buffer || p[-1] != '\n') *p++ = ' ';
  *p = '\0';
  bufPtr = p;
  UTL_GUARANTEE(bufPtr < bufLimit);
}

void HostStatWriter::writeArrayOfStrings(const char* const* names, int n) {
  UTL_GUARANTEE(names != nullptr && n >= 1);
  for (int i = 0; i < n; i++) {
    writeString(names[i]);
    if ((i + 1) % 5 == 0 && i + 1 < n) writeNewLine();
  }
}

// --- numbers ---

void HostStatWriter::writeSmallUInt(int v) {
  UTL_GUARANTEE(v >= 0 && v <= 9);
  writeCharacter((char)('0' + v));
}

void HostStatWriter::writeSmallNegativeInt(int v) {
  UTL_GUARANTEE(v >= -9 && v <= -1);
  _writeString(kSmallNegatives[-v], 2);
}

void HostStatWriter::writeUInt64(uint64_t v) {
  Cursor c(this);
  c.putU64(v);
  c.finish();
}

void HostStatWriter::writeUInt(uint32_t v) { writeUInt64(v); }

void HostStatWriter::writeInt64(int64_t v) {
  Cursor c(this);
  c.putI64(v);
  c.finish();
}

void HostStatWriter::writeVectorU32(const uint32_t* values, int n) {
  UTL_GUARANTEE(n >= 0 && (n == 0 || values != nullptr));
  Cursor c(this);
  for (int i = 0; i < n; i++) c.putU64(values[i]);
  c.finish();
}

void HostStatWriter::writeVectorI64(const int64_t* values, int n) {
  UTL_GUARANTEE(n >= 0 && (n == 0 || values != nullptr));
  Cursor c(this);
  for (int i = 0; i < n; i++) c.putI64(values[i]);
  c.finish();
}

void HostStatWriter::writeTimeStamp() { writeUInt(sampleTimeStamp); }

void HostStatWriter::writeStatsForPidWithInfo(const HostProcessStatsSType* stats) {
  UTL_GUARANTEE(stats != nullptr);
  writeVectorU32(stats->values, (int)(sizeof(stats->values) / sizeof(stats->values[0])));
}

void HostStatWriter::writeEndOfRecord() {
  if (notEmpty() && lastCharacter() == ' ') {
    setLastCharacter('\n');
  } else {
    writeCharacter('\n');
  }
}
