#include "hoststats/linux/interrupts.h"

#include <cstring>

#include "hoststats/linux/proctext.h"

namespace {

// The CPU numbers of the header line.
bool parseColumns(const std::vector<TextView>& lines, ProcPerCpuCounts* out, std::string* error) {
  std::vector<TextView> t;
  if (!lines.empty()) splitTokens(lines[0], &t);
  for (const TextView& name : t) {
    uint64_t cpu;
    if (name.size() <= 3 || memcmp(name.begin, "CPU", 3) != 0 || !parseU64({name.begin + 3, name.end}, &cpu) ||
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
  return true;
}

}  // namespace

uint64_t ProcPerCpuCounts::totalFor(int cpu) const {
  for (size_t i = 0; i < cpus.size(); i++)
    if (cpus[i] == cpu) return totals[i];
  return 0;
}

bool parseProcPerCpuCounts(const std::string& text, ProcPerCpuCounts* out, std::string* error) {
  out->cpus.clear();
  out->totals.clear();
  std::vector<TextView> lines = splitTextLines(text);
  if (!parseColumns(lines, out, error)) return false;
  const size_t columns = out->cpus.size();
  out->totals.assign(columns, 0);
  std::vector<uint64_t> row(columns);
  std::vector<TextView> t;
  for (size_t i = 1; i < lines.size(); i++) {
    splitTokens(lines[i], &t, columns + 1);
    if (t.empty()) continue;
    const TextView& label = t[0];
    if (label.size() < 2 || label.end[-1] != ':') {
      *error = lineRef(i) + ": expected \"<label>: <counts>\", got " + quoted(lines[i]);
      return false;
    }
    if (label.is("ERR:") || label.is("MIS:") || t.size() < columns + 1) continue;
    bool perCpu = true;
    for (size_t k = 0; perCpu && k < columns; k++) perCpu = parseU64(t[k + 1], &row[k]);
    if (!perCpu) continue;  // one system-wide count followed by its description
    for (size_t k = 0; k < columns; k++) out->totals[k] += row[k];
  }
  return true;
}

bool readProcPerCpuCounts(ProcFiles& files, const char* rel, ProcPerCpuCounts* out, ProcError* error) {
  return readParsed(files, rel, false, parseProcPerCpuCounts, out, error);
}
