#include "hoststats/linux/uptime.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "hoststats/linux/proctext.h"

namespace {

int64_t nanoseconds(const struct timespec& ts) { return (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec; }

}  // namespace

bool readBootClockNs(int64_t* ns, int* errorNumber) {
  struct timespec ts;
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) {
    *errorNumber = errno;
    return false;
  }
  *ns = nanoseconds(ts);
  return true;
}

int64_t bootClockNowNs() {
  int64_t ns;
  int errorNumber;
  if (readBootClockNs(&ns, &errorNumber)) return ns;
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return nanoseconds(ts);
}

bool parseProcUptime(const std::string& text, int64_t* uptimeNs, std::string* error) {
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> t;
  if (!lines.empty()) splitTokens(lines[0], &t);
  uint64_t ns;
  if (t.size() != 2 || !parseFixed(t[0], 9, &ns) || ns > (uint64_t)INT64_MAX) {
    *error = "expected \"<seconds> <idle seconds>\", got " + (lines.empty() ? std::string("nothing") : quoted(lines[0]));
    return false;
  }
  *uptimeNs = (int64_t)ns;
  return true;
}

bool readUptime(ProcFiles& files, int64_t* uptimeNs, ProcError* error) {
  const char* rel = "/proc/uptime";
  if (files.live()) {
    int errorNumber;
    if (readBootClockNs(uptimeNs, &errorNumber)) return true;
    return error->set(files.path(rel) + ": " + strerror(errorNumber), errorNumber);
  }
  return readParsed(files, rel, true, parseProcUptime, uptimeNs, error);
}
