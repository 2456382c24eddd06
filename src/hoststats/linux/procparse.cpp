#include "hoststats/linux/procparse.h"

#include <cstring>

namespace {

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

std::vector<std::string> tokens(const Line& line) {
  std::vector<std::string> out;
  const char* p = line.begin;
  while (p < line.end) {
    while (p < line.end && (*p == ' ' || *p == '\t')) p++;
    const char* s = p;
    while (p < line.end && *p != ' ' && *p != '\t') p++;
    if (p > s) out.emplace_back(s, p - s);
  }
  return out;
}

bool u64(const std::string& tok, uint64_t* v) { return parseU64Token(tok.data(), tok.data() + tok.size(), v); }

std::string quoted(const Line& line) {
  std::string s(line.begin, line.end - line.begin);
  if (s.size() > 60) s = s.substr(0, 60) + "...";
  return "\"" + s + "\"";
}

std::string lineRef(size_t index) { return "line " + std::to_string(index + 1); }

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
  for (size_t i = 0; i < lines.size(); i++) {
    std::vector<std::string> t = tokens(lines[i]);
    if (t.empty()) continue;
    const std::string& key = t[0];
    if (key.compare(0, 3, "cpu") == 0) {
      if (key == "cpu") continue;  // the all-CPU line; sums are formed from the CPUs themselves
      ProcStatCpu cpu;
      uint64_t id;
      if (!u64(key.substr(3), &id) || id > 1000000) {
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
          *error = lineRef(i) + ": bad tick count \"" + t[k] + "\" in " + quoted(lines[i]);
          return false;
        }
      }
      for (size_t k = 9; k < t.size(); k++) {  // guest, guest_nice: checked, not used
        uint64_t unused;
        if (!u64(t[k], &unused)) {
          *error = lineRef(i) + ": bad tick count \"" + t[k] + "\" in " + quoted(lines[i]);
          return false;
        }
      }
      out->cpus.push_back(cpu);
      continue;
    }
    for (int k = 0; k < NKEYS; k++) {
      if (key != keys[k]) continue;
      if (t.size() < 2 || !u64(t[1], dest[k])) {
        *error = lineRef(i) + ": bad value for " + key + " in " + quoted(lines[i]);
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
  out->clear();
  std::vector<Line> lines = splitLines(text);
  for (size_t i = 0; i < lines.size(); i++) {
    std::vector<std::string> t = tokens(lines[i]);
    if (t.empty()) continue;
    uint64_t v;
    if (t.size() != 2 || !u64(t[1], &v)) {
      *error = lineRef(i) + ": expected \"name value\", got " + quoted(lines[i]);
      return false;
    }
    out->emplace_back(t[0], v);
  }
  return true;
}

bool parseProcMeminfo(const std::string& text, ProcKeyValues* out, std::string* error) {
  out->clear();
  std::vector<Line> lines = splitLines(text);
  for (size_t i = 0; i < lines.size(); i++) {
    std::vector<std::string> t = tokens(lines[i]);
    if (t.empty()) continue;
    uint64_t v;
    bool ok = t[0].size() > 1 && t[0].back() == ':' && t.size() >= 2 && t.size() <= 3 && u64(t[1], &v) &&
              (t.size() == 2 || t[2] == "kB");
    if (!ok) {
      *error = lineRef(i) + ": expected \"Name: value [kB]\", got " + quoted(lines[i]);
      return false;
    }
    out->emplace_back(t[0].substr(0, t[0].size() - 1), v);
  }
  return true;
}

bool procLookup(const ProcKeyValues& kv, const char* key, uint64_t* value, std::string* error) {
  for (const auto& e : kv) {
    if (e.first == key) {
      *value = e.second;
      return true;
    }
  }
  *error = std::string("no \"") + key + "\" entry";
  return false;
}

uint64_t procLookupOptional(const ProcKeyValues& kv, const char* key) {
  for (const auto& e : kv)
    if (e.first == key) return e.second;
  return 0;
}

namespace {

// "123.45" (up to 9 decimals) as an integer scaled by `scale` decimals; rounds
// the digits beyond. Used for uptime (nanoseconds) and load averages.
bool parseFixed(const std::string& tok, unsigned decimals, uint64_t* out) {
  size_t dot = tok.find('.');
  std::string ip = tok.substr(0, dot);
  std::string fp = dot == std::string::npos ? "" : tok.substr(dot + 1);
  uint64_t whole, frac = 0;
  if (!u64(ip, &whole)) return false;
  if (dot != std::string::npos && (fp.empty() || fp.size() > 9)) return false;
  if (!fp.empty() && !u64(fp, &frac)) return false;
  uint64_t scale = 1;
  for (unsigned i = 0; i < decimals; i++) scale *= 10;
  if (whole > UINT64_MAX / scale / 2) return false;
  // frac has fp.size() digits; bring it to `decimals` digits.
  size_t n = fp.size();
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
  std::vector<std::string> t = lines.empty() ? std::vector<std::string>() : tokens(lines[0]);
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
  std::vector<std::string> t = lines.empty() ? std::vector<std::string>() : tokens(lines[0]);
  std::string bad = "expected \"<1min> <5min> <15min> <running>/<total> <last pid>\", got " +
                    (lines.empty() ? std::string("nothing") : quoted(lines[0]));
  if (t.size() != 5) {
    *error = bad;
    return false;
  }
  for (int i = 0; i < 3; i++) {
    uint64_t milli;  // three decimals keep the kernel's two exactly
    if (!parseFixed(t[i], 3, &milli) || milli > 1000000000ull) {
      *error = bad;
      return false;
    }
    out->avenrun[i] = (uint32_t)((milli * 256 + 500) / 1000);
  }
  size_t slash = t[3].find('/');
  if (slash == std::string::npos || !u64(t[3].substr(0, slash), &out->runnable) ||
      !u64(t[3].substr(slash + 1), &out->threads)) {
    *error = bad;
    return false;
  }
  return true;
}

bool parseProcDiskstats(const std::string& text, std::vector<ProcDiskStat>* out, std::string* error) {
  out->clear();
  std::vector<Line> lines = splitLines(text);
  for (size_t i = 0; i < lines.size(); i++) {
    std::vector<std::string> t = tokens(lines[i]);
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
    if (!ok || t[2].size() >= 32) {
      *error = lineRef(i) + ": malformed device line " + quoted(lines[i]);
      return false;
    }
    d.major = (unsigned)maj;
    d.minor = (unsigned)min;
    d.name = t[2];
    out->push_back(d);
  }
  return true;
}

bool parseProcNetDev(const std::string& text, std::vector<ProcNetDev>* out, std::string* error) {
  out->clear();
  std::vector<Line> lines = splitLines(text);
  if (lines.size() < 2 || std::string(lines[0].begin, lines[0].end).find('|') == std::string::npos) {
    *error = "missing the two header lines";
    return false;
  }
  for (size_t i = 2; i < lines.size(); i++) {
    std::string line(lines[i].begin, lines[i].end);
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    size_t colon = line.rfind(':');  // interface names may hold a colon (aliases)
    if (colon == std::string::npos) {
      *error = lineRef(i) + ": no \"name:\" in " + quoted(lines[i]);
      return false;
    }
    ProcNetDev d;
    size_t s = line.find_first_not_of(" \t");
    d.name = line.substr(s, colon - s);
    std::string rest = line.substr(colon + 1);
    std::vector<std::string> t = tokens({rest.data(), rest.data() + rest.size()});
    uint64_t* f[16] = {&d.rxBytes,  &d.rxPackets, &d.rxErrs, &d.rxDrop,  &d.rxFifo,    &d.rxFrame,
                       &d.rxCompressed, &d.rxMulticast, &d.txBytes, &d.txPackets, &d.txErrs, &d.txDrop,
                       &d.txFifo,   &d.txColls,   &d.txCarrier, &d.txCompressed};
    bool ok = t.size() == 16 && !d.name.empty() && d.name.size() < 32;
    for (int k = 0; ok && k < 16; k++) ok = u64(t[k], f[k]);
    if (!ok) {
      *error = lineRef(i) + ": expected an interface name and 16 counters, got " + quoted(lines[i]);
      return false;
    }
    out->push_back(d);
  }
  return true;
}

bool parseProcSnmpSection(const std::string& text, const char* prefix, ProcKeyValues* out, std::string* error) {
  out->clear();
  std::string tag = std::string(prefix) + ":";
  std::vector<Line> lines = splitLines(text);
  for (size_t i = 0; i + 1 < lines.size(); i++) {
    std::vector<std::string> names = tokens(lines[i]);
    if (names.empty() || names[0] != tag) continue;
    std::vector<std::string> values = tokens(lines[i + 1]);
    if (values.empty() || values[0] != tag || values.size() != names.size()) {
      *error = lineRef(i + 1) + ": the " + prefix + " value line does not match its name line";
      return false;
    }
    for (size_t k = 1; k < names.size(); k++) {
      const std::string& v = values[k];
      uint64_t x;
      bool neg = !v.empty() && v[0] == '-';
      if (!u64(neg ? v.substr(1) : v, &x)) {
        *error = lineRef(i + 1) + ": bad value \"" + v + "\" for " + prefix + " " + names[k];
        return false;
      }
      out->emplace_back(names[k], neg ? (uint64_t)(0 - x) : x);
    }
    return true;
  }
  *error = std::string("no \"") + prefix + ":\" lines";
  return false;
}
