#include "hoststats/linux/procparse.h"

#include <cstring>

namespace {

// A line or a token: a view into the file text. The parsers run at every sample,
// so they split the text into views and copy only the names they keep.
struct Line {
  const char* begin;
  const char* end;
};

// Splits text into lines (without the newline); a final line without a newline counts.
std::vector<Line> splitLines(const std::string& text) {
  std::vector<Line> lines;
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

// The blank-separated tokens of a line, at most `limit` of them, into `out`
// (cleared first; the caller keeps it across lines so that it allocates once).
void tokens(const Line& line, std::vector<Line>* out, size_t limit = SIZE_MAX) {
  out->clear();
  const char* p = line.begin;
  while (p < line.end && out->size() < limit) {
    while (p < line.end && (*p == ' ' || *p == '\t')) p++;
    const char* s = p;
    while (p < line.end && *p != ' ' && *p != '\t') p++;
    if (p > s) out->push_back({s, p});
  }
}

size_t length(const Line& t) { return (size_t)(t.end - t.begin); }
std::string str(const Line& t) { return std::string(t.begin, length(t)); }
bool is(const Line& t, const char* s) { return length(t) == strlen(s) && memcmp(t.begin, s, length(t)) == 0; }
bool u64(const Line& tok, uint64_t* v) { return parseU64Token(tok.begin, tok.end, v); }

std::string quoted(const Line& line) {
  std::string s = str(line);
  if (s.size() > 60) s = s.substr(0, 60) + "...";
  return "\"" + s + "\"";
}

std::string lineRef(size_t index) { return "line " + std::to_string(index + 1); }

// Entry i of a name/value list read again: the kernel prints the same names in
// the same order each time, so the names already there are kept and only the
// values change.
void setEntry(ProcKeyValues* out, size_t i, const Line& name, uint64_t value) {
  if (i < out->size()) {
    std::pair<std::string, uint64_t>& e = (*out)[i];
    if (e.first.size() != length(name) || memcmp(e.first.data(), name.begin, length(name)) != 0)
      e.first.assign(name.begin, length(name));
    e.second = value;
  } else {
    out->emplace_back(str(name), value);
  }
}

}  // namespace

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

bool parseProcStat(const std::string& text, ProcStat* out, std::string* error) {
  *out = ProcStat();
  enum { CTXT, INTR, SOFTIRQ, PROCESSES, RUNNING, BLOCKED, BTIME, NKEYS };
  static const char* const keys[NKEYS] = {"ctxt", "intr", "softirq", "processes", "procs_running",
                                          "procs_blocked", "btime"};
  uint64_t* dest[NKEYS] = {&out->ctxt,         &out->intrTotal,    &out->softirqTotal, &out->processes,
                           &out->procsRunning, &out->procsBlocked, &out->btime};
  bool seen[NKEYS] = {};
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  for (size_t i = 0; i < lines.size(); i++) {
    // Only the cpu lines are read to their end: "intr" and "softirq" go on with
    // one count per interrupt, and only their totals are used.
    tokens(lines[i], &t, 2);
    if (t.empty()) continue;
    const Line key = t[0];
    if (length(key) >= 3 && memcmp(key.begin, "cpu", 3) == 0) {
      if (is(key, "cpu")) continue;  // the all-CPU line; sums are formed from the CPUs themselves
      tokens(lines[i], &t);
      ProcStatCpu cpu;
      uint64_t id;
      if (!u64({key.begin + 3, key.end}, &id) || id > 1000000) {
        *error = lineRef(i) + ": bad cpu name " + quoted(lines[i]);
        return false;
      }
      cpu.cpu = (int)id;
      // user nice system idle are always there; later fields came with newer kernels.
      if (t.size() < 5) {
        *error = lineRef(i) + ": cpu line has fewer than 4 tick fields " + quoted(lines[i]);
        return false;
      }
      uint64_t* f[8] = {&cpu.user, &cpu.nice, &cpu.system, &cpu.idle, &cpu.iowait, &cpu.irq, &cpu.softirq, &cpu.steal};
      for (size_t k = 1; k < t.size() && k <= 8; k++) {
        if (!u64(t[k], f[k - 1])) {
          *error = lineRef(i) + ": bad tick count \"" + str(t[k]) + "\" in " + quoted(lines[i]);
          return false;
        }
      }
      for (size_t k = 9; k < t.size(); k++) {  // guest, guest_nice: checked, not used
        uint64_t unused;
        if (!u64(t[k], &unused)) {
          *error = lineRef(i) + ": bad tick count \"" + str(t[k]) + "\" in " + quoted(lines[i]);
          return false;
        }
      }
      out->cpus.push_back(cpu);
      continue;
    }
    for (int k = 0; k < NKEYS; k++) {
      if (!is(key, keys[k])) continue;
      if (t.size() < 2 || !u64(t[1], dest[k])) {
        *error = lineRef(i) + ": bad value for " + str(key) + " in " + quoted(lines[i]);
        return false;
      }
      seen[k] = true;
    }
  }
  if (out->cpus.empty()) {
    *error = "no cpuN lines";
    return false;
  }
  for (int k = 0; k < NKEYS; k++) {
    if (!seen[k]) {
      *error = std::string("no \"") + keys[k] + "\" line";
      return false;
    }
  }
  return true;
}

bool parseProcVmstat(const std::string& text, ProcKeyValues* out, std::string* error) {
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    tokens(lines[i], &t);
    if (t.empty()) continue;
    uint64_t v;
    if (t.size() != 2 || !u64(t[1], &v)) {
      *error = lineRef(i) + ": expected \"name value\", got " + quoted(lines[i]);
      return false;
    }
    setEntry(out, n++, t[0], v);
  }
  out->resize(n);
  return true;
}

bool parseProcMeminfo(const std::string& text, ProcKeyValues* out, std::string* error) {
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    tokens(lines[i], &t);
    if (t.empty()) continue;
    uint64_t v;
    bool ok = length(t[0]) > 1 && t[0].end[-1] == ':' && t.size() >= 2 && t.size() <= 3 && u64(t[1], &v) &&
              (t.size() == 2 || is(t[2], "kB"));
    if (!ok) {
      *error = lineRef(i) + ": expected \"Name: value [kB]\", got " + quoted(lines[i]);
      return false;
    }
    setEntry(out, n++, {t[0].begin, t[0].end - 1}, v);
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

namespace {

// "123.45" (up to 9 decimals) as an integer scaled by `scale` decimals; rounds
// the digits beyond. Used for uptime (nanoseconds) and load averages.
bool parseFixed(const Line& tok, unsigned decimals, uint64_t* out) {
  const char* dot = static_cast<const char*>(memchr(tok.begin, '.', length(tok)));
  Line ip = {tok.begin, dot ? dot : tok.end};
  Line fp = {dot ? dot + 1 : tok.end, tok.end};
  uint64_t whole, frac = 0;
  if (!u64(ip, &whole)) return false;
  if (dot && (length(fp) == 0 || length(fp) > 9)) return false;
  if (length(fp) > 0 && !u64(fp, &frac)) return false;
  uint64_t scale = 1;
  for (unsigned i = 0; i < decimals; i++) scale *= 10;
  if (whole > UINT64_MAX / scale / 2) return false;
  // frac has length(fp) digits; bring it to `decimals` digits.
  size_t n = length(fp);
  while (n < decimals) {
    frac *= 10;
    n++;
  }
  while (n > decimals) {
    frac /= 10;
    n--;
  }
  *out = whole * scale + frac;
  return true;
}

}  // namespace

bool parseProcUptime(const std::string& text, int64_t* uptimeNs, std::string* error) {
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  if (!lines.empty()) tokens(lines[0], &t);
  uint64_t ns;
  if (t.size() != 2 || !parseFixed(t[0], 9, &ns) || ns > (uint64_t)INT64_MAX) {
    *error = "expected \"<seconds> <idle seconds>\", got " + (lines.empty() ? std::string("nothing") : quoted(lines[0]));
    return false;
  }
  *uptimeNs = (int64_t)ns;
  return true;
}

bool parseProcLoadavg(const std::string& text, ProcLoadavg* out, std::string* error) {
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  if (!lines.empty()) tokens(lines[0], &t);
  auto bad = [&]() {
    *error = "expected \"<1min> <5min> <15min> <running>/<total> <last pid>\", got " +
             (lines.empty() ? std::string("nothing") : quoted(lines[0]));
    return false;
  };
  if (t.size() != 5) return bad();
  for (int i = 0; i < 3; i++) {
    uint64_t milli;  // three decimals keep the kernel's two exactly
    if (!parseFixed(t[i], 3, &milli) || milli > 1000000000ull) return bad();
    out->avenrun[i] = (uint32_t)((milli * 256 + 500) / 1000);
  }
  const char* slash = static_cast<const char*>(memchr(t[3].begin, '/', length(t[3])));
  if (!slash || !u64({t[3].begin, slash}, &out->runnable) || !u64({slash + 1, t[3].end}, &out->threads)) return bad();
  return true;
}

bool parseProcDiskstats(const std::string& text, std::vector<ProcDiskStat>* out, std::string* error) {
  out->clear();
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  for (size_t i = 0; i < lines.size(); i++) {
    tokens(lines[i], &t);
    if (t.empty()) continue;
    // major minor name and 11 figures; kernels since 4.18 and 5.5 add 4 and 2 more.
    if (t.size() < 14) {
      *error = lineRef(i) + ": fewer than 14 fields in " + quoted(lines[i]);
      return false;
    }
    ProcDiskStat d;
    uint64_t maj, min;
    uint64_t* f[11] = {&d.readsCompleted, &d.readsMerged,    &d.sectorsRead, &d.msReading,
                       &d.writesCompleted, &d.writesMerged,  &d.sectorsWritten, &d.msWriting,
                       &d.inFlight,       &d.msDoingIo,      &d.weightedMsDoingIo};
    bool ok = u64(t[0], &maj) && u64(t[1], &min) && maj <= 0xffffffffu && min <= 0xffffffffu;
    for (int k = 0; ok && k < 11; k++) ok = u64(t[3 + k], f[k]);
    for (size_t k = 14; ok && k < t.size(); k++) {
      uint64_t unused;
      ok = u64(t[k], &unused);
    }
    if (!ok || length(t[2]) >= 32) {
      *error = lineRef(i) + ": malformed device line " + quoted(lines[i]);
      return false;
    }
    d.major = (unsigned)maj;
    d.minor = (unsigned)min;
    d.name = str(t[2]);
    out->push_back(d);
  }
  return true;
}

bool parseProcNetDev(const std::string& text, std::vector<ProcNetDev>* out, std::string* error) {
  out->clear();
  std::vector<Line> lines = splitLines(text);
  if (lines.size() < 2 || !memchr(lines[0].begin, '|', length(lines[0]))) {
    *error = "missing the two header lines";
    return false;
  }
  std::vector<Line> t;
  for (size_t i = 2; i < lines.size(); i++) {
    const Line& line = lines[i];
    const char* s = line.begin;
    while (s < line.end && (*s == ' ' || *s == '\t')) s++;
    if (s == line.end) continue;
    const char* colon = nullptr;  // the last one: interface names may hold a colon (aliases)
    for (const char* p = line.end; p > line.begin; p--) {
      if (p[-1] == ':') {
        colon = p - 1;
        break;
      }
    }
    if (!colon) {
      *error = lineRef(i) + ": no \"name:\" in " + quoted(line);
      return false;
    }
    ProcNetDev d;
    if (colon > s) d.name.assign(s, (size_t)(colon - s));
    tokens({colon + 1, line.end}, &t);
    uint64_t* f[16] = {&d.rxBytes,  &d.rxPackets, &d.rxErrs, &d.rxDrop,  &d.rxFifo,    &d.rxFrame,
                       &d.rxCompressed, &d.rxMulticast, &d.txBytes, &d.txPackets, &d.txErrs, &d.txDrop,
                       &d.txFifo,   &d.txColls,   &d.txCarrier, &d.txCompressed};
    bool ok = t.size() == 16 && !d.name.empty() && d.name.size() < 32;
    for (int k = 0; ok && k < 16; k++) ok = u64(t[k], f[k]);
    if (!ok) {
      *error = lineRef(i) + ": expected an interface name and 16 counters, got " + quoted(line);
      return false;
    }
    out->push_back(d);
  }
  return true;
}

bool parseProcSnmpSection(const std::string& text, const char* prefix, ProcKeyValues* out, std::string* error) {
  std::string tag = std::string(prefix) + ":";
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> names, values;
  for (size_t i = 0; i + 1 < lines.size(); i++) {
    tokens(lines[i], &names, 1);
    if (names.empty() || !is(names[0], tag.c_str())) continue;
    tokens(lines[i], &names);
    tokens(lines[i + 1], &values);
    if (values.empty() || !is(values[0], tag.c_str()) || values.size() != names.size()) {
      *error = lineRef(i + 1) + ": the " + prefix + " value line does not match its name line";
      return false;
    }
    for (size_t k = 1; k < names.size(); k++) {
      const Line& v = values[k];
      uint64_t x;
      bool neg = length(v) > 0 && v.begin[0] == '-';
      if (!u64({v.begin + (neg ? 1 : 0), v.end}, &x)) {
        *error = lineRef(i + 1) + ": bad value \"" + str(v) + "\" for " + prefix + " " + str(names[k]);
        return false;
      }
      setEntry(out, k - 1, names[k], neg ? (uint64_t)(0 - x) : x);
    }
    out->resize(names.size() - 1);
    return true;
  }
  *error = std::string("no \"") + prefix + ":\" lines";
  return false;
}

uint64_t ProcPerCpuCounts::totalFor(int cpu) const {
  for (size_t i = 0; i < cpus.size(); i++)
    if (cpus[i] == cpu) return totals[i];
  return 0;
}

bool parseProcPerCpuCounts(const std::string& text, ProcPerCpuCounts* out, std::string* error) {
  out->cpus.clear();
  out->totals.clear();
  std::vector<Line> lines = splitLines(text);
  std::vector<Line> t;
  if (!lines.empty()) tokens(lines[0], &t);
  for (const Line& name : t) {
    uint64_t cpu;
    if (length(name) <= 3 || memcmp(name.begin, "CPU", 3) != 0 || !u64({name.begin + 3, name.end}, &cpu) ||
        cpu > 1000000) {
      *error = "line 1: expected the CPU columns \"CPU0 CPU1 ...\", got " + quoted(lines[0]);
      return false;
    }
    out->cpus.push_back((int)cpu);
  }
  if (out->cpus.empty()) {
    *error = "no CPU columns";
    return false;
  }
  const size_t columns = out->cpus.size();
  out->totals.assign(columns, 0);
  std::vector<uint64_t> row(columns);
  for (size_t i = 1; i < lines.size(); i++) {
    tokens(lines[i], &t, columns + 1);
    if (t.empty()) continue;
    const Line& label = t[0];
    if (length(label) < 2 || label.end[-1] != ':') {
      *error = lineRef(i) + ": expected \"<label>: <counts>\", got " + quoted(lines[i]);
      return false;
    }
    if (is(label, "ERR:") || is(label, "MIS:") || t.size() < columns + 1) continue;
    bool perCpu = true;
    for (size_t k = 0; perCpu && k < columns; k++) perCpu = u64(t[k + 1], &row[k]);
    if (!perCpu) continue;  // one system-wide count followed by its description
    for (size_t k = 0; k < columns; k++) out->totals[k] += row[k];
  }
  return true;
}
