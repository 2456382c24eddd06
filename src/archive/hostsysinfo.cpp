#include "archive/hostsysinfo.h"

#include <langinfo.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "archive/header.h"
#include "host/utlexit.h"
#include "host/utlstring.h"

void HostDescribeSystem(const struct utsname* u, char* buf, size_t size) {
  UTL_GUARANTEE(buf != nullptr && size > 0);
  if (u->sysname[0] == '\0') {
    UtlStrCpyCut(buf, TALLY_PLATFORM_TEXT, size);
    return;
  }
  const char* sysname = u->sysname;
  char release[sizeof(u->release)];
  memcpy(release, u->release, sizeof(release));
  release[sizeof(release) - 1] = '\0';
  // SunOS 5.x is the kernel of Solaris 2.x; show the name users know.
  if (strcmp(sysname, "SunOS") == 0 && release[0] > '4') {
    sysname = "Solaris";
    release[0] = (char)(release[0] - 3);
  }
  char text[6 * sizeof(u->nodename) + 16];
  snprintf(text, sizeof(text), "%s %s (%s %s %s)", u->nodename, u->machine, sysname, release, u->version);
  UtlStrCpyCut(buf, text, size);
}

void HostGetSystemName(char* buf, size_t size) {
  struct utsname u;
  UTL_GUARANTEE(uname(&u) >= 0);
  HostDescribeSystem(&u, buf, size);
}

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

void HostFormatHeaderTime(char* buf, size_t size) {
  static char format[256];
  static bool chosen = false;
  if (!chosen) {
    const char* cftime = getenv("QL_CFTIME");
    if (!HostChooseTimeFormat(cftime, format, sizeof(format))) {
      fprintf(stderr, "[Warning]: QL_CFTIME \"%s\" is not a usable date and time format; using \"%s\"\n", cftime,
              format);
      fflush(stderr);
    }
    chosen = true;
  }
  time_t now = time(nullptr);
  struct tm tmNow;
  buf[0] = '\0';
  if (localtime_r(&now, &tmNow) != nullptr && strftime(buf, size, format, &tmNow) == 0) buf[0] = '\0';
}
