#include "hoststats/linux/loadavg.h"

#include <cstring>

#include "hoststats/linux/proctext.h"

bool parseProcLoadavg(const std::string& text, ProcLoadavg* out, std::string* error) {
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  if (!lines.empty()) splitTokens(lines[0], &t);
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
  const char* slash = static_cast<const char*>(memchr(t[3].begin, '/', t[3].size()));
  if (!slash || !parseU64({t[3].begin, slash}, &out->runnable) || !parseU64({slash + 1, t[3].end}, &out->threads))
    return bad();
  return true;
}

bool readProcLoadavg(ProcFiles& files, ProcLoadavg* out, ProcError* error) {
  return readParsed(files, "/proc/loadavg", true, parseProcLoadavg, out, error);
}
