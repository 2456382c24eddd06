// The archive text encoder: typed write operations that append tokens to one
// page-aligned text area, each token followed by one space. Every sampled value
// passes through here, so the number paths keep the write cursor in registers
// and never allocate or call formatted printing.
#include <cstdint>
#include <cstring>

#include "archive/decimal.h"
#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"

namespace decimal {

const char kDigitPairs[200] = {
#define PAIRS(t) t, '0', t, '1', t, '2', t, '3', t, '4', t, '5', t, '6', t, '7', t, '8', t, '9'
    PAIRS('0'), PAIRS('1'), PAIRS('2'), PAIRS('3'), PAIRS('4'),
    PAIRS('5'), PAIRS('6'), PAIRS('7'), PAIRS('8'), PAIRS('9'),
#undef PAIRS
};

}  // namespace decimal

namespace {

const size_t INITIAL_BUFFER_SIZE = 1048576;
const uintptr_t BUFFER_ALIGNMENT = 4096;
// Longest number token: a sign and 19 digits or 20 digits, its space and the NUL.
const size_t NUMBER_RESERVE = 22;

const char kSmallNegatives[10][3] = {"-0", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9"};

// The write position held in locals while a run of numbers is encoded: stores
// through char pointers may alias the writer's own fields, so working on
// bufPtr directly would reload it after every byte. The writer is brought up to
// date before anything that can grow or flush the buffer, and at the end.
class Cursor {
 public:
  explicit Cursor(HostStatWriter* w) : w_(w), p_(w->bufPtr), limit_(w->bufLimit) {}

  // A single digit takes the path of writeCharacter: it may flush, never grows.
  inline void putDigit(unsigned d) {
    if (__builtin_expect(limit_ - p_ <= 2, 0)) flush();
    p_[0] = (char)('0' + d);
    p_[1] = ' ';
    p_ += 2;
  }

  inline void putU64(uint64_t v) {
    if (v < 10) {
      putDigit((unsigned)v);
      return;
    }
    reserve(NUMBER_RESERVE);
    p_ += decimal::writeU64(p_, v);
    *p_++ = ' ';
  }

  inline void putI64(int64_t v) {
    if (v >= 0) {
      putU64((uint64_t)v);
      return;
    }
    if (v >= -9) {  // the two-character literal path of writeSmallNegativeInt
      reserve(2);
      p_[0] = '-';
      p_[1] = (char)('0' - v);
      p_[2] = ' ';
      p_ += 3;
      return;
    }
    reserve(NUMBER_RESERVE);
    *p_++ = '-';
    p_ += decimal::writeU64(p_, 0 - (uint64_t)v);
    *p_++ = ' ';
  }

  inline void finish() {
    *p_ = '\0';
    w_->bufPtr = p_;
    UTL_GUARANTEE(p_ < limit_);
  }

 private:
  // growIfNeeded(n) followed by flushIfNeeded(), as every multi-byte write does.
  inline void reserve(size_t n) {
    ptrdiff_t forData = limit_ - p_ - 2;
    if (__builtin_expect(forData < 0 || (size_t)forData < n, 0)) {
      sync();
      w_->growIfNeeded(n);
      w_->flushIfNeeded();
      reload();
    }
  }
  void flush() {
    sync();
    w_->flushIfNeeded();
    reload();
  }
  void sync() {
    *p_ = '\0';
    w_->bufPtr = p_;
  }
  void reload() {
    p_ = w_->bufPtr;
    limit_ = w_->bufLimit;
  }

  HostStatWriter* w_;
  char* p_;
  char* limit_;
};

}  // namespace

void HostStatWriter::_basicInit() { memset(static_cast<void*>(this), 0, sizeof(*this)); }

void HostStatWriter::init(TallyMgr* manager) {
  _basicInit();
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
  UTL_GUARANTEE(mgr != nullptr);
  int used = spaceUsed();
  if (used > 0) {
    mgr->writeToFile(buffer, (size_t)used);
    bufPtr = buffer;
    *bufPtr = '\0';
  }
  mgr->flushOutFile();
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
  for (size_t i = 0; i < len; i++) p[i] = s[i] == ' ' ? '_' : s[i];
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
