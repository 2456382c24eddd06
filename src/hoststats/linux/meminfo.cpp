#include "hoststats/linux/meminfo.h"

#include <cstring>

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

}  // namespace

bool parseProcMeminfo(const std::string& text, ProcKeyValues* out, std::string* error) {
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    splitTokens(lines[i], &t);
    if (t.empty()) continue;
    uint64_t v;
    bool ok = t[0].size() > 1 && t[0].end[-1] == ':' && t.size() >= 2 && t.size() <= 3 && parseU64(t[1], &v) &&
              (t.size() == 2 || t[2].is("kB"));
    if (!ok) {
      *error = lineRef(i) + ": expected \"Name: value [kB]\", got " + quoted(lines[i]);
      return false;
    }
    setEntry(out, n++, {t[0].begin, t[0].end - 1}, v);
  }
  out->resize(n);
  return true;
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
