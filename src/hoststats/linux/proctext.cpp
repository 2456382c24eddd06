#include "hoststats/linux/proctext.h"

#include <cstring>

bool TextView::is(const char* s) const { return size() == strlen(s) && memcmp(begin, s, size()) == 0; }

std::vector<TextView> splitTextLines(const std::string& text) {
  std::vector<TextView> lines;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* nl = static_cast<const char*>(memchr(p, '\n', end - p));
    const char* e = nl ? nl : end;
    lines.push_back({p, e});
    p = nl ? nl + 1 : end;
  }
  return lines;
}

void splitTokens(const TextView& line, std::vector<TextView>* out, size_t limit) {
  out->clear();
  const char* p = line.begin;
  while (p < line.end && out->size() < limit) {
    while (p < line.end && (*p == ' ' || *p == '\t')) p++;
    const char* s = p;
    while (p < line.end && *p != ' ' && *p != '\t') p++;
    if (p > s) out->push_back({s, p});
  }
}

bool parseU64Token(const char* begin, const char* end, uint64_t* value) {
  if (begin >= end) return false;
  uint64_t v = 0;
  for (const char* p = begin; p < end; p++) {
    if (*p < '0' || *p > '9') return false;
    unsigned d = (unsigned)(*p - '0');
    if (v > (UINT64_MAX - d) / 10) return false;
    v = v * 10 + d;
  }
  *value = v;
  return true;
}

bool parseFixed(const TextView& tok, unsigned decimals, uint64_t* out) {
  const char* dot = static_cast<const char*>(memchr(tok.begin, '.', tok.size()));
  TextView ip = {tok.begin, dot ? dot : tok.end};
  TextView fp = {dot ? dot + 1 : tok.end, tok.end};
  uint64_t whole, frac = 0;
  if (!parseU64(ip, &whole)) return false;
  if (dot && (fp.size() == 0 || fp.size() > 9)) return false;
  if (fp.size() > 0 && !parseU64(fp, &frac)) return false;
  uint64_t scale = 1;
  for (unsigned i = 0; i < decimals; i++) scale *= 10;
  if (whole > UINT64_MAX / scale / 2) return false;
  // frac has fp.size() digits; bring it to `decimals` digits.
  size_t n = fp.size();
  for (; n < decimals; n++) frac *= 10;
  for (; n > decimals; n--) frac /= 10;
  *out = whole * scale + frac;
  return true;
}

std::string quoted(const TextView& line) {
  std::string s = line.str();
  if (s.size() > 60) s = s.substr(0, 60) + "...";
  return "\"" + s + "\"";
}

std::string lineRef(size_t index) { return "line " + std::to_string(index + 1); }

void setEntry(ProcKeyValues* out, size_t i, const TextView& name, uint64_t value) {
  if (i < out->size()) {
    std::pair<std::string, uint64_t>& e = (*out)[i];
    if (e.first.size() != name.size() || memcmp(e.first.data(), name.begin, name.size()) != 0)
      e.first.assign(name.begin, name.size());
    e.second = value;
  } else {
    out->emplace_back(name.str(), value);
  }
}

bool parseEntryLines(const std::string& text, EntryOfLine entry, const char* expected, ProcKeyValues* out,
                     std::string* error) {
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    splitTokens(lines[i], &t);
    if (t.empty()) continue;
    TextView name;
    uint64_t v;
    if (!entry(t, &name, &v)) {
      *error = lineRef(i) + ": expected \"" + expected + "\", got " + quoted(lines[i]);
      return false;
    }
    setEntry(out, n++, name, v);
  }
  out->resize(n);
  return true;
}

namespace {

// The entry named key, or null. Sizes are compared first: most names differ there.
const std::pair<std::string, uint64_t>* findEntry(const ProcKeyValues& kv, const char* key) {
  size_t n = strlen(key);
  for (const auto& e : kv)
    if (e.first.size() == n && memcmp(e.first.data(), key, n) == 0) return &e;
  return nullptr;
}

}  // namespace

bool procLookup(const ProcKeyValues& kv, const char* key, uint64_t* value, std::string* error) {
  const auto* e = findEntry(kv, key);
  if (e == nullptr) {
    *error = std::string("no \"") + key + "\" entry";
    return false;
  }
  *value = e->second;
  return true;
}

uint64_t procLookupOptional(const ProcKeyValues& kv, const char* key) {
  const auto* e = findEntry(kv, key);
  return e ? e->second : 0;
}
