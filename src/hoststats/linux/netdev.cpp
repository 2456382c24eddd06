#include "hoststats/linux/netdev.h"

#include <cstring>

#include "hoststats/linux/proctext.h"

namespace {

// The 16 counters after "name:", in file order.
uint64_t ProcNetDev::*const kNetFields[16] = {
    &ProcNetDev::rxBytes, &ProcNetDev::rxPackets, &ProcNetDev::rxErrs,  &ProcNetDev::rxDrop,
    &ProcNetDev::rxFifo,  &ProcNetDev::rxFrame,   &ProcNetDev::rxCompressed, &ProcNetDev::rxMulticast,
    &ProcNetDev::txBytes, &ProcNetDev::txPackets, &ProcNetDev::txErrs,  &ProcNetDev::txDrop,
    &ProcNetDev::txFifo,  &ProcNetDev::txColls,   &ProcNetDev::txCarrier, &ProcNetDev::txCompressed};

// false when the line has no colon (*noName set) or its counters are wrong.
bool parseInterfaceLine(const TextView& line, std::vector<TextView>* t, ProcNetDev* d, bool* noName) {
  const char* s = line.begin;
  while (s < line.end && (*s == ' ' || *s == '\t')) s++;
  const char* colon = nullptr;  // the last one: interface names may hold a colon (aliases)
  for (const char* p = line.end; p > line.begin && !colon; p--)
    if (p[-1] == ':') colon = p - 1;
  *noName = colon == nullptr;
  if (*noName) return false;
  if (colon > s) d->name.assign(s, (size_t)(colon - s));
  splitTokens({colon + 1, line.end}, t);
  bool ok = t->size() == 16 && !d->name.empty() && d->name.size() < 32;
  for (int k = 0; ok && k < 16; k++) ok = parseU64((*t)[k], &(d->*kNetFields[k]));
  return ok;
}

}  // namespace

bool parseProcNetDev(const std::string& text, std::vector<ProcNetDev>* out, std::string* error) {
  out->clear();
  std::vector<TextView> lines = splitTextLines(text);
  if (lines.size() < 2 || !memchr(lines[0].begin, '|', lines[0].size())) {
    *error = "missing the two header lines";
    return false;
  }
  std::vector<TextView> t;
  for (size_t i = 2; i < lines.size(); i++) {
    splitTokens(lines[i], &t, 1);
    if (t.empty()) continue;
    ProcNetDev d;
    bool noName;
    if (!parseInterfaceLine(lines[i], &t, &d, &noName)) {
      *error = lineRef(i) + (noName ? ": no \"name:\" in " : ": expected an interface name and 16 counters, got ") +
               quoted(lines[i]);
      return false;
    }
    out->push_back(d);
  }
  return true;
}

bool readProcNetDev(ProcFiles& files, std::vector<ProcNetDev>* out, ProcError* error) {
  return readParsed(files, "/proc/net/dev", false, parseProcNetDev, out, error);
}
