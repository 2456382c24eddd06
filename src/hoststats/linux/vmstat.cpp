#include "hoststats/linux/vmstat.h"

namespace {

struct VmstatKey {
  const char* key;
  uint64_t VmstatFigures::*field;
  bool required;
};
const VmstatKey kVmstatKeys[] = {
    {"pgpgin", &VmstatFigures::pgpgin, true},
    {"pgpgout", &VmstatFigures::pgpgout, true},
    {"pswpin", &VmstatFigures::pswpin, true},
    {"pswpout", &VmstatFigures::pswpout, true},
    {"pgfault", &VmstatFigures::pgfault, true},
    {"pgmajfault", &VmstatFigures::pgmajfault, true},
    {"pgsteal_kswapd", &VmstatFigures::pgstealKswapd, false},
    {"pgscan_kswapd", &VmstatFigures::pgscanKswapd, false},
    {"pgscan_direct", &VmstatFigures::pgscanDirect, false},
    {"pageoutrun", &VmstatFigures::pageoutrun, false},
};

}  // namespace

bool parseProcVmstat(const std::string& text, ProcKeyValues* out, std::string* error) {
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    splitTokens(lines[i], &t);
    if (t.empty()) continue;
    uint64_t v;
    if (t.size() != 2 || !parseU64(t[1], &v)) {
      *error = lineRef(i) + ": expected \"name value\", got " + quoted(lines[i]);
      return false;
    }
    setEntry(out, n++, t[0], v);
  }
  out->resize(n);
  return true;
}

bool readProcVmstat(ProcFiles& files, ProcKeyValues* out, ProcError* error) {
  return readParsed(files, "/proc/vmstat", false, parseProcVmstat, out, error);
}

bool vmstatFigures(const ProcKeyValues& kv, VmstatFigures* out, std::string* error) {
  *out = VmstatFigures();
  for (const VmstatKey& k : kVmstatKeys) {
    if (!k.required)
      out->*k.field = procLookupOptional(kv, k.key);
    else if (!procLookup(kv, k.key, &(out->*k.field), error))
      return false;
  }
  return true;
}
