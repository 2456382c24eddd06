#include "hoststats/linux/meminfo.h"

namespace {

struct MeminfoKey {
  const char* key;
  uint64_t MeminfoFigures::*field;
  unsigned need;
};
const MeminfoKey kMeminfoKeys[] = {
    {"MemTotal", &MeminfoFigures::memTotal, MEMINFO_TOTAL},
    {"MemFree", &MeminfoFigures::memFree, MEMINFO_FREE},
    {"Unevictable", &MeminfoFigures::unevictable, MEMINFO_UNEVICTABLE},
    {"Mlocked", &MeminfoFigures::mlocked, MEMINFO_MLOCKED},
    {"SwapTotal", &MeminfoFigures::swapTotal, MEMINFO_SWAP},
    {"SwapFree", &MeminfoFigures::swapFree, MEMINFO_SWAP},
    {"CommitLimit", &MeminfoFigures::commitLimit, MEMINFO_COMMIT},
    {"Committed_AS", &MeminfoFigures::committedAs, MEMINFO_COMMIT},
};

// "Name: value [kB]"
bool meminfoEntry(const std::vector<TextView>& t, TextView* name, uint64_t* value) {
  if (t[0].size() < 2 || t[0].end[-1] != ':' || t.size() < 2 || t.size() > 3 || !parseU64(t[1], value) ||
      (t.size() == 3 && !t[2].is("kB")))
    return false;
  *name = {t[0].begin, t[0].end - 1};
  return true;
}

}  // namespace

bool parseProcMeminfo(const std::string& text, ProcKeyValues* out, std::string* error) {
  return parseEntryLines(text, meminfoEntry, "Name: value [kB]", out, error);
}

bool readProcMeminfo(ProcFiles& files, ProcKeyValues* out, ProcError* error) {
  return readParsed(files, "/proc/meminfo", true, parseProcMeminfo, out, error);
}

bool meminfoFigures(const ProcKeyValues& kv, unsigned needs, MeminfoFigures* out, std::string* error) {
  *out = MeminfoFigures();
  for (const MeminfoKey& k : kMeminfoKeys) {
    if ((needs & k.need) && !procLookup(kv, k.key, &(out->*k.field), error)) return false;
  }
  out->memAvailable = procLookupOptional(kv, "MemAvailable");
  if (out->memAvailable == 0) out->memAvailable = procLookupOptional(kv, "MemFree");
  return true;
}

uint64_t readMemTotalKb(const std::string& procDir) {
  ProcFiles files(procDir);
  ProcError error;
  const std::string* text = files.read("/meminfo", true, &error);
  if (!text) return 0;
  // Only the MemTotal line is judged: a line this reader does not need does
  // not cost the process figures their memory share.
  size_t at = text->compare(0, 9, "MemTotal:") == 0 ? 0 : text->find("\nMemTotal:");
  if (at == std::string::npos) return 0;
  if (at > 0) at++;
  size_t end = text->find('\n', at);
  ProcKeyValues kv;
  std::string what;
  uint64_t kb = 0;
  if (!parseProcMeminfo(text->substr(at, end == std::string::npos ? std::string::npos : end - at), &kv, &what) ||
      !procLookup(kv, "MemTotal", &kb, &what))
    return 0;
  return kb;
}
