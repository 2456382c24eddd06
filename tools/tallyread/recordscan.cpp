#include "recordscan.h"

#include <emmintrin.h>

namespace tallyread {

namespace {

const size_t MOST_DIGITS = 19;  // every decimal of 19 digits fits in 64 bits

// Bit i set when byte i of the 64 at p is a space or a newline.
inline uint64_t separators(const char* p) {
  const __m128i space = _mm_set1_epi8(' '), newline = _mm_set1_epi8('\n');
  uint64_t mask = 0;
  for (int i = 0; i < 4; i++) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, newline));
    mask |= (uint64_t)(uint32_t)_mm_movemask_epi8(hit) << (16 * i);
  }
  return mask;
}

// The value of a token of 1 to 8 bytes; *bad gets bits when one is not a
// digit. Eight bytes are read, those after the token are dropped.
inline uint64_t shortNumber(const char* p, size_t length, uint64_t* bad) {
  uint64_t bytes;
  memcpy(&bytes, p, 8);
  *bad |= nonDigitBytes(bytes) & (~0ull >> (64 - 8 * length));
  return digitsValue(bytes, length);
}

// A token of 9 to 19 bytes; FALSE when it is not all digits.
bool longNumber(const char* p, size_t length, uint64_t* value) {
  if (length > MOST_DIGITS) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < length; i++) {
    unsigned digit = (unsigned)(unsigned char)p[i] - '0';
    if (digit > 9) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

// The tokens of a line, one after the other, found through a mask of its
// separators 64 bytes at a time: no branch on the length of a token.
class Tokens {
 public:
  explicit Tokens(const char* line) : _line(line), _block(line), _mask(separators(line)) {}
  // The offset of the next separator: the end of the next token.
  size_t end() {
    while (_mask == 0) {
      _block += 64;
      _mask = separators(_block);
    }
    size_t at = (size_t)(_block - _line) + (size_t)__builtin_ctzll(_mask);
    _mask &= _mask - 1;
    return at;
  }

 private:
  const char* _line;
  const char* _block;
  uint64_t _mask;
};

// A number token [start, end) of the usual shape; FALSE otherwise.
inline bool numberToken(const char* line, size_t start, size_t end, uint64_t* value) {
  size_t length = end - start;
  if (length - 1 < 8) {
    uint64_t bad = 0;
    *value = shortNumber(line + start, length, &bad);
    return !bad && (length == 1 || line[start] != '0');
  }
  return length > 0 && line[start] != '0' && longNumber(line + start, length, value);
}

}  // namespace

bool scanRecord(std::string_view line, std::vector<ArchiveNumber>* numbers, ScannedRecord* out) {
  // A line of n bytes has at most n / 2 + 1 tokens.
  if (numbers->size() < line.size() / 2 + 1) numbers->resize(line.size() / 2 + 1);
  ArchiveNumber* const values = numbers->data();
  const char* const text = line.data();
  const size_t size = line.size();
  Tokens tokens(text);
  uint64_t typeId, time;
  size_t end = tokens.end();
  if (end == size || !numberToken(text, 0, end, &typeId)) return false;
  size_t start = end + 1;
  end = tokens.end();
  if (end == size || !numberToken(text, start, end, &time) || time > UINT32_MAX) return false;
  size_t instance = end + 1;
  end = tokens.end();
  if (end == instance) return false;
  for (size_t i = instance; i < end; i++)
    if ((unsigned char)text[i] < 0x20 || text[i] == 0x7f) return false;
  out->instance = std::string_view(text + instance, end - instance);
  values[0] = {false, typeId};
  values[1] = {false, time};
  values[2] = ArchiveNumber();
  size_t count = 3;
  if (end < size) {
    size_t processId = end + 1;
    // Values: each token read whole, eight bytes at a time; what is wrong is
    // gathered and looked at once at the end of the line.
    uint64_t bad = 0;
    for (;;) {
      start = end + 1;
      end = tokens.end();
      size_t length = end - start;
      uint64_t v;
      if (length - 1 < 8) {
        v = shortNumber(text + start, length, &bad);
        bad |= length > 1 && text[start] == '0';
      } else if (length == 0 || text[start] == '0' || !longNumber(text + start, length, &v)) {
        return false;
      }
      values[count++] = {false, v};
      if (end == size) break;
    }
    if (bad) return false;
    const char* processIdEnd = (const char*)memchr(text + processId, ' ', size - processId);
    size_t processIdSize = processIdEnd ? (size_t)(processIdEnd - text) - processId : size - processId;
    out->processId = std::string_view(text + processId, processIdSize);
    out->identity = std::string_view(text + instance, processId + processIdSize - instance);
  } else {
    out->processId = std::string_view("0");
    out->identity = out->instance;
  }
  out->typeId = typeId;
  out->time = (uint32_t)time;
  out->count = count;
  return true;
}

}  // namespace tallyread
