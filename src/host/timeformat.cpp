// Choosing the date-and-time format of the archive header and the banner.
#include "host/timeformat.h"

#include <langinfo.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/utlstring.h"

namespace {

// The conversions a format uses, skipping "%%" and glibc's flag, width and E/O
// modifiers so that "%-d" and "%Od" count as a day.
struct Conversions {
  bool seen[128] = {};
  explicit Conversions(const char* fmt) {
    for (const char* p = fmt; *p != '\0'; p++) {
      if (*p != '%') continue;
      p++;
      while (*p != '\0' && strchr("_-0^#", *p) != nullptr) p++;
      while (*p >= '0' && *p <= '9') p++;
      if (*p == 'E' || *p == 'O') p++;
      if (*p == '\0') break;
      if (*p != '%' && (unsigned char)*p < 128) seen[(unsigned char)*p] = true;
    }
  }
  bool any(const char* convs) const {
    for (; *convs != '\0'; convs++)
      if (seen[(unsigned char)*convs]) return true;
    return false;
  }
};

const size_t TIME_TEXT_SIZE = 100;

}  // namespace

BoolType HostTimeFormatIsUsable(const char* fmt) {
  if (fmt == nullptr || fmt[0] == '\0') return FALSE;
  time_t now = time(nullptr);
  struct tm tmNow;
  char probe[TIME_TEXT_SIZE];
  if (localtime_r(&now, &tmNow) == nullptr || strftime(probe, sizeof(probe), fmt, &tmNow) == 0) return FALSE;
  Conversions c(fmt);
  bool hour = c.any("H") || (c.any("I") && c.any("pP"));
  return (c.any("mbBh") && c.any("d") && hour && c.any("M") && c.any("S")) ? TRUE : FALSE;
}

BoolType HostChooseTimeFormat(const char* cftime, char* out, size_t outSize) {
  if (cftime != nullptr && cftime[0] == '\0') cftime = nullptr;  // set but empty: as if unset
  if (cftime != nullptr && HostTimeFormatIsUsable(cftime)) {
    UtlStrCpyCut(out, cftime, outSize);
    return TRUE;
  }
  const char* dateFormat = nl_langinfo(D_FMT);
  if (dateFormat == nullptr || dateFormat[0] == '\0') dateFormat = "%x";
  snprintf(out, outSize, "%s %%H:%%M:%%S %%Z", dateFormat);
  return cftime == nullptr ? TRUE : FALSE;
}

