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

// "name value"
bool vmstatEntry(const std::vector<TextView>& t, TextView* name, uint64_t* value) {
  if (t.size() != 2 || !parseU64(t[1], value)) return false;
  *name = t[0];
  return true;
}

}  // namespace

bool parseProcVmstat(const std::string& text, ProcKeyValues* out, std::string* error) {
  return parseEntryLines(text, vmstatEntry, "name value", out, error);
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
