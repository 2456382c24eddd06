// What the procfs parsers share: views of a file's text split into lines and
// blank-separated tokens, strict number readers, and the name/value lists of
// /proc/vmstat, /proc/meminfo and the snmp sections. Internal to linux/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A line or a token: a view into the file text. The parsers run at every
// sample, so they split the text into views and copy only the names they keep.
struct TextView {
  const char* begin;
  const char* end;
  size_t size() const { return (size_t)(end - begin); }
  std::string str() const { return std::string(begin, size()); }
  bool is(const char* s) const;
};

// The lines of text, without their newlines; a last line without one counts.
std::vector<TextView> splitTextLines(const std::string& text);
// The blank-separated tokens of line, at most limit of them, into out (cleared
// first; callers keep it across lines so that it allocates once).
void splitTokens(const TextView& line, std::vector<TextView>* out, size_t limit = SIZE_MAX);

// Strict unsigned decimal of a whole token; false on anything else.
bool parseU64Token(const char* begin, const char* end, uint64_t* value);
inline bool parseU64(const TextView& t, uint64_t* value) { return parseU64Token(t.begin, t.end, value); }
// "123.45" (up to 9 decimals) as an integer of `decimals` decimal places; the
// digits beyond are dropped.
bool parseFixed(const TextView& tok, unsigned decimals, uint64_t* out);

// For messages: the line quoted (cut at 60 characters), and "line N" of a
// 0-based index.
std::string quoted(const TextView& line);
std::string lineRef(size_t index);

// "name value" entries in file order.
typedef std::vector<std::pair<std::string, uint64_t>> ProcKeyValues;
// Sets entry i of a list read again: the kernel prints the same names in the
// same order each time, so the names already there are kept and only the
// values change.
void setEntry(ProcKeyValues* out, size_t i, const TextView& name, uint64_t value);
// Reads a file of one "name value" entry a line into out. entry judges the
// tokens of each non-blank line and gives its name and value; a line it
// refuses fails the whole text with an error that says what was expected.
typedef bool (*EntryOfLine)(const std::vector<TextView>& tokens, TextView* name, uint64_t* value);
bool parseEntryLines(const std::string& text, EntryOfLine entry, const char* expected, ProcKeyValues* out,
                     std::string* error);
// Looks a key up; false with an error naming the key when it is absent.
bool procLookup(const ProcKeyValues& kv, const char* key, uint64_t* value, std::string* error);
// Looks a key up; 0 when absent.
uint64_t procLookupOptional(const ProcKeyValues& kv, const char* key);
