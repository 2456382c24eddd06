#include "archive/hostsysinfo.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "archive/header.h"
#include "host/timeformat.h"
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
