#include "hoststats/linux/diskstats.h"

#include "hoststats/linux/proctext.h"

namespace {

// The 11 figures after major, minor and name, in file order.
uint64_t ProcDiskStat::*const kDiskFields[11] = {
    &ProcDiskStat::readsCompleted,  &ProcDiskStat::readsMerged,    &ProcDiskStat::sectorsRead,
    &ProcDiskStat::msReading,       &ProcDiskStat::writesCompleted, &ProcDiskStat::writesMerged,
    &ProcDiskStat::sectorsWritten,  &ProcDiskStat::msWriting,      &ProcDiskStat::inFlight,
    &ProcDiskStat::msDoingIo,       &ProcDiskStat::weightedMsDoingIo};

bool parseDiskLine(const std::vector<TextView>& t, ProcDiskStat* d) {
  uint64_t maj, min;
  bool ok = parseU64(t[0], &maj) && parseU64(t[1], &min) && maj <= 0xffffffffu && min <= 0xffffffffu;
  for (int k = 0; ok && k < 11; k++) ok = parseU64(t[3 + k], &(d->*kDiskFields[k]));
  for (size_t k = 14; ok && k < t.size(); k++) {
    uint64_t unused;
    ok = parseU64(t[k], &unused);
  }
  if (!ok || t[2].size() >= 32) return false;
  d->major = (unsigned)maj;
  d->minor = (unsigned)min;
  d->name = t[2].str();
  return true;
}

}  // namespace

bool parseProcDiskstats(const std::string& text, std::vector<ProcDiskStat>* out, std::string* error) {
  out->clear();
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  for (size_t i = 0; i < lines.size(); i++) {
    splitTokens(lines[i], &t);
    if (t.empty()) continue;
    if (t.size() < 14) {
      *error = lineRef(i) + ": fewer than 14 fields in " + quoted(lines[i]);
      return false;
    }
    ProcDiskStat d;
    if (!parseDiskLine(t, &d)) {
      *error = lineRef(i) + ": malformed device line " + quoted(lines[i]);
      return false;
    }
    out->push_back(d);
  }
  return true;
}

bool readProcDiskstats(ProcFiles& files, std::vector<ProcDiskStat>* out, ProcError* error) {
  return readParsed(files, "/proc/diskstats", false, parseProcDiskstats, out, error);
}
