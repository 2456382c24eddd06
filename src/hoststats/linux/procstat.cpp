#include "hoststats/linux/procstat.h"

#include <cstring>

#include "hoststats/linux/proctext.h"

namespace {

// The counts of /proc/stat other than the cpu lines, each named once.
struct StatCount {
  const char* key;
  uint64_t ProcStat::*field;
};
const StatCount kStatCounts[] = {
    {"ctxt", &ProcStat::ctxt},          {"intr", &ProcStat::intrTotal},
    {"softirq", &ProcStat::softirqTotal}, {"processes", &ProcStat::processes},
    {"procs_running", &ProcStat::procsRunning}, {"procs_blocked", &ProcStat::procsBlocked},
    {"btime", &ProcStat::btime}};
const size_t kStatCountN = sizeof kStatCounts / sizeof kStatCounts[0];

// The tick fields in the order of a cpu line; later ones came with newer kernels.
uint64_t ProcStatCpu::*const kTickFields[] = {&ProcStatCpu::user,   &ProcStatCpu::nice, &ProcStatCpu::system,
                                              &ProcStatCpu::idle,   &ProcStatCpu::iowait, &ProcStatCpu::irq,
                                              &ProcStatCpu::softirq, &ProcStatCpu::steal};

// One "cpuN" line, its tokens in t (key first).
bool parseCpuLine(const TextView& line, size_t index, const std::vector<TextView>& t, ProcStatCpu* cpu,
                  std::string* error) {
  uint64_t id;
  if (!parseU64({t[0].begin + 3, t[0].end}, &id) || id > 1000000) {
    *error = lineRef(index) + ": bad cpu name " + quoted(line);
    return false;
  }
  cpu->cpu = (int)id;
  // user nice system idle are always there.
  if (t.size() < 5) {
    *error = lineRef(index) + ": cpu line has fewer than 4 tick fields " + quoted(line);
    return false;
  }
  for (size_t k = 1; k < t.size(); k++) {
    uint64_t v;  // beyond steal: guest, guest_nice, checked but not used
    if (!parseU64(t[k], &v)) {
      *error = lineRef(index) + ": bad tick count \"" + t[k].str() + "\" in " + quoted(line);
      return false;
    }
    if (k <= 8) cpu->*kTickFields[k - 1] = v;
  }
  return true;
}

}  // namespace

bool parseProcStat(const std::string& text, ProcStat* out, std::string* error) {
  *out = ProcStat();
  bool seen[kStatCountN] = {};
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  for (size_t i = 0; i < lines.size(); i++) {
    // Only the cpu lines are read to their end: "intr" and "softirq" go on with
    // one count per interrupt, and only their totals are used.
    splitTokens(lines[i], &t, 2);
    if (t.empty()) continue;
    const TextView key = t[0];
    if (key.size() >= 3 && memcmp(key.begin, "cpu", 3) == 0) {
      if (key.is("cpu")) continue;  // the all-CPU line; sums are formed from the CPUs themselves
      splitTokens(lines[i], &t);
      ProcStatCpu cpu;
      if (!parseCpuLine(lines[i], i, t, &cpu, error)) return false;
      out->cpus.push_back(cpu);
      continue;
    }
    for (size_t k = 0; k < kStatCountN; k++) {
      if (!key.is(kStatCounts[k].key)) continue;
      if (t.size() < 2 || !parseU64(t[1], &(out->*kStatCounts[k].field))) {
        *error = lineRef(i) + ": bad value for " + key.str() + " in " + quoted(lines[i]);
        return false;
      }
      seen[k] = true;
    }
  }
  if (out->cpus.empty()) {
    *error = "no cpuN lines";
    return false;
  }
  for (size_t k = 0; k < kStatCountN; k++) {
    if (!seen[k]) {
      *error = std::string("no \"") + kStatCounts[k].key + "\" line";
      return false;
    }
  }
  return true;
}

bool readProcStat(ProcFiles& files, ProcStat* out, ProcError* error) {
  return readParsed(files, "/proc/stat", true, parseProcStat, out, error);
}
